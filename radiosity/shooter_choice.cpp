#include "radiosity/shooter_choice.h"

void ShooterChoice::reset(int count) {
    count_ = count > 1 ? static_cast<size_t>(count) : 1;
    chosen_.clear();
    chosen_.reserve(count_);
    threshold_ = 0.0;
}

void ShooterChoice::insert(const ShooterCandidate& candidate) {
    // After every kept candidate with at least its energy: the earlier offer
    // stays ahead of an equal later one.
    size_t at = chosen_.size();
    while (at > 0 && candidate.energy > chosen_[at - 1].energy) --at;
    if (at >= count_) return;
    if (chosen_.size() == count_) chosen_.pop_back();
    chosen_.insert(chosen_.begin() + static_cast<std::ptrdiff_t>(at), candidate);
    if (chosen_.size() == count_) threshold_ = chosen_.back().energy;
}
