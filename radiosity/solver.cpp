#include "radiosity/solver.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>

#include "radiosity/face_culling.h"
#include "radiosity/overshoot.h"
#include "radiosity/patch_rounds.h"
#include "radiosity/weights.h"
#include "scene/check.h"
#include "scene/scene.h"

namespace {

// A shooter normal parallel to the drawn direction gives no frame; fresh
// draws fix that at once in practice. The bound only guards against a
// normal that is not a unit vector (which a selected shooter never has).
constexpr int kMaxFrameDraws = 64;

// (|r| + |b|) + |g|: the same sum as Vec3::sum for the non-negative
// radiosity of plain shooting.
double absoluteSum(const Vec3& v) {
    return (std::fabs(v.x) + std::fabs(v.z)) + std::fabs(v.y);
}

double energyOf(const Triangle& t) {
    return absoluteSum(t.unshot) * t.area;
}

Vec3 times(const Vec3& a, const Vec3& b) {
    return {a.x * b.x, a.y * b.y, a.z * b.z};
}

}  // namespace

long long reportInterval(int step) {
    const long long s = step;
    return s == 0 ? 1 : (s < 0 ? -s : s);
}

Solver::Solver(Scene& scene)
    : topTable(buildTopTable(scene.settings.H)),
      sideTable(buildSideTable(scene.settings.H)),
      scene_(scene),
      N_(scene.settings.N),
      H_(scene.settings.H) {}

Solver::~Solver() = default;

Triangle* Solver::triangleAt(int o, int t) const {
    if (o < 0 || o >= static_cast<int>(scene_.objects.size())) return nullptr;
    SceneObject& obj = scene_.objects[static_cast<size_t>(o)];
    if (t < 0 || t >= obj.triangleCount()) return nullptr;
    return obj.triangles[static_cast<size_t>(t)].get();
}

void Solver::setFaceCapturer(FaceCapturer* capturer) {
    capturer_ = capturer;
    serialCapture_ = capturer != nullptr ? std::make_unique<SerialShotCapture>(*capturer) : nullptr;
}

void Solver::becomeShooter(ShooterState& state, const Triangle& t) {
    state.position = t.centroid;
    state.normal = t.normal;
    state.unshot = t.unshot;
    state.area = t.area;
}

// A random tangent frame (u, v) around the unit normal n.
bool Solver::randomFrame(const Vec3& n, Vec3& u, Vec3& v) {
    const double nl = n.length();
    if (!(nl > 0.5 && nl < 1.5)) return false;
    for (int tries = 0; tries < kMaxFrameDraws; ++tries) {
        const double rx = solverRandom.next() / 32767.0;
        const double ry = solverRandom.next() / 32767.0;
        const double rz = solverRandom.next() / 32767.0;
        u = n.cross(Vec3(rx, ry, rz));
        if (u.length() > 0.0) {
            u = u.normalized();
            v = n.cross(u);
            return true;
        }
    }
    return false;
}

bool Solver::initSolver() {
    ready_ = false;
    rounds_.reset();
    solverRandom = SolverRandom{};
    shooters.assign(1, ShooterState{});
    totalInitialEnergy = 0.0;
    convergenceMeasure = 0.0;
    stepCounter = 0;

    const int count = scene_.settings.shooters;
    choice_.reset(count < kMaxShooters ? count : kMaxShooters);
    for (size_t o = 0; o < scene_.objects.size(); ++o) {
        SceneObject& obj = scene_.objects[o];
        for (size_t t = 0; t < obj.triangles.size(); ++t) {
            Triangle& tri = *obj.triangles[t];
            tri.emission = obj.emission;
            totalInitialEnergy += tri.emission.sum() * tri.area;
            tri.unshot = tri.emission;
            tri.radiosity = tri.unshot;
            choice_.offer(energyOf(tri), static_cast<int>(o), static_cast<int>(t));
        }
    }
    formFactors.clear();
    if (choice_.chosen().empty() || !(totalInitialEnergy > 0.0)) {
        std::printf("No triangle emits light: nothing to solve.\n");
        std::fflush(stdout);
        return false;
    }
    if (!std::isfinite(totalInitialEnergy)) {
        std::printf("The emitted energy is too large to measure: nothing to solve.\n");
        std::fflush(stdout);
        return false;
    }
    if (scene_.settings.patchSize > 0.0) {
        // Every triangle keeps its light until its patch's round.
        RefinementRule rule = rule_;
        if (scene_.settings.patchEmitters) rule.emittersPerTriangle = false;
        rounds_ = std::make_unique<PatchRounds>(scene_, rule, count < kMaxShooters ? count : kMaxShooters);
        convergenceMeasure = 1.0;
        ready_ = true;
        return true;
    }
    takeChosenShooters();
    // Their energy now travels only in the shooter states.
    for (const ShooterState& s : shooters) triangleAt(s.objectIndex, s.triangleIndex)->unshot = Vec3();
    convergenceMeasure = 1.0;  // nothing shot yet
    ready_ = true;
    return true;
}

