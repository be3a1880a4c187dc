// lumetra-mesh: turns a model made in a modelling tool into the renderer's
// inputs, one triangle file per object plus a scene.ini that names them.

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <string>
#include <vector>

#include "mesh/mesh_build.h"
#include "mesh/model_loader.h"
#include "mesh/scene_ini.h"
#include "mesh/triangle_file_writer.h"

namespace fs = std::filesystem;

namespace {

constexpr int kExitUsage = 1;
constexpr int kExitInput = 2;
constexpr int kExitOutput = 3;

const char* const kUsage = "usage: lumetra-mesh MODEL OUTDIR [--max-edge L] [--scale S] [--up x|y|z]\n";

void printHelp() {
    std::printf(
        "%s\n"
        "Reads MODEL (Wavefront OBJ with its .mtl, and the other formats the Open Asset\n"
        "Import Library reads: PLY, STL, glTF, ...) and writes the renderer's inputs into\n"
        "OUTDIR (created if missing):\n"
        "  NAME.tri    one triangle file per mesh, named after its node or mesh (letters,\n"
        "              digits, '-' and '_' only; _2, _3 ... for duplicates). Objects over\n"
        "              65535 triangles are split into NAME, NAME_part2, ...; more than 256\n"
        "              objects in all are refused.\n"
        "  scene.ini   settings, a camera framing the model, and one [object_i] section per\n"
        "              file (paths relative to OUTDIR).\n"
        "Polygons are triangulated keeping their corner order: a face is lit and seen from\n"
        "the side from which its corners run counter-clockwise.\n"
        "\n"
        "Materials: the diffuse colour (Kd) becomes the reflectance and the emissive colour\n"
        "(Ke) the emission, as integers round(255 * value). A reflectance above 1 is clamped\n"
        "to 255 with a warning; emission above 1 is kept (integers above 255 are brighter\n"
        "than white). A mesh without a material, or with one the file does not define, gets\n"
        "reflectance 191 (0.75 grey) and no emission.\n"
        "\n"
        "Options:\n"
        "  --max-edge L  subdivide every triangle until no edge is longer than L (in model\n"
        "                units after --scale). Shared edges are split at the same points on\n"
        "                both sides, so the mesh stays watertight. Default: no subdivision.\n"
        "  --scale S     multiply all coordinates by S (default 1).\n"
        "  --up AXIS     the model's up axis for the camera, x, y or z (default: the file's\n"
        "                own if it names one, else y).\n"
        "  --help        show this text.\n"
        "\n"
        "Exit codes: 0 success, 1 usage error, 2 the model cannot be read or converted,\n"
        "3 the output cannot be written.\n",
        kUsage);
}

int usageError(const std::string& message) {
    std::fprintf(stderr, "lumetra-mesh: %s\n%s", message.c_str(), kUsage);
    return kExitUsage;
}

// Parses a whole argument as a finite positive number.
bool parsePositive(const char* text, double& value) {
    errno = 0;
    char* end = nullptr;
    value = std::strtod(text, &end);
    return end != text && *end == '\0' && errno == 0 && std::isfinite(value) && value > 0.0;
}

struct Box {
    Vec3 min{std::numeric_limits<double>::infinity(), std::numeric_limits<double>::infinity(),
             std::numeric_limits<double>::infinity()};
    Vec3 max{-std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity(),
             -std::numeric_limits<double>::infinity()};
    void add(const Vec3& p) {
        min = {std::min(min.x, p.x), std::min(min.y, p.y), std::min(min.z, p.z)};
        max = {std::max(max.x, p.x), std::max(max.y, p.y), std::max(max.z, p.z)};
    }
};

// Writes one file through a temporary name, so a failed run never leaves a
// half-written file under the real name.
template <typename Writer>
bool writeFile(const fs::path& path, Writer write, std::string& error) {
    fs::path tmp = path;
    tmp += ".tmp";
    std::error_code ec;
    {
        std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
        if (!out) {
            error = std::strerror(errno);
            return false;
        }
        write(out);
        out.close();
        if (out.fail()) {
            error = "write failed (disk full?)";
            fs::remove(tmp, ec);
            return false;
        }
    }
    fs::rename(tmp, path, ec);
    if (ec) {
        error = ec.message();
        fs::remove(tmp, ec);
        return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> positional;
    double maxEdge = 0.0;
    double scale = 1.0;
    int upAxis = -1;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            printHelp();
            return 0;
        }
        if (arg == "--max-edge" || arg == "--scale" || arg == "--up") {
            if (i + 1 >= argc) return usageError(arg + " needs a value");
            const char* value = argv[++i];
            if (arg == "--up") {
                const std::string v = value;
                if (v != "x" && v != "y" && v != "z")
                    return usageError("--up takes x, y or z, not '" + v + "'");
                upAxis = v[0] - 'x';
            } else if (!parsePositive(value, arg == "--scale" ? scale : maxEdge)) {
                return usageError(arg + " takes a positive number, not '" + value + "'");
            }
        } else if (arg.size() > 1 && arg[0] == '-') {
            return usageError("unknown option '" + arg + "'");
        } else {
            positional.push_back(arg);
        }
    }
    if (positional.size() != 2) return usageError("expected a model file and an output folder");
    const std::string modelPath = positional[0];
    const fs::path outDir = positional[1];

