#pragma once

#include <string>

// Command line of lumetra-batch. Parsing is GL-free so tests call it.
struct BatchOptions {
    std::string config;        // CONFIG.ini
    long long maxSteps = -1;   // --steps K; -1: no limit
    double maxSeconds = -1.0;  // --seconds S; negative: no limit
    std::string outDir;        // --out DIR; empty: the working directory
    std::string png;           // --png FILE; empty: no picture
    int size = 0;              // --size W; 0: the configured resolution
    bool antialias = false;    // --aa
    bool help = false;         // --help
};

// Exit codes of the batch tool.
enum BatchExit { kExitOk = 0, kExitUsage = 1, kExitScene = 2, kExitOutput = 3 };

// Parses argv; returns an empty string or the usage error to print.
std::string parseBatchOptions(int argc, const char* const* argv, BatchOptions& options);

// The --help text.
const char* batchUsage();
