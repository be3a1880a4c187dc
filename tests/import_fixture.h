#pragma once

// Exported files read back through the model library's importer (as the
// programs that open them would), as baked meshes in the file's mesh order.

#include <assimp/scene.h>
#include <gtest/gtest.h>

#include <vector>

#include "view/baked_mesh.h"

namespace fixture {

inline std::vector<BakedMesh> importedMeshes(const aiScene* scene) {
    EXPECT_NE(scene, nullptr);
    std::vector<BakedMesh> out;
    for (unsigned m = 0; scene != nullptr && m < scene->mNumMeshes; ++m) {
        const aiMesh* mesh = scene->mMeshes[m];
        EXPECT_TRUE(mesh->HasVertexColors(0)) << mesh->mName.C_Str();
        out.emplace_back();
        out.back().name = mesh->mName.C_Str();
        for (unsigned v = 0; v < mesh->mNumVertices; ++v) {
            const aiVector3D& p = mesh->mVertices[v];
            const aiColor4D c = mesh->HasVertexColors(0) ? mesh->mColors[0][v] : aiColor4D();
            out.back().positions.push_back({p.x, p.y, p.z});
            out.back().colours.push_back({c.r, c.g, c.b});
        }
        for (unsigned f = 0; f < mesh->mNumFaces; ++f) {
            const unsigned* i = mesh->mFaces[f].mIndices;
            out.back().triangles.push_back({i[0], i[1], i[2]});
        }
    }
    return out;
}

}  // namespace fixture
