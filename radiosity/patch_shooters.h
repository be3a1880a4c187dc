#pragma once

#include <vector>

#include "radiosity/face_culling.h"
#include "radiosity/form_factors.h"
#include "radiosity/patches.h"
#include "scene/vec3.h"

struct SceneObject;
class ReceiverIndex;

// Shooting from patches: the scene's patch trees, the energy a patch holds,
// which of its nodes shoot in one round, and taking a node's unshot light
// for its shot.

struct PatchRef {
    int object = 0;
    int node = 0;  // index into that object's PatchTree::nodes
};

struct ScenePatches {
    std::vector<PatchTree> trees;         // one per object, in object order
    std::vector<PatchRef> tops;           // every top-level patch: objects in order, roots in order
    std::vector<std::vector<int>> topOf;  // [object][triangle] -> index into tops

    const PatchNode& node(const PatchRef& r) const {
        return trees[static_cast<size_t>(r.object)].nodes[static_cast<size_t>(r.node)];
    }
};

ScenePatches buildScenePatches(const std::vector<SceneObject>& objects, double patchSize,
                               double cosThreshold);

// The energy a node holds: the sum over its triangles of
// (|red| + |green| + |blue|) of the unshot radiosity x area.
double patchEnergy(const SceneObject& object, const PatchTree& tree, const PatchNode& node);

// When a patch shoots near receivers from its sub-patches.
struct RefinementRule {
    // A receiver is near a node when it lies nearer to the node's centre
    // than radius / ratio; 0 never refines.
    double ratio = 0.5;
    // How far in front of the node's plane a receiver must reach to count,
    // as a share of the node's radius.
    double planeTolerance = 0.02;
    // A patch of an object that emits shoots each of its triangles alone, to
    // everything, in its first round (its own light; later rounds carry
    // reflected light only and shoot as any patch).
    bool emittersPerTriangle = true;
};

// One hemicube shot of a round. A whole shot captures the full hemicube and
// gives to every triangle except `receivers` (those its sub-patches serve);
// a local shot gives to `receivers` only, which all lie within farPlane of
// its centre, so its capture can stop there.
struct PlannedShot {
    PatchRef node;
    bool whole = true;
    std::vector<int> receivers;  // scene-wide triangle numbers
    double farPlane = 0.0;       // local shots only
};

// The shots of one round of the top-level patch `top`. Each receiver gets
// the patch's light exactly once from every triangle of it: from the
// highest node that is far from it (not near, see RefinementRule), and from
// single triangles when it is near all the way down, so receivers close to a
// patch see its parts from their own centres (soft contact shadows) while
// the rest see it from one centre. Nodes holding no energy are left out. The
// whole shot comes first; an emitting patch in its first round (firstRound)
// has whole shots only, one per triangle.
void planRound(const std::vector<SceneObject>& objects, const ScenePatches& patches,
               const ReceiverIndex& index, const PatchRef& top, const RefinementRule& rule, bool firstRound,
               std::vector<PlannedShot>& shots);

// What one node sends: its centre, normal and area, and the area-weighted
// mean of its triangles' unshot radiosity. A single triangle shoots from its
// own centroid and normal, exactly as triangle shooting does.
struct PatchShot {
    Vec3 position;
    Vec3 normal;
    Vec3 unshot;
    double area = 0.0;
};

PatchShot shotOf(const SceneObject& object, const PatchTree& tree, const PatchNode& node);

// Sets the unshot radiosity of the node's triangles to zero: their light now
// travels in the round's shots.
void clearUnshot(SceneObject& object, const PatchTree& tree, const PatchNode& node);

// A hemicube a round asks for: at `position` looking along `normal`, adding
// into `formFactors` (one entry per triangle, scene order). farPlane 0 keeps
// the capturer's own far plane; with `wanted`, a face whose view reaches none
// of those boxes may be left out (nothing the shot serves would show in it).
struct PatchCapture {
    Vec3 position;
    Vec3 normal;
    double farPlane = 0.0;
    const std::vector<Box>* wanted = nullptr;
    FormFactors* formFactors = nullptr;
};