// The shooters the last choice kept become the next step's, each with a
// cleared form-factor array. With none kept (nothing left to shoot) the
// first shooter's indices keep the previous selection, whose unshot is zero
// by now: the next step distributes nothing.
void Solver::takeChosenShooters() {
    const std::vector<ShooterCandidate>& chosen = choice_.chosen();
    if (chosen.empty()) {
        shooters.resize(1);
        ShooterState& first = shooters.front();
        if (const Triangle* t = triangleAt(first.objectIndex, first.triangleIndex)) {
            becomeShooter(first, *t);
        } else {
            first.unshot = Vec3();
        }
    } else {
        shooters.resize(chosen.size());
        for (size_t k = 0; k < chosen.size(); ++k) {
            ShooterState& s = shooters[k];
            s.objectIndex = chosen[k].objectIndex;
            s.triangleIndex = chosen[k].triangleIndex;
            becomeShooter(s, *triangleAt(s.objectIndex, s.triangleIndex));
        }
    }
    const size_t size = static_cast<size_t>(sceneTriangleCount(scene_.objects));
    if (formFactors.size() < shooters.size()) formFactors.resize(shooters.size());
    for (size_t k = 0; k < shooters.size(); ++k) {
        if (formFactors[k].size() != size) formFactors[k].assign(size, 0.0);
    }
}

// What the shooter would gather from everybody's unshot radiosity through
// the form factors its faces just measured: rho_i x sum_j min(F_ij, 1) x
// unshot_j.
Vec3 Solver::gatheredEstimate(const ShooterState& shooter, const FormFactors& ff) const {
    Vec3 gathered;
    size_t index = 0;
    for (const SceneObject& obj : scene_.objects) {
        for (const auto& t : obj.triangles) {
            const double measured = ff[index++];
            if (measured == 0.0) continue;
            const double f = measured < 1.0 ? measured : 1.0;
            gathered = gathered + t->unshot * f;
        }
    }
    const SceneObject& object = scene_.objects[static_cast<size_t>(shooter.objectIndex)];
    return times(gathered, object.reflectance);
}

namespace {

// The light still to come, reflected again and again: a geometric series
// on the mean unshot radiosity of an area, per channel; debts are no light.
Vec3 reflectedSeries(const Vec3& unshot, const Vec3& reflectance, double area) {
    if (!(area > 0.0)) return {};
    const Vec3 meanUnshot = unshot / area;
    const Vec3 meanReflectance = reflectance / area;
    auto channel = [](double mean, double rho) {
        const double ambient = mean / (1.0 - std::min(rho, 0.99));
        return ambient > 0.0 ? ambient : 0.0;
    };
    return {channel(meanUnshot.x, meanReflectance.x), channel(meanUnshot.y, meanReflectance.y),
            channel(meanUnshot.z, meanReflectance.z)};
}

bool emits(const SceneObject& object) {
    return object.emission.x != 0.0 || object.emission.y != 0.0 || object.emission.z != 0.0;
}

bool lit(const Triangle& t) {
    return t.radiosity.x != 0.0 || t.radiosity.y != 0.0 || t.radiosity.z != 0.0;
}

}  // namespace

Vec3 Solver::ambientTerm() const {
    if (!ready_) return {};
    if (scene_.settings.ambient == 2) return litAmbient();
    Vec3 unshot;
    for (const ShooterState& s : shooters) unshot = unshot + s.unshot * s.area;
    Vec3 reflectance;
    double area = 0.0;
    for (const SceneObject& obj : scene_.objects) {
        for (const auto& t : obj.triangles) {
            unshot = unshot + t->unshot * t->area;
            reflectance = reflectance + obj.reflectance * t->area;
            area += t->area;
        }
    }
    return reflectedSeries(unshot, reflectance, area);
}

