#include "radiosity/patch_rounds.h"

#include <algorithm>
#include <cmath>

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

}  // namespace

PatchRounds::PatchRounds(Scene& scene, const RefinementRule& rule)
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
    sumEnergies();
    selectTop();
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

void PatchRounds::selectTop() {
    // The first patch of the most energy, as triangle shooting breaks ties.
    double best = 0.0;
    selected_ = -1;
    for (size_t i = 0; i < topEnergy_.size(); ++i) {
        if (topEnergy_[i] > best) {
            best = topEnergy_[i];
            selected_ = static_cast<int>(i);
        }
    }
}

Vec3 PatchRounds::gatheredEstimate(const Vec3& reflectance) const {
    Vec3 gathered;
    for (const Receiver& r : receivers_) {
        const Triangle& t = *r.triangle;
        if (t.formFactor == 0.0) continue;
        const double f = t.formFactor < 1.0 ? t.formFactor : 1.0;
        gathered = gathered + t.unshot * f;
    }
    return {gathered.x * reflectance.x, gathered.y * reflectance.y, gathered.z * reflectance.z};
}

double PatchRounds::shareOf(const Triangle& t, double shooterArea) {
    const double f = t.formFactor < 1.0 ? t.formFactor : 1.0;
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
                               const Vec3& reflectance) {
    ++markStamp_;
    for (int j : near) skipMark_[static_cast<size_t>(j)] = markStamp_;
    far_.clear();
    nearCentre_ = farCentre_ = seenCentre_ = 0.0;
    Vec3 gathered;
    left_ = 0.0;
    std::fill(topEnergy_.begin(), topEnergy_.end(), 0.0);
    for (size_t j = 0; j < receivers_.size(); ++j) {
        const Receiver& r = receivers_[j];
        Triangle& tri = *r.triangle;
        if (tri.formFactor != 0.0) {
            if (overshoot) gathered = gathered + tri.unshot * (tri.formFactor < 1.0 ? tri.formFactor : 1.0);
            const double share = shareOf(tri, shot.area);
            const double seen = share * tri.area;
            seenCentre_ += seen;
            if (skipMark_[j] == markStamp_) {
                nearCentre_ += seen;
            } else if (share > 0.0) {
                farCentre_ += seen;
                far_.push_back({static_cast<int>(j), share});
            }
            tri.formFactor = 0.0;
        }
        const double e = energyOf(tri);
        left_ += e;
        topEnergy_[static_cast<size_t>(r.top)] += e;
    }
    gathered_ = Vec3(gathered.x * reflectance.x, gathered.y * reflectance.y, gathered.z * reflectance.z);
}

void PatchRounds::giveFar(const Vec3& sent, double scale) {
    for (const FarShare& f : far_) {
        const double share = f.share * scale;
        give(f.receiver, sent, share < 1.0 ? share : 1.0);
    }
}

double PatchRounds::giveLocal(const PlannedShot& planned, const PatchShot& shot, const Vec3& sent) {
    double used = 0.0;
    for (int j : planned.receivers) {
        const double share = shareOf(*receivers_[static_cast<size_t>(j)].triangle, shot.area);
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
    for (int j : zone_) receivers_[static_cast<size_t>(j)].triangle->formFactor = 0.0;
    return used;
}

Vec3 PatchRounds::shootWhole(const Capture& capture, const PlannedShot& planned, const PatchShot& shot,
                             bool overshoot) {
    capture(shot.position, shot.normal, 0.0, nullptr);
    ++wholeShots_;
    const SceneObject& object = scene_.objects[static_cast<size_t>(planned.node.object)];
    measureWhole(shot, planned.receivers, overshoot, object.reflectance);
    if (!overshoot) return {};
    // Send what will come back as well; the node's triangles owe it.
    const PatchTree& tree = patches_.trees[static_cast<size_t>(planned.node.object)];
    const PatchNode& node = patches_.node(planned.node);
    const int base = objectBase_[static_cast<size_t>(planned.node.object)];
    for (int i = node.first; i < node.first + node.count; ++i)
        owe(base + tree.order[static_cast<size_t>(i)], gathered_);
    return gathered_;
}

double PatchRounds::conservingScale(double shooterArea, double localUsed) const {
    const double others = farCentre_ + std::max(0.0, shooterArea - seenCentre_);
    if (!(localUsed > 0.0) || !(others > 0.0)) return 1.0;
    return std::clamp(1.0 - (localUsed - nearCentre_) / others, 0.5, 1.5);
}

double PatchRounds::runRound(const Capture& capture, bool overshoot) {
    if (selected_ < 0) return left_;
    const PatchRef top = patches_.tops[static_cast<size_t>(selected_)];
    SceneObject& object = scene_.objects[static_cast<size_t>(top.object)];
    const PatchTree& tree = patches_.trees[static_cast<size_t>(top.object)];
    plan_.clear();
    planRound(scene_.objects, patches_, index_, top, rule_, !shotBefore_[static_cast<size_t>(selected_)],
              plan_);
    shotBefore_[static_cast<size_t>(selected_)] = 1;
    // Every shot sends what its node held when the round began.
    sent_.clear();
    for (const PlannedShot& p : plan_) sent_.push_back(shotOf(object, tree, patches_.node(p.node)));
    clearUnshot(object, tree, patches_.node(top));
    Vec3 extra;      // what the whole shot sends beyond the unshot light
    Vec3 wholeSent;  // what its far receivers are still owed
    double localUsed = 0.0;
    bool owed = false;
    for (size_t k = 0; k < plan_.size(); ++k) {
        const PlannedShot& planned = plan_[k];
        const PatchShot& shot = sent_[k];
        if (planned.whole) {
            if (owed) giveFar(wholeSent, 1.0);  // an emitter's triangles, one after the other
            extra = shootWhole(capture, planned, shot, overshoot);
            wholeSent = shot.unshot + extra;
            localUsed = 0.0;
            owed = true;
        } else {
            CHECK_GT(planned.farPlane, 0.0);
            wanted_.clear();
            for (int j : planned.receivers) wanted_.push_back(index_.boxOf(j));
            capture(shot.position, shot.normal, planned.farPlane, &wanted_);
            ++localShots_;
            localUsed += giveLocal(planned, shot, shot.unshot + extra);
        }
    }
    if (owed) giveFar(wholeSent, conservingScale(sent_.front().area, localUsed));
    selectTop();
    return left_;
}
