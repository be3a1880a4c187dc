#pragma once

#include <cstddef>
#include <vector>

// The choice of a step's shooters: the `count` candidates with the most
// energy, most energetic first. Candidates are offered in scene order; one
// must have strictly more energy than a kept one to pass it, so of equal
// energies the earlier offered comes first, and only positive energies are
// kept. With a count of 1 this is the search for the single most energetic
// triangle, first on ties.
//
// A candidate is whatever the receive pass offers: a triangle today (object
// and triangle index); larger shooters can be offered the same way with
// their summed energy.
struct ShooterCandidate {
    double energy = 0.0;
    int objectIndex = 0;
    int triangleIndex = 0;
};

class ShooterChoice {
  public:
    // Forgets the candidates kept and keeps at most `count` (at least 1) from now on.
    void reset(int count);

    // Offers one candidate; cheap when it does not make the cut.
    void offer(double energy, int objectIndex, int triangleIndex) {
        if (energy > threshold_) insert(ShooterCandidate{energy, objectIndex, triangleIndex});
    }

    // The candidates kept, most energetic first; empty when none had positive energy.
    const std::vector<ShooterCandidate>& chosen() const { return chosen_; }

  private:
    void insert(const ShooterCandidate& candidate);

    std::vector<ShooterCandidate> chosen_;
    std::size_t count_ = 1;
    double threshold_ = 0.0;  // the energy to beat: the last kept once `count` are kept, else 0
};