// The light not yet shot that sits on emitters (mostly their own light,
// bound for anywhere) is spread over the whole area; what sits on other surfaces
// has been reflected there and will land near where light has landed so far,
// so it is spread over the triangles lit so far. A surface nothing has
// reached, such as the outside of a building without sun, gets only the
// first share.
Vec3 Solver::litAmbient() const {
    Vec3 emitted, reflected;
    for (const ShooterState& s : shooters) {
        const size_t o = static_cast<size_t>(s.objectIndex);
        Vec3& pool = o < scene_.objects.size() && emits(scene_.objects[o]) ? emitted : reflected;
        pool = pool + s.unshot * s.area;
    }
    Vec3 reflectance, litReflectance;
    double area = 0.0, litArea = 0.0;
    for (const SceneObject& obj : scene_.objects) {
        Vec3& pool = emits(obj) ? emitted : reflected;
        for (const auto& t : obj.triangles) {
            pool = pool + t->unshot * t->area;
            reflectance = reflectance + obj.reflectance * t->area;
            area += t->area;
            if (!lit(*t)) continue;
            litReflectance = litReflectance + obj.reflectance * t->area;
            litArea += t->area;
        }
    }
    return reflectedSeries(emitted, reflectance, area) + reflectedSeries(reflected, litReflectance, litArea);
}

// Shooter `shooter` gives its unshot radiosity (with overshooting, plus its
// gathered estimate) to every triangle through the form factors its faces
// measured, which are cleared on the way. With a choice, every triangle's
// energy after receiving is offered to it and summed into the measure.
double Solver::receive(const ShooterState& shooter, FormFactors& ff, ShooterChoice* choice) {
    CHECK_EQ(ff.size(), static_cast<size_t>(sceneTriangleCount(scene_.objects)));
    Vec3 shot = shooter.unshot;
    if (scene_.settings.overshoot) {
        // Shoot what will come back as well; the shooter owes it until it does.
        if (Triangle* t = triangleAt(shooter.objectIndex, shooter.triangleIndex)) {
            const Vec3 estimate = overshootEstimate(shooter.unshot, gatheredEstimate(shooter, ff));
            shot = shot + estimate;
            t->unshot = t->unshot - estimate;
        }
    }
    const double shooterArea = shooter.area;
    double* f = ff.data();
    double left = 0.0;  // energy still unshot, over all triangles
    size_t index = 0;
    for (size_t o = 0; o < scene_.objects.size(); ++o) {
        SceneObject& obj = scene_.objects[o];
        const Vec3 rho = obj.reflectance;
        for (size_t t = 0; t < obj.triangles.size(); ++t, ++index) {
            Triangle& tri = *obj.triangles[t];
            const double measured = f[index];
            // Most triangles were seen by no face: nothing to receive or clear.
            if (measured != 0.0) {
                const double F = measured < 1.0 ? measured : 1.0;
                // The hemicube measures F from the shooter to this triangle;
                // the radiosity it receives is F x A_shooter / A_receiver of
                // what the shooter sends (reciprocity), never more than all of it.
                if (tri.area > 0.0 && F > 0.0) {
                    const double g = F * shooterArea / tri.area;
                    const double share = g < 1.0 ? g : 1.0;
                    const Vec3 gain(shot.x * share * rho.x, shot.y * share * rho.y, shot.z * share * rho.z);
                    tri.unshot = tri.unshot + gain;
                    tri.radiosity = tri.radiosity + gain;
                }
                f[index] = 0.0;
            }
            if (choice != nullptr) {
                const double e = energyOf(tri);
                left += e;
                choice->offer(e, static_cast<int>(o), static_cast<int>(t));
            }
        }
    }
    return left;
}

double Solver::receiveAndSelect() {
    if (formFactors.size() < shooters.size()) takeChosenShooters();
    const int count = scene_.settings.shooters;
    choice_.reset(count < kMaxShooters ? count : kMaxShooters);
    double left = 0.0;
    for (size_t k = 0; k < shooters.size(); ++k) {
        const bool last = k + 1 == shooters.size();
        left = receive(shooters[k], formFactors[k], last ? &choice_ : nullptr);
    }
    convergenceMeasure = left / totalInitialEnergy;
    takeChosenShooters();
    return convergenceMeasure;
}

