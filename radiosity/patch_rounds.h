#pragma once

#include <functional>
#include <vector>

#include "radiosity/face_culling.h"
#include "radiosity/patch_shooters.h"
#include "radiosity/receiver_index.h"
#include "scene/vec3.h"

struct Scene;
struct Triangle;

// Shooting by patches (settings.patchSize > 0): one step is one round, in
// which the top-level patch holding the most energy gives away all its
// unshot light. The round's whole shot captures a full hemicube at the
// patch's centre and serves every receiver that is far from the patch; near
// receivers are served by sub-patches down to single triangles (local shots,
// whose captures stop at a far plane just beyond them). An emitting patch
// shoots each triangle alone in its first round. Energies and the light left are summed afresh
// by the whole shot's pass, which visits every triangle, and kept up to date
// as light arrives, which touches only the receivers.
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
// to runRound.
class PatchRounds {
  public:
    // Captures the five faces at `position` looking along `normal` into the
    // triangles' form-factor accumulators; farPlane 0 means the capturer's
    // own far plane. With `wanted`, a face whose view reaches none of those
    // boxes may be left out (nothing the shot serves would show in it).
    using Capture = std::function<void(const Vec3& position, const Vec3& normal, double farPlane,
                                       const std::vector<Box>* wanted)>;

    // Groups the scene's triangles, whose emission, unshot radiosity and
    // geometry must be set, and sums every patch's energy.
    PatchRounds(Scene& scene, const RefinementRule& rule = RefinementRule{});

    // The energy all triangles hold (sum of |unshot| channels x area).
    double energyLeft() const { return left_; }

    // True when some top-level patch holds energy, so a round has something
    // to shoot.
    bool hasShooter() const { return selected_ >= 0; }

    // Shoots the selected patch's light, with overshooting when asked (every
    // shot of the round sends its node's unshot radiosity plus what the whole
    // shot would gather at once; the patch's triangles owe that), then
    // selects the next patch. Returns the energy left.
    double runRound(const Capture& capture, bool overshoot);

    const ScenePatches& patches() const { return patches_; }
    int selectedTop() const { return selected_; }  // index into patches().tops, -1 when none

    // Captures made so far, by kind.
    long long wholeShots() const { return wholeShots_; }
    long long localShots() const { return localShots_; }

  private:
    struct Receiver {
        Triangle* triangle = nullptr;
        Vec3 reflectance;
        int top = -1;  // index into patches_.tops
    };

    void sumEnergies();
    void selectTop();
    Vec3 gatheredEstimate(const Vec3& reflectance) const;
    // The whole shot's pass: reads and resets every accumulator, notes the
    // far receivers' shares and the form factor totals, sums the energies
    // afresh; gives nothing yet.
    void measureWhole(const PatchShot& shot, const std::vector<int>& near, bool overshoot,
                      const Vec3& reflectance);
    void giveFar(const Vec3& sent, double scale);
    // Captures and measures a whole shot, and with overshooting makes the
    // node's triangles owe what it sends beyond their light; returns that.
    Vec3 shootWhole(const Capture& capture, const PlannedShot& planned, const PatchShot& shot,
                    bool overshoot);
    // The factor k on the far receivers' shares (see above).
    double conservingScale(double shooterArea, double localUsed) const;
    // A local shot: gives to its receivers, resets what its capture touched;
    // returns the form factor it used, times its receivers' areas.
    double giveLocal(const PlannedShot& planned, const PatchShot& shot, const Vec3& sent);
    // Adds sent x share x reflectance to one receiver, keeping the energy
    // sums up to date.
    void give(int j, const Vec3& sent, double share);
    // Takes debt from one triangle's unshot radiosity (overshooting).
    void owe(int j, const Vec3& debt);
    // min(F x A_shooter / A_receiver, 1), 0 for a receiver of no area.
    static double shareOf(const Triangle& t, double shooterArea);

    struct FarShare {
        int receiver = 0;
        double share = 0.0;
    };

    Scene& scene_;
    RefinementRule rule_;
    ScenePatches patches_;
    ReceiverIndex index_;
    std::vector<Receiver> receivers_;  // by scene-wide triangle number
    std::vector<int> objectBase_;      // scene-wide number of each object's first triangle
    std::vector<double> topEnergy_;    // by top-level patch
    std::vector<char> shotBefore_;     // by top-level patch: it has had a round
    std::vector<int> skipMark_;        // by scene-wide triangle number: == markStamp_ while skipped
    int markStamp_ = 0;
    double left_ = 0.0;
    int selected_ = -1;
    long long wholeShots_ = 0;
    long long localShots_ = 0;
    std::vector<PlannedShot> plan_;  // scratch of runRound
    std::vector<PatchShot> sent_;
    std::vector<int> zone_;
    std::vector<Box> wanted_;
    std::vector<FarShare> far_;  // the whole shot's far receivers with their shares
    double nearCentre_ = 0.0;    // form factor totals of the whole shot x A_shooter: near receivers,
    double farCentre_ = 0.0;     // far receivers,
    double seenCentre_ = 0.0;    // everything its hemicube showed
    Vec3 gathered_;              // overshooting: rho x sum of F x unshot over what it showed
};
