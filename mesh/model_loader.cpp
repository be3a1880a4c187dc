#include "mesh/model_loader.h"

#include <assimp/material.h>
#include <assimp/postprocess.h>
#include <assimp/scene.h>

#include <algorithm>
#include <assimp/DefaultLogger.hpp>
#include <assimp/Importer.hpp>
#include <assimp/LogStream.hpp>
#include <cctype>
#include <charconv>
#include <cmath>
#include <filesystem>
#include <new>
#include <set>

#include "mesh/import_limits.h"
#include "mesh/material_map.h"

namespace {

// Collects the library's warnings and errors while one file loads.
class CollectingStream : public Assimp::LogStream {
  public:
    void write(const char* message) override {
        std::string m(message);
        while (!m.empty() && (m.back() == '\n' || m.back() == '\r')) m.pop_back();
        // Drop the "Warn,  T0: " / "Error, T0: " prefix.
        const std::size_t t = m.find(" T");
        const std::size_t colon = m.find(": ");
        if (t != std::string::npos && colon != std::string::npos && t < colon && colon < 16)
            m.erase(0, colon + 2);
        messages.push_back(m);
    }
    std::vector<std::string> messages;
};

// Attaches a CollectingStream to the library's global logger for the
// lifetime of this object.
class LogCapture {
  public:
    LogCapture() {
        Assimp::DefaultLogger::create(nullptr, Assimp::Logger::NORMAL, 0);
        Assimp::DefaultLogger::get()->attachStream(&stream_, kSeverity);
    }
    ~LogCapture() {
        // Detaching hands the stream back to us, so the logger never deletes it.
        Assimp::DefaultLogger::get()->detachStream(&stream_, kSeverity);
        Assimp::DefaultLogger::kill();
    }
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;
    const std::vector<std::string>& messages() const { return stream_.messages; }

  private:
    static constexpr unsigned kSeverity = Assimp::Logger::Warn | Assimp::Logger::Err;
    CollectingStream stream_;
};

// Materials that a file names (usemtl) but never defines: the OBJ reader
// makes an empty stand-in and only says so in its log.
std::set<std::string> undefinedMaterials(const std::vector<std::string>& messages) {
    static const std::string marker = "failed to locate material ";
    std::set<std::string> names;
    for (const std::string& m : messages) {
        const std::size_t at = m.find(marker);
        if (at == std::string::npos) continue;
        const std::size_t from = at + marker.size();
        const std::size_t comma = m.find(", creating new material", from);
        names.insert(m.substr(from, comma == std::string::npos ? std::string::npos : comma - from));
    }
    return names;
}

// The library holds coordinates as floats, so 548.7 arrives as
// 548.70001220703125. The shortest decimal that names the float is what the
// file said; reading it as a double gives back the written value.
double writtenValue(float f) {
    char buf[32];
    const auto res = std::to_chars(buf, buf + sizeof buf, f);
    double d = static_cast<double>(f);
    std::from_chars(buf, res.ptr, d);
    return d;
}

// Node transform applied in double precision; an identity transform (the
// usual case for OBJ) leaves the written values exactly as they are.
Vec3 transform(const aiMatrix4x4& m, const aiVector3D& v) {
    const double x = writtenValue(v.x), y = writtenValue(v.y), z = writtenValue(v.z);
    auto row = [&](float a, float b, float c, float d) {
        return static_cast<double>(a) * x + static_cast<double>(b) * y + static_cast<double>(c) * z +
               static_cast<double>(d);
    };
    return {row(m.a1, m.a2, m.a3, m.a4), row(m.b1, m.b2, m.b3, m.b4), row(m.c1, m.c2, m.c3, m.c4)};
}

struct Walker {
    const aiScene* scene = nullptr;
    double scale = 1.0;
    std::vector<bool> withoutMaterial;  // per scene material: the library's stand-in
    std::size_t defaulted = 0;          // meshes that got the default material
    LoadedModel* model = nullptr;
    std::string fallbackName;  // the file's name without folder and extension
    std::size_t degenerate = 0;
    std::size_t otherPrimitives = 0;
    bool nonFinite = false;

