#pragma once

#include <functional>
#include <vector>

#include "radiosity/face_culling.h"
#include "radiosity/patch_shooters.h"
#include "radiosity/receiver_index.h"
#include "radiosity/shooter_choice.h"
#include "scene/vec3.h"

struct Scene;
struct Triangle;

// The most hemicubes a patch step asks for at once (see PatchRounds).
constexpr int kPatchBatch = 16;

// Shooting by patches (settings.patchSize > 0): one step chooses the
// top-level patches holding the most energy (settings.shooters of them, the
// first on ties) and each gives away all its unshot light in a round of its
// own, in that order. A round's whole shot captures a full hemicube at the
// patch's centre and serves every receiver that is far from the patch; near
// receivers are served by sub-patches down to single triangles (local shots,
// whose captures stop at a far plane just beyond them). An emitting patch
// shoots each triangle alone in its first round. Energies and the light left
// are summed afresh by every whole shot's pass, which visits every triangle,
// and kept up to date as light arrives, which touches only the receivers.
//
// A step's hemicubes are asked for in batches, each into an array of its
// own, so they can be captured at once; their frames are drawn and their
// light is given in plan order, so the answer does not depend on who
// captured them.
//
// Mixing form factors measured from the patch's centre (far receivers) with
// those measured from its parts (near ones) would not conserve light: the
// parts see near receivers under a different solid angle than the centre
// does, and in a closed room the difference must be taken from, or given to,
// everything else the patch sees. So the far receivers' shares are scaled by
// k = 1 - (near_parts - near_centre) / (far_centre + sky_centre), all in form
// factors of the whole patch, sky being what the centre's hemicube did not
// cover (clamped to 0.5..1.5). A patch with no near receiver has k = 1.
//
// GL-free: the solver captures the hemicubes through the function it passes
// to runStep.
class PatchRounds {
  public:
    // Captures every hemicube asked for, each into its own array; returns
    // when all are in.
    using Capture = std::function<void(const std::vector<PatchCapture>& captures)>;

    // Groups the scene's triangles, whose emission, unshot radiosity and
    // geometry must be set, sums every patch's energy and chooses the first
    // step's `shooters` patches (at least 1).
    PatchRounds(Scene& scene, const RefinementRule& rule = RefinementRule{}, int shooters = 1);

    // The energy all triangles hold (sum of |unshot| channels x area).
    double energyLeft() const { return left_; }

    // True when some top-level patch holds energy, so a step has something
    // to shoot.
    bool hasShooter() const { return !selected_.empty(); }

    // One round for each chosen patch, in order, with overshooting when asked
    // (every shot of a round sends its node's unshot radiosity plus what the
    // whole shot would gather at once; the patch's triangles owe that), then
    // chooses the next step's patches. Returns the energy left.
    double runStep(const Capture& capture, bool overshoot);

    const ScenePatches& patches() const { return patches_; }
    // The first patch of the next step: an index into patches().tops, -1 when none.
    int selectedTop() const { return selected_.empty() ? -1 : selected_.front(); }

    // Captures made so far, by kind.
    long long wholeShots() const { return wholeShots_; }
    long long localShots() const { return localShots_; }

  private:
    struct Receiver {
        Triangle* triangle = nullptr;
        Vec3 reflectance;
        int top = -1;  // index into patches_.tops
    };

    // A planned shot of the step, with what it sends and where it is captured.
    struct StepShot {
        int round = 0;  // index into selected_ of the step
        PlannedShot planned;
        PatchShot sent;
        std::vector<Box> wanted;  // local shots: their receivers' boxes
    };

    // What a round carries from one of its shots to the next.
    struct RoundState {
        Vec3 extra;      // what the whole shot sends beyond the unshot light
        Vec3 wholeSent;  // what its far receivers are still owed
        double localUsed = 0.0;
        double area = 0.0;  // of the round's first shot
        bool owed = false;
    };

    void sumEnergies();
    void selectTops();
    // Plans the rounds of the chosen patches and takes their light.
    void planStep();
    // Gives one captured shot's light; `ff` is its array, left all zero.
    void takeShot(const StepShot& s, FormFactors& ff, bool overshoot, RoundState& round);
    void finishRound(RoundState& round);
    // The whole shot's pass: reads and resets every entry of ff, notes the
    // far receivers' shares and the form factor totals, sums the energies
    // afresh; gives nothing yet.
    void measureWhole(const PatchShot& shot, const std::vector<int>& near, bool overshoot,
                      const Vec3& reflectance, FormFactors& ff);
    void giveFar(const Vec3& sent, double scale);
    // Measures a captured whole shot, and with overshooting makes the node's
    // triangles owe what it sends beyond their light; returns that.
    Vec3 shootWhole(const PlannedShot& planned, const PatchShot& shot, bool overshoot, FormFactors& ff);
    // The factor k on the far receivers' shares (see above).
    double conservingScale(double shooterArea, double localUsed) const;
    // A local shot: gives to its receivers, resets the entries its capture
    // can have touched; returns the form factor it used, times its
    // receivers' areas.
    double giveLocal(const PlannedShot& planned, const PatchShot& shot, const Vec3& sent, FormFactors& ff);
    // Adds sent x share x reflectance to one receiver, keeping the energy
    // sums up to date.
    void give(int j, const Vec3& sent, double share);
    // Takes debt from one triangle's unshot radiosity (overshooting).
    void owe(int j, const Vec3& debt);
    // min(F x A_shooter / A_receiver, 1) for the measured F, 0 for a receiver of no area.
    static double shareOf(double measured, const Triangle& t, double shooterArea);

    struct FarShare {
        int receiver = 0;
        double share = 0.0;
    };

    Scene& scene_;
    RefinementRule rule_;
    ScenePatches patches_;
    ReceiverIndex index_;
    ShooterChoice choice_;
    int shooters_ = 1;                 // patches chosen per step
    std::vector<Receiver> receivers_;  // by scene-wide triangle number
    std::vector<int> objectBase_;      // scene-wide number of each object's first triangle
    std::vector<double> topEnergy_;    // by top-level patch
    std::vector<char> shotBefore_;     // by top-level patch: it has had a round
    std::vector<int> skipMark_;        // by scene-wide triangle number: == markStamp_ while skipped
    int markStamp_ = 0;
    double left_ = 0.0;
    std::vector<int> selected_;  // the next step's patches, indices into patches_.tops
    long long wholeShots_ = 0;
    long long localShots_ = 0;
    std::vector<StepShot> step_;       // scratch of runStep: the step's shots in order
    std::vector<FormFactors> arrays_;  // one per shot of a batch, all zero between uses
    std::vector<PatchCapture> batch_;  // the captures of one batch
    std::vector<PlannedShot> plan_;    // scratch of planStep
    std::vector<int> zone_;
    std::vector<FarShare> far_;  // the whole shot's far receivers with their shares
    double nearCentre_ = 0.0;    // form factor totals of the whole shot x A_shooter: near receivers,
    double farCentre_ = 0.0;     // far receivers,
    double seenCentre_ = 0.0;    // everything its hemicube showed
    Vec3 gathered_;              // overshooting: rho x sum of F x unshot over what it showed
};
