// lumetra-mesh: turns a model made in a modelling tool into the renderer's
// inputs, one triangle file per object plus a scene.ini that names them.

#include <cmath>
#include <cstdio>
#include <limits>
#include <new>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "mesh/colour_rules.h"
#include "mesh/isolated_run.h"
#include "mesh/mesh_build.h"
#include "mesh/mesh_options.h"
#include "mesh/mesh_output.h"
#include "mesh/model_loader.h"
#include "scene/scene.h"
#include "scene/triangle_file_writer.h"

namespace {

constexpr int kExitInput = 2;
constexpr int kExitOutput = 3;

struct Box {
    Vec3 min{std::numeric_limits<double>::infinity(), std::numeric_limits<double>::infinity(),
             std::numeric_limits<double>::infinity()};
    Vec3 max{-std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity(),
             -std::numeric_limits<double>::infinity()};
    void add(const Vec3& p) {
        min = {std::min(min.x, p.x), std::min(min.y, p.y), std::min(min.z, p.z)};
        max = {std::max(max.x, p.x), std::max(max.y, p.y), std::max(max.z, p.z)};
    }
    Vec3 centre() const { return {(min.x + max.x) * 0.5, (min.y + max.y) * 0.5, (min.z + max.z) * 0.5}; }
};

// Names for a message: 'a', 'b', ... at most 30 of them.
std::string listNames(const std::vector<std::string>& names) {
    std::string out;
    const std::size_t shown = std::min<std::size_t>(names.size(), 30);
    for (std::size_t i = 0; i < shown; ++i) out += (i > 0 ? ", '" : "'") + names[i] + "'";
    if (names.size() > shown) out += " and " + std::to_string(names.size() - shown) + " more";
    return out;
}

std::string joined(const std::vector<std::string>& items, const char* separator) {
    std::string out;
    for (std::size_t i = 0; i < items.size(); ++i) out += (i > 0 ? separator : "") + items[i];
    return out;
}

std::string fixed(double v, int digits) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.*f", digits, v);
    return buf;
}

// The options as they would be typed again, for the header of scene.ini.
std::string optionText(const MeshOptions& o) {
    std::string s;
    if (o.maxEdge > 0.0) s += " --max-edge " + formatNumber(o.maxEdge);
    if (o.scale != 1.0) s += " --scale " + formatNumber(o.scale);
    if (o.upAxis >= 0) s += std::string(" --up ") + static_cast<char>('x' + o.upAxis);
    auto rules = [&s](const char* name, const std::vector<ColourRule>& list) {
        for (const ColourRule& r : list)
            s += std::string(" ") + name + " '" + r.pattern + "=" + std::to_string(r.rgb[0]) + "," +
                 std::to_string(r.rgb[1]) + "," + std::to_string(r.rgb[2]) + "'";
    };
    rules("--emit", o.emit);
    rules("--reflect", o.reflect);
    if (o.camera) {
        const Vec3 &e = o.camera->eye, &l = o.camera->lookAt;
        s += " --camera " + formatNumber(e.x) + "," + formatNumber(e.y) + "," + formatNumber(e.z) + ":" +
             formatNumber(l.x) + "," + formatNumber(l.y) + "," + formatNumber(l.z);
    }
    return s;
}

void reportBuild(const std::string& path, const MeshOptions& options, const BuildReport& report,
                 std::size_t objectCount) {
    const char* file = path.c_str();
    if (report.mergedByMaterial)
        std::fprintf(stderr,
                     "lumetra-mesh: %s: %zu meshes, more than the renderer's %d objects: merged by material "
                     "into %zu objects\n",
                     file, report.meshes, kMaxObjects, objectCount);
    if (!report.subdivided) return;
    const SubdivisionReport& s = report.subdivision;
    if (s.dropped > 0)
        std::fprintf(stderr,
                     "lumetra-mesh: warning: %s: %zu face(s) narrower than the weld tolerance %g left out "
                     "before subdividing, of area %.3g in all (the renderer would merge their corners)\n",
                     file, s.dropped, kWeldTolerance, s.droppedArea);
    if (s.keptLong > 0)
        std::fprintf(
            stderr,
            "lumetra-mesh: warning: %s: %zu triangle(s) in or next to faces only a few times wider "
            "than the weld tolerance %g stay longer than --max-edge %s (up to %s): cutting them would "
            "leave pieces narrower than that\n",
            file, s.keptLong, kWeldTolerance, formatNumber(options.maxEdge).c_str(),
            fixed(s.longestKept, 3).c_str());
    std::printf("%s: subdivided %zu triangles into %zu; smallest angle %s degrees (of the faces: %s)\n", file,
                s.trianglesBefore, s.trianglesAfter, fixed(s.smallestAngleAfter, 2).c_str(),
                fixed(s.smallestAngleBefore, 2).c_str());
}