    void node(const aiNode* n, const aiMatrix4x4& parent) {
        const aiMatrix4x4 world = parent * n->mTransformation;
        // A mirroring transform turns counter-clockwise into clockwise, so
        // the corners are reversed to keep each face's front side.
        const bool mirrored = world.Determinant() < 0.0f;
        const std::string nodeName = n->mName.C_Str();
        for (unsigned i = 0; i < n->mNumMeshes; ++i) {
            const aiMesh* mesh = scene->mMeshes[n->mMeshes[i]];
            std::string name = nodeName;
            if (name.empty() || n->mNumMeshes > 1 || n == scene->mRootNode) {
                name = mesh->mName.length > 0 ? mesh->mName.C_Str() : nodeName;
                if (n->mNumMeshes > 1 && mesh->mMaterialIndex < scene->mNumMaterials) {
                    aiString matName;
                    scene->mMaterials[mesh->mMaterialIndex]->Get(AI_MATKEY_NAME, matName);
                    if (matName.length > 0) name += std::string("_") + matName.C_Str();
                }
            }
            // "defaultobject" is what the OBJ reader calls faces before any o/g line.
            if (name.empty() || name == "defaultobject") name = fallbackName;
            addMesh(mesh, world, mirrored, name);
        }
        for (unsigned c = 0; c < n->mNumChildren; ++c) node(n->mChildren[c], world);
    }

    void addMesh(const aiMesh* mesh, const aiMatrix4x4& world, bool mirrored, const std::string& name) {
        // The validation step has checked that the index names a material.
        MeshObject object;
        object.name = name;
        object.materialIndex = mesh->mMaterialIndex;
        object.material = model->materials[object.materialIndex].colours;
        for (unsigned f = 0; f < mesh->mNumFaces; ++f) {
            const aiFace& face = mesh->mFaces[f];
            if (face.mNumIndices != 3) {
                ++otherPrimitives;
                continue;
            }
            MeshTriangle t;
            for (std::size_t c = 0; c < 3; ++c) {
                const unsigned idx = face.mIndices[mirrored ? 2 - c : c];
                const Vec3 p = transform(world, mesh->mVertices[idx]);
                t[c] = {p.x * scale, p.y * scale, p.z * scale};
                if (!std::isfinite(t[c].x) || !std::isfinite(t[c].y) || !std::isfinite(t[c].z))
                    nonFinite = true;
            }
            // A face without area has no normal: the renderer could not
            // light or show it, so it is left out.
            const Vec3 n = (t[1] - t[0]).cross(t[2] - t[0]);
            if (!(n.length() > 0.0)) {
                ++degenerate;
                continue;
            }
            object.triangles.push_back(t);
        }
        if (object.triangles.empty()) return;
        if (withoutMaterial[mesh->mMaterialIndex]) ++defaulted;
        model->objects.push_back(std::move(object));
    }
};

std::array<double, 3> colour(const aiMaterial* m, const char* key, unsigned type, unsigned index,
                             bool& found) {
    aiColor3D c(0.0f, 0.0f, 0.0f);
    found = m->Get(key, type, index, c) == AI_SUCCESS;
    return {static_cast<double>(c.r), static_cast<double>(c.g), static_cast<double>(c.b)};
}

// The materials of the scene, by index, with the colours the renderer gets.
void readMaterials(const aiScene* scene, const std::set<std::string>& undefined, Walker& walker,
                   LoadedModel& model) {
    for (unsigned i = 0; i < scene->mNumMaterials; ++i) {
        const aiMaterial* m = scene->mMaterials[i];
        aiString aname;
        m->Get(AI_MATKEY_NAME, aname);
        const std::string name = aname.C_Str();
        bool hasDiffuse = false, hasEmissive = false;
        const std::array<double, 3> diffuse = colour(m, AI_MATKEY_COLOR_DIFFUSE, hasDiffuse);
        std::array<double, 3> emissive = colour(m, AI_MATKEY_COLOR_EMISSIVE, hasEmissive);
#ifdef AI_MATKEY_EMISSIVE_INTENSITY
        float intensity = 1.0f;
        if (m->Get(AI_MATKEY_EMISSIVE_INTENSITY, intensity) == AI_SUCCESS && std::isfinite(intensity))
            for (double& e : emissive) e *= static_cast<double>(intensity);
#endif
        MeshMaterial colours;
        if (name == AI_DEFAULT_MATERIAL_NAME || !hasDiffuse || undefined.count(name) != 0) {
            if (name != AI_DEFAULT_MATERIAL_NAME)
                model.warnings.push_back("material '" + name +
                                         "' is not defined in the file; using the default 0.75 grey");
            colours = defaultMaterial();
            if (hasEmissive && undefined.count(name) == 0)
                colours.emission = mapMaterial(name, diffuse, emissive, model.warnings).emission;
        } else {
            colours = mapMaterial(name, diffuse, emissive, model.warnings);
        }
        model.materials.push_back(ModelMaterial{name, colours});
        walker.withoutMaterial.push_back(name == AI_DEFAULT_MATERIAL_NAME);
    }
}

Vec3 toVec3(const aiVector3D& v) {
    return {static_cast<double>(v.x), static_cast<double>(v.y), static_cast<double>(v.z)};
}

// Applies the linear part of m (rotation and scale), or all of it.
Vec3 apply(const aiMatrix4x4& m, const Vec3& v, bool translate) {
    auto row = [&](float a, float b, float c, float d) {
        return static_cast<double>(a) * v.x + static_cast<double>(b) * v.y + static_cast<double>(c) * v.z +
               (translate ? static_cast<double>(d) : 0.0);
    };
    return {row(m.a1, m.a2, m.a3, m.a4), row(m.b1, m.b2, m.b3, m.b4), row(m.c1, m.c2, m.c3, m.c4)};
}

bool finiteVec(const Vec3& v) {
    return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z);
}

