#pragma once

#include <string>
#include <vector>

#include "app/setting_override.h"

// Command line of lumetra-batch. Parsing is GL-free so tests call it.
struct BatchOptions {
    std::string config;                      // CONFIG.ini
    long long maxSteps = -1;                 // --steps K; -1: no limit
    double maxSeconds = -1.0;                // --seconds S; negative: no limit
    std::string outDir;                      // --out DIR; empty: the working directory
    std::string png;                         // --png FILE; empty: no picture
    int size = 0;                            // --size W; 0: the configured resolution
    bool antialias = false;                  // --aa
    std::string exr;                         // --exr FILE; empty: no HDR picture
    std::string exportPath;                  // --export FILE (.gltf, .glb or .ply); empty: no export
    bool ascii = false;                      // --ascii: a .ply export as text
    std::string loadDir;                     // --load DIR: results read from there instead of solving
    std::vector<SettingOverride> overrides;  // --set KEY=VALUE, in the order given
};

// Exit codes of the batch tool.
enum BatchExit { kExitOk = 0, kExitUsage = 1, kExitScene = 2, kExitOutput = 3 };

// The formats --export writes, by the file name's extension.
enum class ExportFormat { None, Gltf, Ply };
ExportFormat exportFormatOf(const std::string& path);

// Parses argv into `options`. Returns -1 when the run goes on; otherwise the
// exit code after printing the help or the version (0) or a usage error
// (kExitUsage).
int parseBatchOptions(int argc, const char* const* argv, BatchOptions& options);