// The camera: given by hand, the model's own, or one that frames the model.
void chooseCamera(const MeshOptions& options, const LoadedModel& model, const Box& box, IniCamera& camera,
                  IniSettings& settings) {
    const int upAxis = options.upAxis >= 0 ? options.upAxis : (model.upAxis >= 0 ? model.upAxis : 1);
    const Vec3 up{upAxis == 0 ? 1.0 : 0.0, upAxis == 1 ? 1.0 : 0.0, upAxis == 2 ? 1.0 : 0.0};
    if (options.camera) {
        aimCamera(options.camera->eye, options.camera->lookAt, up, box.min, box.max, camera, settings);
    } else if (model.camera) {
        // Look at the point of the view line nearest the model's centre.
        const ModelCamera& c = *model.camera;
        double distance = (box.centre() - c.position).dot(c.direction);
        if (!(distance > 0.0)) distance = std::max((box.max - box.min).length() * 0.5, 1.0);
        const Vec3 target{c.position.x + c.direction.x * distance, c.position.y + c.direction.y * distance,
                          c.position.z + c.direction.z * distance};
        aimCamera(c.position, target, c.up, box.min, box.max, camera, settings);
        camera.fov = c.fov;
    } else {
        frameBox(box.min, box.max, upAxis, camera, settings);
    }
}

int fail(const std::string& path, const std::string& message, int code) {
    std::fprintf(stderr, "lumetra-mesh: error: %s: %s\n", path.c_str(), message.c_str());
    return code;
}

int convert(const MeshOptions& options) {
    const std::string& path = options.model;
    LoadedModel model;
    std::string error;
    if (!loadModel(path, options.scale, model, error)) return fail(path, error, kExitInput);
    for (const std::string& w : model.warnings)
        std::fprintf(stderr, "lumetra-mesh: warning: %s: %s\n", path.c_str(), w.c_str());

    const std::vector<std::string> unmatched = applyColourRules(model, options.emit, options.reflect);
    if (!unmatched.empty()) {
        std::fprintf(stderr, "lumetra-mesh: %s: %s match%s no material; the model's materials are %s\n",
                     path.c_str(), joined(unmatched, ", ").c_str(), unmatched.size() == 1 ? "es" : "",
                     listNames(usedMaterialNames(model)).c_str());
        return kExitUsageError;
    }
    if (!hasEmitter(model))
        std::fprintf(stderr,
                     "lumetra-mesh: warning: %s: no material emits light, so the scene will stay dark: light "
                     "it with --emit 'PATTERN=R,G,B' (e.g. --emit 'lamp*=2000,2000,2000'); the model's "
                     "materials are %s\n",
                     path.c_str(), listNames(usedMaterialNames(model)).c_str());

    std::vector<MeshObject> objects;
    BuildReport report;
    if (!buildObjects(std::move(model.objects), model.materials, options.maxEdge, objects, report, error))
        return fail(path, error, kExitInput);
    reportBuild(path, options, report, objects.size());

    Box box;
    std::size_t total = 0;
    double shortest = std::numeric_limits<double>::infinity();
    for (const MeshObject& o : objects) {
        total += o.triangles.size();
        for (const MeshTriangle& t : o.triangles) {
            for (std::size_t c = 0; c < 3; ++c) {
                box.add(t[c]);
                shortest = std::min(shortest, (t[(c + 1) % 3] - t[c]).length());
            }
        }
    }
    if (shortest < 0.01)
        std::fprintf(
            stderr,
            "lumetra-mesh: warning: %s: edges as short as %g: the renderer merges corners closer than "
            "%g, consider --scale\n",
            path.c_str(), shortest, kWeldTolerance);

    IniSettings settings;
    settings.patchSize = options.maxEdge > 0.0 ? 2.0 * options.maxEdge : 0.0;
    IniCamera camera;
    chooseCamera(options, model, box, camera, settings);
    if (!options.camera && model.camera)
        std::printf("%s: camera '%s' from the model\n", path.c_str(), model.camera->name.c_str());

    std::string iniPath;
    if (!writeScene(options.outDir, objects, "Written by lumetra-mesh from " + path + optionText(options),
                    settings, camera, iniPath, error)) {
        std::fprintf(stderr, "lumetra-mesh: error: %s\n", error.c_str());
        return kExitOutput;
    }
    std::printf("%s: %zu objects, %zu triangles -> %s\n", path.c_str(), objects.size(), total,
                iniPath.c_str());
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    MeshOptions options;
    const int code = parseMeshOptions(argc, argv, options);
    if (code >= 0) return code;
    return runIsolated("lumetra-mesh", options.model, [&options]() {
        try {
            return convert(options);
        } catch (const std::bad_alloc&) {
            return fail(options.model, "out of memory while converting the model", kExitInput);
        } catch (const std::exception& e) {
            return fail(options.model, e.what(), kExitInput);
        }
    });
}
