#include "radiosity/patch_rounds.h"

#include <algorithm>
#include <cmath>

#include "radiosity/overshoot.h"
#include "scene/check.h"
#include "scene/scene.h"

namespace {

// (|r| + |b|) + |g| x area, as the solver counts a triangle's energy.
double energyOf(const Triangle& t) {
    return ((std::fabs(t.unshot.x) + std::fabs(t.unshot.z)) + std::fabs(t.unshot.y)) * t.area;
}

// A local capture's pixels all lie within its far plane times sqrt(3) (the
// corners of a 90-degree face) of the eye, which sits 1/1000 off the centre.
constexpr double kFaceCornerFactor = 1.7320508075688772 * (1.0 + 1e-9);
constexpr double kEyeOffset = 1.0 / 1000.0;

// Hemicubes asked for at once: enough to keep every capture thread busy,
// few enough that their arrays (one double per triangle each) stay small.
constexpr size_t kBatch = kPatchBatch;

}  // namespace

PatchRounds::PatchRounds(Scene& scene, const RefinementRule& rule, int shooters)
    : scene_(scene),
      rule_(rule),
      patches_(buildScenePatches(scene.objects, scene.settings.patchSize, scene.settings.smoothThreshold)),
      index_(scene.objects) {
    for (size_t o = 0; o < scene.objects.size(); ++o) {
        SceneObject& obj = scene.objects[o];
        objectBase_.push_back(static_cast<int>(receivers_.size()));
        for (size_t t = 0; t < obj.triangles.size(); ++t) {
            receivers_.push_back({obj.triangles[t].get(), obj.reflectance, patches_.topOf[o][t]});
        }
    }
    topEnergy_.assign(patches_.tops.size(), 0.0);
    shotBefore_.assign(patches_.tops.size(), 0);
    skipMark_.assign(receivers_.size(), 0);
    shooters_ = std::max(shooters, 1);
    sumEnergies();
    selectTops();
}

void PatchRounds::sumEnergies() {
    left_ = 0.0;
    std::fill(topEnergy_.begin(), topEnergy_.end(), 0.0);
    for (const Receiver& r : receivers_) {
        const double e = energyOf(*r.triangle);
        left_ += e;
        topEnergy_[static_cast<size_t>(r.top)] += e;
    }
}

void PatchRounds::selectTops() {
    // The patches of the most energy, the first on ties, as triangle
    // shooting chooses its shooters.
    choice_.reset(shooters_);
    for (size_t i = 0; i < topEnergy_.size(); ++i) choice_.offer(topEnergy_[i], static_cast<int>(i), 0);
    selected_.clear();
    for (const ShooterCandidate& c : choice_.chosen()) selected_.push_back(c.objectIndex);
}

double PatchRounds::shareOf(double measured, const Triangle& t, double shooterArea) {
    const double f = measured < 1.0 ? measured : 1.0;
    // Reciprocity, as for a triangle shooter: F x A_shooter / A_receiver of
    // what is sent, never more than all of it.
    if (!(t.area > 0.0) || !(f > 0.0)) return 0.0;
    const double g = f * shooterArea / t.area;
    return g < 1.0 ? g : 1.0;
}

void PatchRounds::give(int j, const Vec3& sent, double share) {
    Receiver& r = receivers_[static_cast<size_t>(j)];
    Triangle& tri = *r.triangle;
    const double before = energyOf(tri);
    const Vec3 rho = r.reflectance;
    const Vec3 add(sent.x * share * rho.x, sent.y * share * rho.y, sent.z * share * rho.z);
    tri.unshot = tri.unshot + add;
    tri.radiosity = tri.radiosity + add;
    const double change = energyOf(tri) - before;
    left_ += change;
    topEnergy_[static_cast<size_t>(r.top)] += change;
}

void PatchRounds::owe(int j, const Vec3& debt) {
    Receiver& r = receivers_[static_cast<size_t>(j)];
    const double before = energyOf(*r.triangle);
    r.triangle->unshot = r.triangle->unshot - debt;
    const double change = energyOf(*r.triangle) - before;
    left_ += change;
    topEnergy_[static_cast<size_t>(r.top)] += change;
}

void PatchRounds::measureWhole(const PatchShot& shot, const std::vector<int>& near, bool overshoot,
                               const Vec3& reflectance, FormFactors& ff) {
    CHECK_EQ(ff.size(), receivers_.size());
    ++markStamp_;
    for (int j : near) skipMark_[static_cast<size_t>(j)] = markStamp_;
    far_.clear();
    nearCentre_ = farCentre_ = seenCentre_ = 0.0;
    Vec3 gathered;
    // Only the triangles the hemicube showed have an entry; the scan of the
    // array is cheap beside a visit to every triangle.
    for (size_t j = 0; j < receivers_.size(); ++j) {
        const double measured = ff[j];
        if (measured == 0.0) continue;
        Triangle& tri = *receivers_[j].triangle;
        if (overshoot) gathered = gathered + tri.unshot * (measured < 1.0 ? measured : 1.0);
        const double share = shareOf(measured, tri, shot.area);
        const double seen = share * tri.area;
        seenCentre_ += seen;
        if (skipMark_[j] == markStamp_) {
            nearCentre_ += seen;
        } else if (share > 0.0) {
            farCentre_ += seen;
            far_.push_back({static_cast<int>(j), share});
        }
        ff[j] = 0.0;
    }
    gathered_ = Vec3(gathered.x * reflectance.x, gathered.y * reflectance.y, gathered.z * reflectance.z);
}

void PatchRounds::giveFar(const Vec3& sent, double scale) {
    for (const FarShare& f : far_) {
        const double share = f.share * scale;
        give(f.receiver, sent, share < 1.0 ? share : 1.0);
    }
}