// A hemicube at p along n around a random frame, for a shooter or a patch:
// the five faces with the shot's far plane (0: the capturer's own).
bool Solver::hemicubeShot(const Vec3& p, const Vec3& n, double farPlane, HemicubeShot& shot) {
    Vec3 u;
    Vec3 v;
    if (!randomFrame(n, u, v)) return false;
    // The eye sits 1/1000 above the shooter, off its own surface.
    const Vec3 eye = p + n / 1000.0;
    shot.faces = {FaceShot{{eye, p + n, u, N_, farPlane}, &topTable},
                  FaceShot{{eye, p + u, n, H_, farPlane}, &sideTable},
                  FaceShot{{eye, p + u * -1.0, n, H_, farPlane}, &sideTable},
                  FaceShot{{eye, p + v, n, H_, farPlane}, &sideTable},
                  FaceShot{{eye, p + v * -1.0, n, H_, farPlane}, &sideTable}};
    return true;
}

ShotCapture* Solver::shotCapture() const {
    return shotCapture_ != nullptr ? shotCapture_ : serialCapture_.get();
}

// This step's shots: one frame per shooter, drawn in shooter order.
void Solver::buildShots() {
    shots_.clear();
    CHECK_EQ(topTable.size(), static_cast<size_t>(H_) * static_cast<size_t>(H_));
    CHECK_EQ(sideTable.size(), topTable.size());
    for (size_t k = 0; k < shooters.size(); ++k) {
        HemicubeShot shot;
        if (!hemicubeShot(shooters[k].position, shooters[k].normal, 0.0, shot)) continue;
        shot.formFactors = &formFactors[k];
        shots_.push_back(shot);
    }
}

// A patch step's hemicubes, frames drawn in the order asked; a face that can
// show none of a local shot's receivers is left out.
void Solver::capturePatchShots(const std::vector<PatchCapture>& captures) {
    shots_.clear();
    CHECK_EQ(topTable.size(), static_cast<size_t>(H_) * static_cast<size_t>(H_));
    CHECK_EQ(sideTable.size(), topTable.size());
    for (const PatchCapture& c : captures) {
        HemicubeShot shot;
        if (!hemicubeShot(c.position, c.normal, c.farPlane, shot)) continue;
        if (c.wanted != nullptr) {
            for (FaceShot& face : shot.faces)
                if (!reachesAny(face.view, *c.wanted)) face.weights = nullptr;
        }
        shot.formFactors = c.formFactors;
        shots_.push_back(shot);
    }
    ShotCapture* capture = shotCapture();
    if (capture != nullptr && !shots_.empty()) capture->captureShots(shots_);
}

bool Solver::reachesAny(const FaceView& view, const std::vector<Box>& boxes) const {
    const Settings& s = scene_.settings;
    const double farPlane =
        view.farPlane > s.nearPlane && view.farPlane < s.farPlane ? view.farPlane : s.farPlane;
    // A side face sums only its upper half, the part above the tangent plane.
    const FaceFrustum frustum =
        faceFrustum(view.eye, view.centre, view.up, s.nearPlane, farPlane, view.rows == H_);
    for (const Box& b : boxes)
        if (!boxCulled(b, frustum)) return true;
    return false;
}

bool Solver::shootPatches() {
    const double left =
        rounds_->runStep([this](const std::vector<PatchCapture>& captures) { capturePatchShots(captures); },
                         scene_.settings.overshoot);
    convergenceMeasure = left / totalInitialEnergy;
    return !(convergenceMeasure >= scene_.settings.stopAt) || std::isinf(convergenceMeasure);
}

bool Solver::shootStep() {
    if (!ready_) return true;
    if (rounds_) return shootPatches();
    if (formFactors.size() < shooters.size()) takeChosenShooters();
    buildShots();
    ShotCapture* capture = shotCapture();
    if (capture != nullptr && !shots_.empty()) capture->captureShots(shots_);
    const double measure = receiveAndSelect();
    return !(measure >= scene_.settings.stopAt) || std::isinf(measure);
}

StepOutcome Solver::idleStep() {
    StepOutcome outcome;
    if (!ready_) {
        outcome.converged = true;
        return outcome;
    }
    outcome.converged = shootStep();
    outcome.diverged = !std::isfinite(convergenceMeasure);
    // The new shooters' energy now travels only in their states (patch
    // steps keep every triangle's light in the triangle).
    if (!rounds_) {
        for (const ShooterState& s : shooters) {
            if (Triangle* next = triangleAt(s.objectIndex, s.triangleIndex)) next->unshot = Vec3();
        }
    }
    if (stepCounter % reportInterval(scene_.settings.step) == 0) {
        std::printf("Convergence %2.5f\t\tStep %d\n", convergenceMeasure, stepCounter);
        std::fflush(stdout);
        outcome.report = true;
    }
    if (stepCounter < INT_MAX) ++stepCounter;
    return outcome;
}
