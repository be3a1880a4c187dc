#include "radiosity/patch_shooters.h"

#include <algorithm>
#include <cmath>

#include "radiosity/receiver_index.h"
#include "scene/scene.h"

namespace {

double absSum(const Vec3& v) {
    return (std::fabs(v.x) + std::fabs(v.z)) + std::fabs(v.y);
}

NearQuery nearQuery(const PatchNode& node, const RefinementRule& rule) {
    NearQuery q;
    q.centre = node.centroid;
    q.normal = node.normal;
    q.radius = node.radius;
    q.reach = node.radius / rule.ratio;
    q.tolerance = node.radius * rule.planeTolerance;
    return q;
}

bool emits(const SceneObject& object) {
    return object.emission.x != 0.0 || object.emission.y != 0.0 || object.emission.z != 0.0;
}

}  // namespace

ScenePatches buildScenePatches(const std::vector<SceneObject>& objects, double patchSize,
                               double cosThreshold) {
    ScenePatches patches;
    patches.trees.reserve(objects.size());
    patches.topOf.resize(objects.size());
    for (size_t o = 0; o < objects.size(); ++o) {
        patches.trees.push_back(buildPatchTree(objects[o], patchSize, cosThreshold));
        const PatchTree& tree = patches.trees.back();
        std::vector<int>& topOf = patches.topOf[o];
        topOf.assign(objects[o].triangles.size(), -1);
        for (int root : tree.roots) {
            const PatchNode& node = tree.nodes[static_cast<size_t>(root)];
            for (int k = node.first; k < node.first + node.count; ++k)
                topOf[static_cast<size_t>(tree.order[static_cast<size_t>(k)])] =
                    static_cast<int>(patches.tops.size());
            patches.tops.push_back({static_cast<int>(o), root});
        }
    }
    return patches;
}

double patchEnergy(const SceneObject& object, const PatchTree& tree, const PatchNode& node) {
    double e = 0.0;
    for (int k = node.first; k < node.first + node.count; ++k) {
        const Triangle& t = *object.triangles[static_cast<size_t>(tree.order[static_cast<size_t>(k)])];
        e += absSum(t.unshot) * t.area;
    }
    return e;
}

namespace {

// Plans the local shots that serve the receivers near a top-level patch:
// each node shoots them from its own centre unless one of them is near it
// too, in which case its children do, down to single triangles.
class RoundPlanner {
  public:
    RoundPlanner(const SceneObject& object, const PatchTree& tree, const ReceiverIndex& index,
                 const RefinementRule& rule, int objectIndex, std::vector<PlannedShot>& shots)
        : object_(object),
          tree_(tree),
          index_(index),
          rule_(rule),
          objectIndex_(objectIndex),
          shots_(shots) {}

    void refine(int n, const std::vector<int>& serve) {
        const PatchNode& node = tree_.nodes[static_cast<size_t>(n)];
        if (serve.empty() || !(patchEnergy(object_, tree_, node) > 0.0)) return;
        bool anyNear = false;
        if (node.childCount > 0) {
            const NearQuery q = nearQuery(node, rule_);
            for (int j : serve) {
                if (index_.isNear(j, q)) {
                    anyNear = true;
                    break;
                }
            }
        }
        if (!anyNear) {
            addLocal(n, serve);
            return;
        }
        for (int c = node.firstChild; c < node.firstChild + node.childCount; ++c) refine(c, serve);
    }

  private:
    void addLocal(int n, const std::vector<int>& receivers) {
        const Vec3 eye = eyeOf(n);
        PlannedShot shot;
        shot.node = {objectIndex_, n};
        shot.whole = false;
        shot.receivers = receivers;
        for (int j : receivers) shot.farPlane = std::max(shot.farPlane, index_.farthestCorner(j, eye));
        shot.farPlane *= 1.0 + 1e-6;
        shots_.push_back(std::move(shot));
    }

    Vec3 eyeOf(int n) const {
        const PatchNode& node = tree_.nodes[static_cast<size_t>(n)];
        if (node.count == 1) {
            const Triangle& t =
                *object_.triangles[static_cast<size_t>(tree_.order[static_cast<size_t>(node.first)])];
            return t.centroid;
        }
        return node.centroid;
    }

    const SceneObject& object_;
    const PatchTree& tree_;
    const ReceiverIndex& index_;
    const RefinementRule& rule_;
    int objectIndex_;
    std::vector<PlannedShot>& shots_;
};

}  // namespace

void planRound(const std::vector<SceneObject>& objects, const ScenePatches& patches,
               const ReceiverIndex& index, const PatchRef& top, const RefinementRule& rule, bool firstRound,
               std::vector<PlannedShot>& shots) {
    const SceneObject& object = objects[static_cast<size_t>(top.object)];
    const PatchTree& tree = patches.trees[static_cast<size_t>(top.object)];
    const PatchNode& root = tree.nodes[static_cast<size_t>(top.node)];
    if (rule.emittersPerTriangle && firstRound && emits(object)) {
        for (int k = root.first; k < root.first + root.count; ++k) {
            const int leaf = tree.leafOf[static_cast<size_t>(tree.order[static_cast<size_t>(k)])];
            const PatchNode& node = tree.nodes[static_cast<size_t>(leaf)];
            if (patchEnergy(object, tree, node) > 0.0) shots.push_back({{top.object, leaf}, true, {}, 0.0});
        }
        return;
    }
    if (!(patchEnergy(object, tree, root) > 0.0)) return;
    std::vector<int> near;
    if (root.childCount > 0 && rule.ratio > 0.0) {
        index.collectNear(nearQuery(root, rule), near);
        std::sort(near.begin(), near.end());
    }
    shots.push_back({top, true, near, 0.0});
    RoundPlanner planner(object, tree, index, rule, top.object, shots);
    for (int c = root.firstChild; c < root.firstChild + root.childCount && !near.empty(); ++c)
        planner.refine(c, near);
}

PatchShot shotOf(const SceneObject& object, const PatchTree& tree, const PatchNode& node) {
    PatchShot shot;
    if (node.count == 1) {
        const Triangle& t =
            *object.triangles[static_cast<size_t>(tree.order[static_cast<size_t>(node.first)])];
        shot.position = t.centroid;
        shot.normal = t.normal;
        shot.unshot = t.unshot;
        shot.area = t.area;
        return shot;
    }
    Vec3 weighted;
    double area = 0.0;
    for (int k = node.first; k < node.first + node.count; ++k) {
        const Triangle& t = *object.triangles[static_cast<size_t>(tree.order[static_cast<size_t>(k)])];
        if (t.area > 0.0) {
            weighted = weighted + Vec3(t.unshot.x * t.area, t.unshot.y * t.area, t.unshot.z * t.area);
            area += t.area;
        }
    }
    shot.position = node.centroid;
    shot.normal = node.normal;
    shot.area = area;
    if (area > 0.0) shot.unshot = Vec3(weighted.x / area, weighted.y / area, weighted.z / area);
    return shot;
}

void clearUnshot(SceneObject& object, const PatchTree& tree, const PatchNode& node) {
    for (int k = node.first; k < node.first + node.count; ++k)
        object.triangles[static_cast<size_t>(tree.order[static_cast<size_t>(k)])]->unshot = Vec3();
}