double PatchRounds::giveLocal(const PlannedShot& planned, const PatchShot& shot, const Vec3& sent,
                              FormFactors& ff) {
    CHECK_EQ(ff.size(), receivers_.size());
    double used = 0.0;
    for (int j : planned.receivers) {
        const double share =
            shareOf(ff[static_cast<size_t>(j)], *receivers_[static_cast<size_t>(j)].triangle, shot.area);
        if (!(share > 0.0)) continue;
        used += share * receivers_[static_cast<size_t>(j)].triangle->area;
        give(j, sent, share);
    }
    // The capture may have shown other triangles within its far plane.
    const Settings& s = scene_.settings;
    const double far =
        planned.farPlane > s.nearPlane && planned.farPlane < s.farPlane ? planned.farPlane : s.farPlane;
    zone_.clear();
    index_.collectInSphere(shot.position, far * kFaceCornerFactor + kEyeOffset, zone_);
    for (int j : zone_) ff[static_cast<size_t>(j)] = 0.0;
    return used;
}

Vec3 PatchRounds::shootWhole(const PlannedShot& planned, const PatchShot& shot, bool overshoot,
                             FormFactors& ff) {
    ++wholeShots_;
    const SceneObject& object = scene_.objects[static_cast<size_t>(planned.node.object)];
    measureWhole(shot, planned.receivers, overshoot, object.reflectance, ff);
    if (!overshoot) return {};
    // Send what will come back as well; the node's triangles owe it.
    const Vec3 extra = overshootEstimate(shot.unshot, gathered_);
    const PatchTree& tree = patches_.trees[static_cast<size_t>(planned.node.object)];
    const PatchNode& node = patches_.node(planned.node);
    const int base = objectBase_[static_cast<size_t>(planned.node.object)];
    for (int i = node.first; i < node.first + node.count; ++i)
        owe(base + tree.order[static_cast<size_t>(i)], extra);
    return extra;
}

double PatchRounds::conservingScale(double shooterArea, double localUsed) const {
    const double others = farCentre_ + std::max(0.0, shooterArea - seenCentre_);
    if (!(localUsed > 0.0) || !(others > 0.0)) return 1.0;
    return std::clamp(1.0 - (localUsed - nearCentre_) / others, 0.5, 1.5);
}

void PatchRounds::planStep() {
    step_.clear();
    for (size_t r = 0; r < selected_.size(); ++r) {
        const int top = selected_[r];
        const PatchRef ref = patches_.tops[static_cast<size_t>(top)];
        plan_.clear();
        planRound(scene_.objects, patches_, index_, ref, rule_, !shotBefore_[static_cast<size_t>(top)],
                  plan_);
        shotBefore_[static_cast<size_t>(top)] = 1;
        // Every shot sends what its node held when the step began.
        SceneObject& object = scene_.objects[static_cast<size_t>(ref.object)];
        const PatchTree& tree = patches_.trees[static_cast<size_t>(ref.object)];
        for (PlannedShot& p : plan_) {
            StepShot s;
            s.round = static_cast<int>(r);
            s.sent = shotOf(object, tree, patches_.node(p.node));
            if (!p.whole) {
                CHECK_GT(p.farPlane, 0.0);
                for (int j : p.receivers) s.wanted.push_back(index_.boxOf(j));
            }
            s.planned = std::move(p);
            step_.push_back(std::move(s));
        }
    }
    for (int top : selected_) {
        const PatchRef ref = patches_.tops[static_cast<size_t>(top)];
        clearUnshot(scene_.objects[static_cast<size_t>(ref.object)],
                    patches_.trees[static_cast<size_t>(ref.object)], patches_.node(ref));
    }
}

void PatchRounds::takeShot(const StepShot& s, FormFactors& ff, bool overshoot, RoundState& round) {
    if (s.planned.whole) {
        if (round.owed) giveFar(round.wholeSent, 1.0);  // an emitter's triangles, one after the other
        round.extra = shootWhole(s.planned, s.sent, overshoot, ff);
        round.wholeSent = s.sent.unshot + round.extra;
        round.localUsed = 0.0;
        round.owed = true;
    } else {
        ++localShots_;
        round.localUsed += giveLocal(s.planned, s.sent, s.sent.unshot + round.extra, ff);
    }
}

void PatchRounds::finishRound(RoundState& round) {
    if (round.owed) giveFar(round.wholeSent, conservingScale(round.area, round.localUsed));
    round = RoundState{};
}

double PatchRounds::runStep(const Capture& capture, bool overshoot) {
    if (selected_.empty()) return left_;
    planStep();
    const size_t size = receivers_.size();
    RoundState round;
    int current = -1;
    for (size_t first = 0; first < step_.size(); first += kBatch) {
        const size_t count = std::min(kBatch, step_.size() - first);
        if (arrays_.size() < count) arrays_.resize(count);
        batch_.clear();
        for (size_t k = 0; k < count; ++k) {
            StepShot& s = step_[first + k];
            if (arrays_[k].size() != size) arrays_[k].assign(size, 0.0);
            batch_.push_back({s.sent.position, s.sent.normal, s.planned.whole ? 0.0 : s.planned.farPlane,
                              s.planned.whole ? nullptr : &s.wanted, &arrays_[k]});
        }
        capture(batch_);
        for (size_t k = 0; k < count; ++k) {
            const StepShot& s = step_[first + k];
            if (s.round != current) {
                finishRound(round);
                current = s.round;
                round.area = s.sent.area;
            }
            takeShot(s, arrays_[k], overshoot, round);
        }
    }
    finishRound(round);
    // The running totals took every change; summing afresh keeps their
    // rounding from adding up over many steps.
    sumEnergies();
    selectTops();
    return left_;
}