// The first camera of the scene placed by its node, or nothing (with a
// warning) when it is not usable. A glTF camera sits at its node's origin by
// definition; the library also copies the node's translation into the
// camera's own position, which must not be applied twice.
std::optional<ModelCamera> firstCamera(const aiScene* scene, double scale, bool gltf,
                                       std::vector<std::string>& warnings) {
    if (scene->mNumCameras == 0 || scene->mCameras[0] == nullptr) return std::nullopt;
    const aiCamera& cam = *scene->mCameras[0];
    aiMatrix4x4 world;
    for (const aiNode* n = scene->mRootNode->FindNode(cam.mName); n != nullptr; n = n->mParent)
        world = n->mTransformation * world;
    ModelCamera out;
    out.name = cam.mName.C_Str();
    const Vec3 local = gltf ? Vec3() : toVec3(cam.mPosition);
    const Vec3 p = apply(world, local, true);
    out.position = {p.x * scale, p.y * scale, p.z * scale};
    out.direction = apply(world, toVec3(cam.mLookAt), false);
    out.up = apply(world, toVec3(cam.mUp), false);
    const double dirLength = out.direction.length();
    if (!finiteVec(out.position) || !(dirLength > 0.0) || !std::isfinite(dirLength)) {
        warnings.push_back("camera '" + out.name +
                           "' has no usable position or direction; framing the model instead");
        return std::nullopt;
    }
    out.direction *= 1.0 / dirLength;
    // Up without its part along the view direction; any axis when nothing is left.
    Vec3 up = out.up;
    const double along = up.dot(out.direction);
    up = up - Vec3{out.direction.x * along, out.direction.y * along, out.direction.z * along};
    if (!(up.length() > 1e-6) || !finiteVec(up)) {
        up = std::fabs(out.direction.z) < 0.9 ? Vec3{0, 0, 1} : Vec3{0, 1, 0};
        const double a = up.dot(out.direction);
        up = up - Vec3{out.direction.x * a, out.direction.y * a, out.direction.z * a};
    }
    up *= 1.0 / up.length();
    out.up = up;
    // The library gives the full horizontal angle (for glTF the vertical
    // angle times the aspect ratio) and the aspect ratio when the file has one.
    const double h = static_cast<double>(cam.mHorizontalFOV), aspect = static_cast<double>(cam.mAspect);
    double vertical = h;
    if (aspect > 0.0) vertical = gltf ? h / aspect : 2.0 * std::atan(std::tan(h / 2.0) / aspect);
    const double degrees = vertical * 180.0 / 3.14159265358979323846;
    if (cam.mOrthographicWidth > 0.0f || !(degrees >= 1.0 && degrees <= 170.0)) {
        warnings.push_back("camera '" + out.name + "' has no usable field of view; using 45 degrees");
    } else {
        out.fov = degrees;
    }
    return out;
}

