#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "radiosity/face_capturer.h"
#include "radiosity/face_culling.h"
#include "radiosity/form_factors.h"
#include "radiosity/patch_shooters.h"
#include "radiosity/shooter_choice.h"
#include "radiosity/shot_capture.h"
#include "scene/vec3.h"

class PatchRounds;
struct Scene;
struct Triangle;

// Progressive refinement ("shooting"): the triangle with the most unshot
// energy gives it to every triangle it sees, measured by five hemicube faces,
// and the next shooter is chosen. Energy of a triangle = sum of the absolute
// values of its unshot channels x area (unshot radiosity is never negative
// unless overshooting). Everything here is GL-free; the faces are captured by
// the FaceCapturer or the ShotCapture the solver is given.
//
// With settings.shooters = K a step has up to K shooters, the K most
// energetic triangles: their frames are drawn from the one random generator
// in shooter order, their hemicubes captured (at once, where the capture
// service can), each into its own form-factor array, and their receive
// passes applied in shooter order, the last one choosing the next step's
// shooters. The result depends on K but never on how or where the
// hemicubes were captured. K = 1 is the classic single shooter.
//
// The convergence measure is the share of the emitted light not yet shot:
// the energy all triangles still hold over the energy they emitted, the same
// on a coarse and a fine mesh of one scene. It is summed afresh in every
// step's last receive pass, so it cannot drift.
//
// With settings.overshoot a shooter sends its unshot radiosity plus what it
// would gather at once from everybody's unshot radiosity, rho_i x sum_j F_ij
// x unshot_j, with F_ij the form factors its own faces just measured; its
// unshot becomes minus that estimate and is paid back as the light arrives.
// A channel a shooter sends negative (a debt) gets no new estimate
// (overshootEstimate). Every shot keeps the converged solution what it was, so the answer is the
// same; it is reached in fewer steps once light only bounces between
// surfaces.
//
// With settings.patchSize > 0 patches shoot instead (PatchRounds): a step
// chooses the K patches holding the most energy and each shoots it in a
// round of its own, from its centre to far receivers and from its parts to
// near ones; the step's hemicubes are captured through the same services.
// The shooter states then hold no light (every triangle keeps its own
// unshot radiosity until its patch's round).

// A shooter of the next step: a copy of the selected triangle's geometry and
// of the unshot radiosity it held when selected (its own unshot is then
// zeroed, so this is what the next step distributes).
struct ShooterState {
    Vec3 position;        // centroid
    Vec3 normal;          // unit normal
    Vec3 unshot;          // RGB radiosity to distribute
    double area = 0.0;    // shooter area, for the receivers' reciprocity factor
    int objectIndex = 0;  // selected triangle, 0-based
    int triangleIndex = 0;
};

// The solver's random numbers: a 32-bit linear congruential generator with
// state 1 at start. Each draw: state = state * 214013 + 2531011 (mod 2^32),
// result (state >> 16) & 0x7FFF, 0..32767. From state 1: 41, 18467, 6334.
struct SolverRandom {
    std::uint32_t state = 1;
    int next() {
        state = state * 214013u + 2531011u;
        return static_cast<int>((state >> 16) & 0x7FFFu);
    }
};

struct StepOutcome {
    bool converged = false;  // stop the automatic stepping
    bool diverged = false;   // ... because the measure is not a finite number
    bool report = false;     // the convergence line was printed: time to redraw
};

// The solution of one scene. It changes the scene's triangles (emission,
// unshot and displayed radiosity, accumulators) and reads its settings; the
// scene must outlive it.
class Solver {
  public:
    // Builds the weight tables for the scene's face size (settings.N, with
    // H = settings.H), which is fixed from then on.
    explicit Solver(Scene& scene);
    ~Solver();
    Solver(const Solver&) = delete;
    Solver& operator=(const Solver&) = delete;

    // The capturer shootStep uses for every face, on the calling thread (not
    // owned). Without it or a shot capture, steps see nothing.
    void setFaceCapturer(FaceCapturer* capturer);
    // Or a service that captures a step's shots, for example several at once
    // (not owned); it takes the place of the face capturer.
    void setShotCapture(ShotCapture* capture) { shotCapture_ = capture; }

    // Seeds the solution: every triangle's emission, unshot and displayed
    // radiosity from its object's emission, the first shooter, the total
    // energy; resets the random generator, the measure and the step counter.
    // Returns false (after printing one line) when no triangle emits, in which
    // case steps do nothing.
    bool initSolver();

    // True after a successful initSolver.
    bool solverReady() const { return ready_; }