    LoadedModel model;
    std::string error;
    if (!loadModel(modelPath, scale, model, error)) {
        std::fprintf(stderr, "lumetra-mesh: error: %s: %s\n", modelPath.c_str(), error.c_str());
        return kExitInput;
    }
    for (const std::string& w : model.warnings)
        std::fprintf(stderr, "lumetra-mesh: warning: %s: %s\n", modelPath.c_str(), w.c_str());

    std::vector<MeshObject> objects;
    if (!buildObjects(model.objects, maxEdge, objects, error)) {
        std::fprintf(stderr, "lumetra-mesh: error: %s: %s\n", modelPath.c_str(), error.c_str());
        return kExitInput;
    }

    Box box;
    std::size_t total = 0;
    double shortest = std::numeric_limits<double>::infinity();
    for (const MeshObject& o : objects) {
        total += o.triangles.size();
        for (const MeshTriangle& t : o.triangles) {
            for (int c = 0; c < 3; ++c) {
                box.add(t.corners[c]);
                shortest = std::min(shortest, (t.corners[(c + 1) % 3] - t.corners[c]).length());
            }
        }
    }
    // The renderer welds corners closer than 0.001 into one vertex.
    if (shortest < 0.01)
        std::fprintf(
            stderr,
            "lumetra-mesh: warning: %s: edges as short as %g: the renderer merges corners closer than "
            "0.001, consider --scale\n",
            modelPath.c_str(), shortest);

    std::error_code ec;
    fs::create_directories(outDir, ec);
    if (ec || !fs::is_directory(outDir)) {
        std::fprintf(stderr, "lumetra-mesh: error: cannot create output folder %s: %s\n", outDir.c_str(),
                     ec ? ec.message().c_str() : "not a folder");
        return kExitOutput;
    }

    std::vector<IniObject> entries;
    for (const MeshObject& o : objects) {
        const std::string file = o.name + ".tri";
        if (!writeFile(
                outDir / file, [&](std::ostream& out) { writeTriangleFile(out, o); }, error)) {
            std::fprintf(stderr, "lumetra-mesh: error: cannot write %s: %s\n", (outDir / file).c_str(),
                         error.c_str());
            return kExitOutput;
        }
        entries.push_back(IniObject{file, o.triangles.size(), o.material});
    }

    IniSettings settings;
    IniCamera camera;
    frameBox(box.min, box.max, upAxis >= 0 ? upAxis : (model.upAxis >= 0 ? model.upAxis : 1), camera,
             settings);
    std::string comment = "Written by lumetra-mesh from " + modelPath;
    if (maxEdge > 0.0) comment += " with --max-edge " + formatNumber(maxEdge);
    if (scale != 1.0) comment += " --scale " + formatNumber(scale);
    const fs::path iniPath = outDir / "scene.ini";
    if (!writeFile(
            iniPath, [&](std::ostream& out) { writeSceneIni(out, comment, settings, camera, entries); },
            error)) {
        std::fprintf(stderr, "lumetra-mesh: error: cannot write %s: %s\n", iniPath.c_str(), error.c_str());
        return kExitOutput;
    }
    std::printf("%s: %zu objects, %zu triangles -> %s\n", modelPath.c_str(), objects.size(), total,
                iniPath.c_str());
    return 0;
}
