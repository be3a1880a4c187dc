#include "app/batch_outputs.h"

#include <cstdio>
#include <filesystem>
#include <string>

#include "scene/atomic_file.h"
#include "scene/scene.h"
#include "view/baked_mesh.h"
#include "view/exr_writer.h"
#include "view/gltf_writer.h"
#include "view/output_files.h"
#include "view/picture.h"
#include "view/ply_writer.h"
#include "view/png_writer.h"
#include "view/result_writer.h"
#include "view/shading.h"
#include "view/view_state.h"

namespace {

// Prints "lumetra-batch: cannot write FILE: REASON" unless `problem` is
// empty; returns whether it was.
bool reported(const std::string& file, const std::string& problem) {
    if (problem.empty()) return true;
    std::fflush(stdout);
    std::fprintf(stderr, "lumetra-batch: cannot write %s: %s\n", file.c_str(), problem.c_str());
    return false;
}

int pictureSize(const Scene& scene, const BatchOptions& options) {
    return options.size > 0 ? options.size : scene.settings.N;
}

std::string writeHdrPicture(const Scene& scene, const BatchOptions& options, const Vec3& ambient) {
    buildShadedList(scene, ambient, ListColours::Exposed);
    const HdrPicture picture =
        renderHdrPicture(scene, ViewState{}, pictureSize(scene, options), options.antialias);
    if (!picture.error.empty()) return picture.error;
    std::string bytes;
    const std::string problem = encodeExr(picture.size, picture.size, picture.rgb, bytes);
    return problem.empty() ? writeFileAtomically(options.exr, bytes) : problem;
}

std::string writePicture(const Scene& scene, const BatchOptions& options, const Vec3& ambient) {
    buildShadedList(scene, ambient);
    const Picture picture = renderPicture(scene, ViewState{}, pictureSize(scene, options), options.antialias);
    if (!picture.error.empty()) return picture.error;
    return writePng(options.png, picture.size, picture.size, picture.rgb);
}

std::string writeExport(const Scene& scene, const BatchOptions& options) {
    const std::vector<BakedMesh> meshes = bakeScene(scene.objects, scene.settings.smoothThreshold);
    if (exportFormatOf(options.exportPath) == ExportFormat::Ply) {
        return writeFileAtomically(
            options.exportPath,
            formatPly(meshes, options.ascii ? PlyEncoding::Ascii : PlyEncoding::BinaryLittleEndian));
    }
    std::vector<OutputFile> files;
    const std::string problem = exportGltf(meshes, options.exportPath, files);
    return problem.empty() ? writeFilesTogether(files) : problem;
}

}  // namespace

int writeBatchOutputs(const Scene& scene, const BatchOptions& options, const Vec3& ambient) {
    if (!options.outDir.empty()) {
        std::error_code ec;
        std::filesystem::create_directories(options.outDir, ec);
        if (ec) {
            std::fflush(stdout);
            std::fprintf(stderr, "lumetra-batch: cannot make the folder %s: %s\n", options.outDir.c_str(),
                         ec.message().c_str());
            return kExitOutput;
        }
    }
    bool ok = true;
    for (const SceneObject& object : scene.objects) ok = saveResult(object, options.outDir).ok && ok;
    if (!options.exr.empty()) ok = reported(options.exr, writeHdrPicture(scene, options, ambient)) && ok;
    if (!options.png.empty()) ok = reported(options.png, writePicture(scene, options, ambient)) && ok;
    if (!options.exportPath.empty()) ok = reported(options.exportPath, writeExport(scene, options)) && ok;
    std::fflush(stdout);
    return ok ? kExitOk : kExitOutput;
}