    // One step: a random frame around each shooter's normal, five faces per
    // shooter, then receiveAndSelect. Returns true when the measure is not >=
    // settings.stopAt (NaN included) or is infinite: the solver has
    // converged, or diverged, and should stop running by itself.
    bool shootStep();

    // The receive passes of a step, one per shooter in order, for the form
    // factors its faces left: every triangle j gets shot x min(F x
    // A_shooter / A_j, 1) x reflectance_j with F = min(form factor, 1), both
    // in its unshot and its displayed radiosity, where shot is the shooter's
    // unshot (plus its gathered estimate when overshooting); the form factors
    // are reset; in the last pass the most energetic triangles (the first on
    // ties) are chosen and copied into shooters. Returns the measure, the
    // triangles' energy over the emitted energy.
    double receiveAndSelect();

    // What the idle callback runs: one shootStep, the new shooters' unshot
    // zeroed, and every |step| steps (step 0 counts as 1) the line
    // "Convergence %2.5f\t\tStep %d\n". Does nothing (converged, no report)
    // when initSolver failed.
    StepOutcome idleStep();

    // The light not yet shot, as an ambient radiosity for display, per
    // channel: the area-weighted mean unshot radiosity (that held in the
    // shooter states included) times 1 / (1 - min(mean reflectance, 0.99)),
    // the mean again weighted by area; a negative channel counts as 0. With
    // settings.ambient = 2, the light held by non-emitting triangles is
    // spread over the triangles lit so far instead (see litAmbient). Zero
    // before initSolver has succeeded. For between steps, when the next
    // shooters' energy is held in their states alone.
    Vec3 ambientTerm() const;

    // The first (most energetic) shooter of the next step.
    ShooterState& shooterState() { return shooters.front(); }
    const ShooterState& shooterState() const { return shooters.front(); }

    // The next step's shooters, most energetic first; never empty.
    std::vector<ShooterState> shooters = std::vector<ShooterState>(1);
    // One array per shooter, filled by its capture and cleared by its receive
    // pass; sized when initSolver runs.
    std::vector<FormFactors> formFactors;

    // How patch rounds refine (settings.patchSize > 0); read by initSolver.
    void setRefinementRule(const RefinementRule& rule) { rule_ = rule; }

    // The patch rounds of a solve with settings.patchSize > 0, after a
    // successful initSolver; null otherwise.
    const PatchRounds* patchRounds() const { return rounds_.get(); }

    double totalInitialEnergy = 0.0;  // emitted energy of the scene, set by initSolver
    double convergenceMeasure = 0.0;  // share of the emitted energy not yet shot: 1 after initSolver
    int stepCounter = 0;              // steps run by idleStep
    SolverRandom solverRandom;
    std::vector<double> topTable;   // weights of the top face, H x H
    std::vector<double> sideTable;  // weights of each side face's upper half, H x H

  private:
    Vec3 litAmbient() const;
    Triangle* triangleAt(int objectIndex, int triangleIndex) const;
    static void becomeShooter(ShooterState& state, const Triangle& t);
    bool randomFrame(const Vec3& n, Vec3& u, Vec3& v);
    bool hemicubeShot(const Vec3& p, const Vec3& n, double farPlane, HemicubeShot& shot);
    ShotCapture* shotCapture() const;
    void buildShots();
    Vec3 gatheredEstimate(const ShooterState& shooter, const FormFactors& formFactors) const;
    double receive(const ShooterState& shooter, FormFactors& formFactors, ShooterChoice* choice);
    void takeChosenShooters();
    // The hemicubes a patch step asks for, captured at once.
    void capturePatchShots(const std::vector<PatchCapture>& captures);
    bool shootPatches();
    // True when some box reaches into the face's view.
    bool reachesAny(const FaceView& view, const std::vector<Box>& boxes) const;

    Scene& scene_;
    FaceCapturer* capturer_ = nullptr;
    ShotCapture* shotCapture_ = nullptr;
    std::unique_ptr<SerialShotCapture> serialCapture_;  // over capturer_
    std::vector<HemicubeShot> shots_;                   // this step's, rebuilt every step
    ShooterChoice choice_;
    RefinementRule rule_;
    std::unique_ptr<PatchRounds> rounds_;
    bool ready_ = false;
    int N_ = 0;  // face size and half size the tables were built for
    int H_ = 0;
};

// |step|, with 0 taken as 1.
long long reportInterval(int step);

// The most shooters one step may have (settings.shooters is refused above
// it): every shooter holds a form-factor array of the scene's size.
constexpr int kMaxShooters = 256;
