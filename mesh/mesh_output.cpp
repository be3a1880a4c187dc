#include "mesh/mesh_output.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "scene/triangle_file_writer.h"

namespace fs = std::filesystem;

namespace {

template <typename Writer>
bool writeFile(const fs::path& path, Writer write, std::string& error) {
    fs::path tmp = path;
    tmp += ".tmp";
    std::error_code ec;
    {
        std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
        if (!out) {
            error = "cannot write " + path.string() + ": " + std::strerror(errno);
            return false;
        }
        write(out);
        out.close();
        if (out.fail()) {
            error = "cannot write " + path.string() + ": write failed (disk full?)";
            fs::remove(tmp, ec);
            return false;
        }
    }
    fs::rename(tmp, path, ec);
    if (ec) {
        error = "cannot write " + path.string() + ": " + ec.message();
        fs::remove(tmp, ec);
        return false;
    }
    return true;
}

}  // namespace

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
        if (!writeFile(
                dir / file, [&](std::ostream& out) { writeTriangleFile(out, o.name, o.triangles); }, error))
            return false;
        entries.push_back(IniObject{file, o.triangles.size(), o.material});
    }
    iniPath = (dir / "scene.ini").string();
    return writeFile(
        iniPath, [&](std::ostream& out) { writeSceneIni(out, comment, settings, camera, entries); }, error);
}
