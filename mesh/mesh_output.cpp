#include "mesh/mesh_output.h"

#include <filesystem>

#include "scene/atomic_file.h"
#include "scene/triangle_file_writer.h"

namespace fs = std::filesystem;

bool writeScene(const std::string& outDir, const std::vector<MeshObject>& objects, const std::string& comment,
                const IniSettings& settings, const IniCamera& camera, std::string& iniPath,
                std::string& error) {
    const fs::path dir = outDir;
    std::error_code ec;
    fs::create_directories(dir, ec);
    if (ec || !fs::is_directory(dir)) {
        error = "cannot create output folder " + dir.string() + ": " + (ec ? ec.message() : "not a folder");
        return false;
    }
    std::vector<IniObject> entries;
    for (const MeshObject& o : objects) {
        const std::string file = o.name + ".tri";
        const std::string path = (dir / file).string();
        const std::string why = writeFileAtomically(
            path, [&](std::ostream& out) { writeTriangleFile(out, o.name, o.triangles); });
        if (!why.empty()) {
            error = "cannot write " + path + ": " + why;
            return false;
        }
        entries.push_back(IniObject{file, o.triangles.size(), o.material});
    }
    iniPath = (dir / "scene.ini").string();
    const std::string why = writeFileAtomically(
        iniPath, [&](std::ostream& out) { writeSceneIni(out, comment, settings, camera, entries); });
    if (!why.empty()) {
        error = "cannot write " + iniPath + ": " + why;
        return false;
    }
    return true;
}
