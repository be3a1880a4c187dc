#include "radiosity/solver.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>

#include "radiosity/face_culling.h"
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

void Solver::becomeShooter(const Triangle& t) {
    shooterState.position = t.centroid;
    shooterState.normal = t.normal;
    shooterState.unshot = t.unshot;
    shooterState.area = t.area;
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
    shooterState = ShooterState{};
    totalInitialEnergy = 0.0;
    convergenceMeasure = 0.0;
    stepCounter = 0;

    double best = 0.0;
    Triangle* first = nullptr;
    for (size_t o = 0; o < scene_.objects.size(); ++o) {
        SceneObject& obj = scene_.objects[o];
        for (size_t t = 0; t < obj.triangles.size(); ++t) {
            Triangle& tri = *obj.triangles[t];
            tri.emission = obj.emission;
            totalInitialEnergy += tri.emission.sum() * tri.area;
            tri.unshot = tri.emission;
            tri.radiosity = tri.unshot;
            tri.formFactor = 0.0;
            const double e = energyOf(tri);
            if (e > best) {
                best = e;
                first = &tri;
                shooterState.objectIndex = static_cast<int>(o);
                shooterState.triangleIndex = static_cast<int>(t);
            }
        }
    }
    if (first == nullptr || !(totalInitialEnergy > 0.0)) {
        std::printf("No triangle emits light: nothing to solve.\n");
        std::fflush(stdout);
        shooterState = ShooterState{};
        return false;
    }
    if (!std::isfinite(totalInitialEnergy)) {
        std::printf("The emitted energy is too large to measure: nothing to solve.\n");
        std::fflush(stdout);
        shooterState = ShooterState{};
        return false;
    }
    if (scene_.settings.patchSize > 0.0) {
        // Every triangle keeps its light until its patch's round.
        shooterState = ShooterState{};
        rounds_ = std::make_unique<PatchRounds>(scene_, rule_);
        convergenceMeasure = 1.0;
        ready_ = true;
        return true;
    }
    becomeShooter(*first);
    first->unshot = Vec3();
    convergenceMeasure = 1.0;  // nothing shot yet
    ready_ = true;
    return true;
}

// What the shooter would gather from everybody's unshot radiosity through
// the form factors its faces just measured: rho_i x sum_j min(F_ij, 1) x
// unshot_j.
Vec3 Solver::gatheredEstimate() const {
    Vec3 gathered;
    for (const SceneObject& obj : scene_.objects) {
        for (const auto& t : obj.triangles) {
            if (t->formFactor == 0.0) continue;
            const double f = t->formFactor < 1.0 ? t->formFactor : 1.0;
            gathered = gathered + t->unshot * f;
        }
    }
    const SceneObject& shooter = scene_.objects[static_cast<size_t>(shooterState.objectIndex)];
    return times(gathered, shooter.reflectance);
}

Vec3 Solver::ambientTerm() const {
    if (!ready_) return {};
    Vec3 unshot = shooterState.unshot * shooterState.area;
    Vec3 reflectance;
    double area = 0.0;
    for (const SceneObject& obj : scene_.objects) {
        for (const auto& t : obj.triangles) {
            unshot = unshot + t->unshot * t->area;
            reflectance = reflectance + obj.reflectance * t->area;
            area += t->area;
        }
    }
    if (!(area > 0.0)) return {};
    const Vec3 meanUnshot = unshot / area;
    const Vec3 meanReflectance = reflectance / area;
    // The light still to come, reflected again and again: a geometric series.
    auto channel = [](double mean, double rho) {
        const double ambient = mean / (1.0 - std::min(rho, 0.99));
        return ambient > 0.0 ? ambient : 0.0;
    };
    return {channel(meanUnshot.x, meanReflectance.x), channel(meanUnshot.y, meanReflectance.y),
            channel(meanUnshot.z, meanReflectance.z)};
}

