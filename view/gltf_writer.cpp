#include "view/gltf_writer.h"

#include <assimp/material.h>
#include <assimp/scene.h>
#include <rapidjson/document.h>
#include <rapidjson/prettywriter.h>
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include <algorithm>
#include <assimp/Exporter.hpp>
#include <assimp/IOStream.hpp>
#include <assimp/IOSystem.hpp>
#include <cctype>
#include <cstdint>
#include <cstring>
#include <map>
#include <memory>

namespace {

// ---- The library's scene. aiScene frees what its members point to with
// delete[] (and delete for nodes, meshes, materials), so they are made with
// new[] here and handed over at once.

aiMesh* makeMesh(const BakedMesh& baked, unsigned int materialIndex) {
    auto* mesh = new aiMesh();
    mesh->mName = aiString(baked.name);
    mesh->mMaterialIndex = materialIndex;
    mesh->mPrimitiveTypes = aiPrimitiveType_TRIANGLE;
    mesh->mNumVertices = static_cast<unsigned int>(baked.positions.size());
    mesh->mVertices = new aiVector3D[mesh->mNumVertices];
    mesh->mColors[0] = new aiColor4D[mesh->mNumVertices];
    for (unsigned int i = 0; i < mesh->mNumVertices; ++i) {
        const Float3& p = baked.positions[i];
        const Float3& c = baked.colours[i];
        mesh->mVertices[i] = aiVector3D(p[0], p[1], p[2]);
        mesh->mColors[0][i] = aiColor4D(c[0], c[1], c[2], 1.0f);
    }
    // The exporter always joins "identical" vertices, and the library (5.2)
    // compares positions, normals, texture coordinates and tangents but not
    // colours: corners on either side of a crease would get one colour. A
    // tangent that differs for every vertex keeps them apart (the glTF
    // exporter writes no tangents, so they never reach the file); the
    // vertices are already shared where that is right.
    mesh->mTangents = new aiVector3D[mesh->mNumVertices];
    mesh->mBitangents = new aiVector3D[mesh->mNumVertices];
    for (unsigned int i = 0; i < mesh->mNumVertices; ++i) {
        mesh->mTangents[i] = aiVector3D(static_cast<float>(i), 0.0f, 0.0f);  // exact below 2^24
        mesh->mBitangents[i] = aiVector3D(0.0f, 0.0f, 0.0f);
    }
    mesh->mNumFaces = static_cast<unsigned int>(baked.triangles.size());
    mesh->mFaces = new aiFace[mesh->mNumFaces];
    for (unsigned int f = 0; f < mesh->mNumFaces; ++f) {
        mesh->mFaces[f].mNumIndices = 3;
        mesh->mFaces[f].mIndices = new unsigned int[3];
        for (int k = 0; k < 3; ++k)
            mesh->mFaces[f].mIndices[k] = baked.triangles[f][static_cast<std::size_t>(k)];
    }
    return mesh;
}

aiMaterial* makeMaterial(const BakedMesh& baked) {
    auto* material = new aiMaterial();
    const aiString name(baked.name);
    material->AddProperty(&name, AI_MATKEY_NAME);
    // The exporter reads the shading model as raw bytes of the enum (a
    // "buffer" property); stored as an integer it would not see it.
    const aiShadingMode unlit = aiShadingMode_Unlit;
    material->AddProperty(&unlit, 1, AI_MATKEY_SHADING_MODEL);
    const aiColor4D white(1.0f, 1.0f, 1.0f, 1.0f);
    material->AddProperty(&white, 1, AI_MATKEY_BASE_COLOR);
    return material;
}

std::unique_ptr<aiScene> makeScene(const std::vector<BakedMesh>& meshes) {
    auto scene = std::make_unique<aiScene>();
    const auto count = static_cast<unsigned int>(meshes.size());
    scene->mRootNode = new aiNode("LUMETRA");
    scene->mNumMaterials = count;
    scene->mMaterials = new aiMaterial*[count];
    unsigned int withTriangles = 0;
    for (const BakedMesh& m : meshes) withTriangles += m.triangles.empty() ? 0u : 1u;
    scene->mMeshes = new aiMesh*[withTriangles];
    scene->mRootNode->mChildren = new aiNode*[count];
    for (unsigned int i = 0; i < count; ++i) {
        const BakedMesh& baked = meshes[i];
        scene->mMaterials[i] = makeMaterial(baked);
        auto* node = new aiNode(baked.name);
        node->mParent = scene->mRootNode;
        scene->mRootNode->mChildren[scene->mRootNode->mNumChildren++] = node;
        // An object without triangles keeps its node (and material) but gets
        // no mesh: glTF has no empty meshes.
        if (baked.triangles.empty()) continue;
        node->mNumMeshes = 1;
        node->mMeshes = new unsigned int[1]{scene->mNumMeshes};
        scene->mMeshes[scene->mNumMeshes++] = makeMesh(baked, i);
    }
    return scene;
}

// ---- An IO system that keeps what the exporter writes in memory, so the
// files can be completed (extras) and then written together.

class MemoryStream : public Assimp::IOStream {
  public:
    explicit MemoryStream(std::string& bytes) : bytes_(bytes) {}
    size_t Read(void*, size_t, size_t) override { return 0; }
    size_t Write(const void* buffer, size_t size, size_t count) override {
        const std::size_t n = size * count;
        if (position_ + n > bytes_.size()) bytes_.resize(position_ + n);
        if (n > 0) std::memcpy(&bytes_[position_], buffer, n);
        position_ += n;
        return count;
    }
    aiReturn Seek(size_t offset, aiOrigin origin) override {
        std::size_t base = 0;
        if (origin == aiOrigin_CUR) base = position_;
        if (origin == aiOrigin_END) base = bytes_.size();
        position_ = base + offset;
        return aiReturn_SUCCESS;
    }
    size_t Tell() const override { return position_; }
    size_t FileSize() const override { return bytes_.size(); }
    void Flush() override {}