// The library's message on one line, in the user's terms where it is only
// an allocation failure.
std::string importError(std::string message) {
    if (message.find("bad_alloc") != std::string::npos ||
        message.find("bad_array_new_length") != std::string::npos)
        return "the file asks for more memory than the " + std::to_string(kImportAddressSpace >> 30) +
               " GiB allowed for reading a model (an absurd element count: the file is probably damaged)";
    // Some readers quote the rest of the file: keep one short printable line.
    constexpr std::size_t kLongest = 200;
    std::string line;
    for (char c : message) {
        const auto u = static_cast<unsigned char>(c);
        const char shown = (u < 0x20 || u == 0x7f) ? ' ' : c;
        if (shown == ' ' && (line.empty() || line.back() == ' ')) continue;
        line += shown;
        if (line.size() > kLongest) {
            line += "...";
            break;
        }
    }
    while (!line.empty() && line.back() == ' ') line.pop_back();
    return line.empty() ? "the file could not be read as a model" : line;
}

bool isGltf(const std::string& path) {
    std::string ext = std::filesystem::path(path).extension().string();
    for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return ext == ".gltf" || ext == ".glb";
}

}  // namespace

bool loadModel(const std::string& path, double scale, LoadedModel& model, std::string& error) {
    model = LoadedModel{};
    LogCapture log;
    Assimp::Importer importer;
    const aiScene* scene = nullptr;
    {
        std::error_code ec;
        const std::uintmax_t bytes = std::filesystem::file_size(path, ec);
        const ImportLimits limits(importCpuSeconds(ec ? 0 : bytes));
        try {
            scene = importer.ReadFile(path, aiProcess_ValidateDataStructure | aiProcess_Triangulate |
                                                aiProcess_JoinIdenticalVertices | aiProcess_SortByPType);
        } catch (const std::exception& e) {
            error = importError(e.what());
            return false;
        }
    }
    if (scene == nullptr || scene->mRootNode == nullptr) {
        error = importError(importer.GetErrorString());
        return false;
    }
    if ((scene->mFlags & AI_SCENE_FLAGS_INCOMPLETE) != 0) {
        error = "the file holds no complete scene (no meshes?)";
        return false;
    }
    // The library's messages, except the ones about undefined materials,
    // which are reported below in the user's terms.
    for (const std::string& m : log.messages())
        if (m.find("failed to locate material ") == std::string::npos) model.warnings.push_back(m);

    Walker walker;
    walker.scene = scene;
    walker.scale = scale;
    walker.model = &model;
    walker.fallbackName = std::filesystem::path(path).stem().string();
    readMaterials(scene, undefinedMaterials(log.messages()), walker, model);
    walker.node(scene->mRootNode, aiMatrix4x4());
    if (walker.nonFinite) {
        error =
            "a vertex coordinate is not a finite number (the importer holds single-precision floats, up to "
            "about 3.4e38)";
        return false;
    }
    if (model.objects.empty()) {
        error = walker.degenerate > 0 ? "the file holds no triangles with an area"
                                      : "the file holds no triangles";
        return false;
    }
    if (walker.defaulted > 0)
        model.warnings.push_back(std::to_string(walker.defaulted) +
                                 " mesh(es) without a material: using the default 0.75 grey");
    if (walker.degenerate > 0)
        model.warnings.push_back(std::to_string(walker.degenerate) + " triangle(s) without area left out");
    if (walker.otherPrimitives > 0)
        model.warnings.push_back(std::to_string(walker.otherPrimitives) +
                                 " point or line primitive(s) ignored");

    if (scene->mMetaData != nullptr) {
        int axis = -1;
        if (scene->mMetaData->Get("UpAxis", axis) && axis >= 0 && axis <= 2) model.upAxis = axis;
    }
    model.camera = firstCamera(scene, scale, isGltf(path), model.warnings);
    return true;
}