double Solver::receiveAndSelect() {
    Vec3 shot = shooterState.unshot;
    if (scene_.settings.overshoot) {
        // Shoot what will come back as well; the shooter owes it until it does.
        if (Triangle* shooter = triangleAt(shooterState.objectIndex, shooterState.triangleIndex)) {
            const Vec3 estimate = gatheredEstimate();
            shot = shot + estimate;
            shooter->unshot = shooter->unshot - estimate;
        }
    }
    const double shooterArea = shooterState.area;
    double best = 0.0;
    double left = 0.0;  // energy still unshot, over all triangles
    for (size_t o = 0; o < scene_.objects.size(); ++o) {
        SceneObject& obj = scene_.objects[o];
        const Vec3 rho = obj.reflectance;
        for (size_t t = 0; t < obj.triangles.size(); ++t) {
            Triangle& tri = *obj.triangles[t];
            const double f = tri.formFactor < 1.0 ? tri.formFactor : 1.0;
            // The hemicube measures F from the shooter to this triangle; the
            // radiosity it receives is F x A_shooter / A_receiver of what the
            // shooter sends (reciprocity), never more than all of it.
            if (tri.area > 0.0 && f > 0.0) {
                const double g = f * shooterArea / tri.area;
                const double share = g < 1.0 ? g : 1.0;
                const Vec3 gain(shot.x * share * rho.x, shot.y * share * rho.y, shot.z * share * rho.z);
                tri.unshot = tri.unshot + gain;
                tri.radiosity = tri.radiosity + gain;
            }
            // Most triangles were seen by no face: leave their records
            // untouched (a store would dirty every cache line of the scene).
            if (tri.formFactor != 0.0) {
                tri.formFactor = 0.0;
            }
            const double e = energyOf(tri);
            left += e;
            if (e > best) {
                best = e;
                shooterState.objectIndex = static_cast<int>(o);
                shooterState.triangleIndex = static_cast<int>(t);
            }
        }
    }
    convergenceMeasure = left / totalInitialEnergy;
    // With nothing left to shoot the indices keep the previous selection,
    // whose unshot is zero by now: the next step distributes nothing.
    if (const Triangle* next = triangleAt(shooterState.objectIndex, shooterState.triangleIndex)) {
        becomeShooter(*next);
    } else {
        shooterState.unshot = Vec3();
    }
    return convergenceMeasure;
}

void Solver::captureHemicube(const Vec3& p, const Vec3& n, double farPlane, const std::vector<Box>* wanted) {
    Vec3 u;
    Vec3 v;
    if (!randomFrame(n, u, v) || capturer_ == nullptr) return;
    CHECK_EQ(topTable.size(), static_cast<size_t>(H_) * static_cast<size_t>(H_));
    CHECK_EQ(sideTable.size(), topTable.size());
    // The eye sits 1/1000 above the shooter, off its own surface.
    const Vec3 eye = p + n / 1000.0;
    struct Face {
        Vec3 up;
        Vec3 direction;
        const std::vector<double>* table;
        int rows;
    };
    const Face faces[5] = {
        {u, n, &topTable, N_},  {n, u, &sideTable, H_},        {n, u * -1.0, &sideTable, H_},
        {n, v, &sideTable, H_}, {n, v * -1.0, &sideTable, H_},
    };
    for (const Face& face : faces) {
        const FaceView view{eye, p + face.direction, face.up, face.rows, farPlane};
        if (wanted != nullptr && !reachesAny(view, *wanted)) continue;
        capturer_->captureFace(view, *face.table);
    }
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

bool Solver::shootRound() {
    const double left =
        rounds_->runRound([this](const Vec3& p, const Vec3& n, double farPlane,
                                 const std::vector<Box>* wanted) { captureHemicube(p, n, farPlane, wanted); },
                          scene_.settings.overshoot);
    convergenceMeasure = left / totalInitialEnergy;
    return !(convergenceMeasure >= scene_.settings.stopAt) || std::isinf(convergenceMeasure);
}

bool Solver::shootStep() {
    if (!ready_) return true;
    if (rounds_) return shootRound();
    captureHemicube(shooterState.position, shooterState.normal, 0.0, nullptr);
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
    // The new shooter's energy now travels only in shooterState.
    Triangle* next = rounds_ ? nullptr : triangleAt(shooterState.objectIndex, shooterState.triangleIndex);
    if (next != nullptr) next->unshot = Vec3();
    if (stepCounter % reportInterval(scene_.settings.step) == 0) {
        std::printf("Convergence %2.5f\t\tStep %d\n", convergenceMeasure, stepCounter);
        std::fflush(stdout);
        outcome.report = true;
    }
    if (stepCounter < INT_MAX) ++stepCounter;
    return outcome;
}