  private:
    std::string& bytes_;
    std::size_t position_ = 0;
};

class MemoryIOSystem : public Assimp::IOSystem {
  public:
    bool Exists(const char* file) const override { return files_.count(file) > 0; }
    char getOsSeparator() const override { return '/'; }
    Assimp::IOStream* Open(const char* file, const char* mode) override {
        // Only writing: the export reads nothing.
        if (mode == nullptr || std::strchr(mode, 'w') == nullptr) return nullptr;
        if (files_.count(file) == 0) order_.push_back(file);
        std::string& bytes = files_[file];
        bytes.clear();
        return new MemoryStream(bytes);  // the library deletes it through Close
    }
    void Close(Assimp::IOStream* stream) override { delete stream; }

    // The files in the order they were first opened.
    std::vector<OutputFile> take() {
        std::vector<OutputFile> out;
        for (const std::string& path : order_) out.push_back({path, std::move(files_[path])});
        return out;
    }

  private:
    std::map<std::string, std::string> files_;
    std::vector<std::string> order_;
};

// ---- Extras.

using Json = rapidjson::Document;

rapidjson::Value colourArray(const Vec3& c, Json::AllocatorType& a) {
    rapidjson::Value v(rapidjson::kArrayType);
    v.PushBack(c.x, a).PushBack(c.y, a).PushBack(c.z, a);
    return v;
}

void setExtras(rapidjson::Value& target, const BakedMesh& baked, Json::AllocatorType& a) {
    rapidjson::Value extras(rapidjson::kObjectType);
    extras.AddMember("reflectance", colourArray(baked.reflectance, a), a);
    extras.AddMember("emission", colourArray(baked.emission, a), a);
    target.RemoveMember("extras");
    target.AddMember("extras", extras, a);
}

// Adds the extras to node i + 1 (node 0 is the root) and material i of
// object i: the exporter writes both in scene order.
std::string addExtras(Json& doc, const std::vector<BakedMesh>& meshes) {
    auto& a = doc.GetAllocator();
    if (!doc.IsObject() || !doc.HasMember("nodes") || !doc["nodes"].IsArray() ||
        doc["nodes"].Size() != meshes.size() + 1 ||
        (!meshes.empty() && (!doc.HasMember("materials") || !doc["materials"].IsArray() ||
                             doc["materials"].Size() != meshes.size()))) {
        return "the exporter wrote other nodes or materials than one per object";
    }
    for (rapidjson::SizeType i = 0; i < meshes.size(); ++i) {
        rapidjson::Value& node = doc["nodes"][i + 1];
        rapidjson::Value& material = doc["materials"][i];
        if (!node.IsObject() || !material.IsObject())
            return "the exporter wrote a node or material that is not an object";
        setExtras(node, meshes[i], a);
        setExtras(material, meshes[i], a);
    }
    return {};
}

std::string jsonText(const Json& doc, bool pretty) {
    rapidjson::StringBuffer buffer;
    if (pretty) {
        rapidjson::PrettyWriter<rapidjson::StringBuffer> writer(buffer);
        writer.SetIndent(' ', 4);
        doc.Accept(writer);
    } else {
        rapidjson::Writer<rapidjson::StringBuffer> writer(buffer);
        doc.Accept(writer);
    }
    return std::string(buffer.GetString(), buffer.GetSize());
}

std::uint32_t readLittleEndian(const std::string& bytes, std::size_t at) {
    std::uint32_t v = 0;
    for (int k = 3; k >= 0; --k)
        v = (v << 8) | static_cast<unsigned char>(bytes[at + static_cast<std::size_t>(k)]);
    return v;
}

void writeLittleEndian(std::string& bytes, std::size_t at, std::uint32_t v) {
    for (std::size_t k = 0; k < 4; ++k) bytes[at + k] = static_cast<char>((v >> (8 * k)) & 0xffu);
}

// A .glb: 12-byte header, the JSON chunk (padded with blanks to 4 bytes),
// then the binary chunk, copied unchanged.
std::string patchGlb(const std::string& glb, const std::vector<BakedMesh>& meshes, std::string& out) {
    const std::uint32_t kJson = 0x4E4F534Au;  // "JSON"
    if (glb.size() < 20 || glb.compare(0, 4, "glTF") != 0 || readLittleEndian(glb, 16) != kJson) {
        return "the exporter wrote no binary glTF";
    }
    const std::uint32_t jsonLength = readLittleEndian(glb, 12);
    if (20 + static_cast<std::size_t>(jsonLength) > glb.size())
        return "the exporter's binary glTF is cut short";
    Json doc;
    doc.Parse(glb.data() + 20, jsonLength);
    if (doc.HasParseError()) return "the exporter's JSON does not parse";
    std::string problem = addExtras(doc, meshes);
    if (!problem.empty()) return problem;
    std::string json = jsonText(doc, false);
    while (json.size() % 4 != 0) json.push_back(' ');
    const std::string rest = glb.substr(20 + jsonLength);
    out.assign(20, '\0');
    out.replace(0, 4, "glTF");
    writeLittleEndian(out, 4, 2);
    writeLittleEndian(out, 8, static_cast<std::uint32_t>(20 + json.size() + rest.size()));
    writeLittleEndian(out, 12, static_cast<std::uint32_t>(json.size()));
    writeLittleEndian(out, 16, kJson);
    out += json;
    out += rest;
    return {};
}

std::string lowerExtension(const std::string& path) {
    const std::size_t dot = path.find_last_of('.');
    const std::size_t slash = path.find_last_of('/');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return {};
    std::string ext = path.substr(dot);
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
    return ext;
}

}  // namespace

