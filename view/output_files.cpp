#include "view/output_files.h"

#include <memory>

#include "scene/atomic_file.h"

std::string writeFilesTogether(const std::vector<OutputFile>& files, FileOps* ops) {
    std::vector<std::unique_ptr<AtomicFile>> pending;
    for (const OutputFile& f : files) {
        pending.push_back(std::make_unique<AtomicFile>(f.path, ops));
        AtomicFile& file = *pending.back();
        file.write(f.bytes.data(), f.bytes.size());
        file.stream().flush();  // the bytes reach the temporary file now
        const std::string problem = file.error();
        // Returning destroys every uncommitted file: their temporary files
        // go, the targets stay as they were.
        if (!problem.empty()) return f.path + ": " + problem;
    }
    for (std::size_t i = 0; i < pending.size(); ++i) {
        const std::string problem = pending[i]->commit();
        if (!problem.empty()) return files[i].path + ": " + problem;
    }
    return {};
}
