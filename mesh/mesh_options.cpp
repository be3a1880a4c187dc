#include "mesh/mesh_options.h"

#include <assimp/version.h>

#include <cerrno>
#include <cmath>
#include <cstdlib>

#include "app/command_line.h"

namespace {

const char* const kFooter = R"(Reads MODEL (Wavefront OBJ with its .mtl, and the other formats the Open Asset
Import Library reads: PLY, STL, glTF, FBX, Collada, ...) and writes the renderer's
inputs into OUTDIR (created if missing):
  NAME.tri    one triangle file per mesh, named after its node or mesh (letters,
              digits, '-' and '_' only; _2, _3 ... for duplicates). A model of more
              than 256 meshes gets one file per material instead, its meshes
              merged. Objects over 65535 triangles are split into NAME,
              NAME_part2, ...; more than 256 objects in all are refused.
  scene.ini   settings (stop at 1 % unshot light, overshooting, 4 shooters per
              step, ambient term, sRGB display), a camera, and one [object_i]
              section per file (paths relative to OUTDIR).
Polygons are triangulated keeping their corner order: a face is lit and seen from
the side from which its corners run counter-clockwise.

Materials: the diffuse colour (Kd) becomes the reflectance and the emissive colour
(Ke) the emission, as integers round(255 * value). A reflectance above 1 is clamped
to 255 with a warning; emission above 1 is kept (integers above 255 are brighter
than white). A mesh without a material, or with one the file does not define, gets
reflectance 191 (0.75 grey) and no emission. --emit and --reflect override colours
by material name: PATTERN is a shell pattern (*, ?, [...]) matched against the
whole name, ignoring case; R,G,B are whole numbers on the 0..255 scale (emission
may exceed 255). A pattern that matches no material is an error that lists the
model's materials.

Camera: the model's first camera if it has one (glTF, FBX, Collada, Blender),
else one outside the model that frames it, looking horizontally; --camera sets it
by hand, in the coordinates of the written files (after --scale).

Subdivision (--max-edge L, in model units after --scale) cuts each triangle from
the middle of its longest edge until no edge is longer than L, so pieces keep at
least half the smallest angle of their face; shared edges are cut at the same
points on both sides, also between objects. Faces narrower than the renderer's
weld tolerance (0.001) are left out first, and no piece is cut narrower than
that. scene.ini then gets patch_size = 2 L.

Exit codes: 0 success, 1 usage error, 2 the model cannot be read or converted,
3 the output cannot be written.)";

// A check that the value is a finite number above 0.
CLI::Validator aboveZero(const std::string& need) {
    return CLI::Validator(
        [need](std::string& text) -> std::string {
            errno = 0;
            char* end = nullptr;
            const double v = std::strtod(text.c_str(), &end);
            if (end == text.c_str() || *end != '\0' || errno != 0 || !std::isfinite(v) || !(v > 0.0))
                return "needs " + need + ", not '" + text + "'";
            return {};
        },
        "");
}

CLI::Validator colourRule(long maxValue) {
    return CLI::Validator(
        [maxValue](std::string& text) -> std::string {
            ColourRule rule;
            std::string error;
            return parseColourRule(text, maxValue, rule, error) ? std::string() : error;
        },
        "");
}

// Parses a comma-separated list of three finite numbers.
bool parsePoint(const std::string& text, Vec3& p) {
    double v[3];
    const char* s = text.c_str();
    for (int i = 0; i < 3; ++i) {
        errno = 0;
        char* end = nullptr;
        v[i] = std::strtod(s, &end);
        if (end == s || errno != 0 || !std::isfinite(v[i])) return false;
        if (*end != (i < 2 ? ',' : '\0')) return false;
        s = end + 1;
    }
    p = {v[0], v[1], v[2]};
    return true;
}

std::vector<ColourRule> toRules(const std::vector<std::string>& texts, long maxValue) {
    std::vector<ColourRule> rules;
    for (const std::string& t : texts) {
        ColourRule rule;
        std::string unused;
        parseColourRule(t, maxValue, rule, unused);  // checked while parsing
        rules.push_back(rule);
    }
    return rules;
}

}  // namespace

std::string meshVersionText() {
    return versionLine("lumetra-mesh") +
           "\nOpen Asset Import Library: " + std::to_string(aiGetVersionMajor()) + "." +
           std::to_string(aiGetVersionMinor()) + "." + std::to_string(aiGetVersionPatch());
}

bool parseManualCamera(const std::string& text, ManualCamera& camera, std::string& error) {
    const std::size_t colon = text.find(':');
    if (colon == std::string::npos || !parsePoint(text.substr(0, colon), camera.eye) ||
        !parsePoint(text.substr(colon + 1), camera.lookAt)) {
        error = "'" + text + "' is not x,y,z:lx,ly,lz (eye, then the point looked at)";
        return false;
    }
    if (!((camera.lookAt - camera.eye).length() > 0.0)) {
        error = "'" + text + "': the eye and the point looked at must differ";
        return false;
    }
    return true;
}

int parseMeshOptions(int argc, const char* const* argv, MeshOptions& options) {
    CLI::App app("", "lumetra-mesh");
    describeTool(app, meshVersionText, "Usage: lumetra-mesh MODEL OUTDIR [options]");
    app.footer(kFooter);
    app.add_option("MODEL", options.model, "the model file")->required();
    app.add_option("OUTDIR", options.outDir, "the folder to write into, made if missing")->required();
    app.add_option("--max-edge", options.maxEdge,
                   "subdivide until no edge is longer than L (default: no subdivision)")
        ->type_name("L")
        ->check(aboveZero("a length above 0"));
    app.add_option("--scale", options.scale, "multiply all coordinates by S (default 1)")
        ->type_name("S")
        ->check(aboveZero("a factor above 0"));
    std::string up;
    app.add_option("--up", up, "the model's up axis (default: the file's own, else y)")
        ->type_name("AXIS")
        ->check(CLI::IsMember({"x", "y", "z"}));
    std::vector<std::string> emit, reflect;
    app.add_option("--emit", emit, "materials matching PATTERN emit R,G,B (repeatable)")
        ->type_name("PATTERN=R,G,B")
        ->allow_extra_args(false)
        ->check(colourRule(kMaxEmissionValue));
    app.add_option("--reflect", reflect, "materials matching PATTERN reflect R,G,B (repeatable)")
        ->type_name("PATTERN=R,G,B")
        ->allow_extra_args(false)
        ->check(colourRule(255));
    std::string camera;
    app.add_option("--camera", camera, "camera at x,y,z looking at lx,ly,lz")
        ->type_name("x,y,z:lx,ly,lz")
        ->check(CLI::Validator(
            [](std::string& text) -> std::string {
                ManualCamera c;
                std::string error;
                return parseManualCamera(text, c, error) ? std::string() : error;
            },
            ""));
    const int code = parseToolArguments(app, argc, argv);
    if (code >= 0) return code;
    if (!up.empty()) options.upAxis = up[0] - 'x';
    options.emit = toRules(emit, kMaxEmissionValue);
    options.reflect = toRules(reflect, 255);
    if (!camera.empty()) {
        ManualCamera c;
        std::string unused;
        parseManualCamera(camera, c, unused);
        options.camera = c;
    }
    return -1;
}