bool isGltfPath(const std::string& path) {
    const std::string ext = lowerExtension(path);
    return ext == ".gltf" || ext == ".glb";
}

std::string exportGltf(const std::vector<BakedMesh>& meshes, const std::string& path,
                       std::vector<OutputFile>& files) {
    files.clear();
    if (!isGltfPath(path)) return "a glTF file name ends in .gltf or .glb";
    const bool binary = lowerExtension(path) == ".glb";
    const std::unique_ptr<aiScene> scene = makeScene(meshes);

    Assimp::Exporter exporter;
    auto io = std::make_unique<MemoryIOSystem>();
    MemoryIOSystem* memory = io.get();
    exporter.SetIOHandler(io.release());  // the exporter owns it from here
    if (exporter.Export(scene.get(), binary ? "glb2" : "gltf2", path) != aiReturn_SUCCESS) {
        return std::string("the glTF exporter failed: ") + exporter.GetErrorString();
    }
    std::vector<OutputFile> written = memory->take();
    auto main =
        std::find_if(written.begin(), written.end(), [&](const OutputFile& f) { return f.path == path; });
    if (main == written.end()) return "the glTF exporter wrote no " + path;

    std::string completed;
    if (binary) {
        const std::string problem = patchGlb(main->bytes, meshes, completed);
        if (!problem.empty()) return problem;
    } else {
        Json doc;
        doc.Parse(main->bytes.data(), main->bytes.size());
        if (doc.HasParseError()) return "the exporter's JSON does not parse";
        const std::string problem = addExtras(doc, meshes);
        if (!problem.empty()) return problem;
        completed = jsonText(doc, true);
    }
    main->bytes = std::move(completed);
    // Buffers first, the file that refers to them last.
    std::stable_partition(written.begin(), written.end(),
                          [&](const OutputFile& f) { return f.path != path; });
    files = std::move(written);
    return {};
}
