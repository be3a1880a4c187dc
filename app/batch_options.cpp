#include "app/batch_options.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>

namespace {

bool parseCount(const std::string& text, long long& value) {
    if (text.empty()) return false;
    char* end = nullptr;
    errno = 0;
    value = std::strtoll(text.c_str(), &end, 10);
    return errno == 0 && *end == '\0' && value >= 0;
}

bool parseSeconds(const std::string& text, double& value) {
    if (text.empty()) return false;
    char* end = nullptr;
    value = std::strtod(text.c_str(), &end);
    return *end == '\0' && std::isfinite(value) && value >= 0.0;
}

}  // namespace

const char* batchUsage() {
    return "Usage: lumetra-batch CONFIG.ini [options]\n"
           "\n"
           "Solves the scene of a LUMETRA configuration file without a window: the same\n"
           "loading, solver and messages as the viewer, then writes every object's result\n"
           "file (<name>.6d) and, if asked, a picture.\n"
           "\n"
           "Options:\n"
           "  --steps K      stop after K shooting steps (default: until stop_at is reached)\n"
           "  --seconds S    stop after S seconds of solving (default: no limit)\n"
           "  --out DIR      write the result files into DIR, made if missing (default: .)\n"
           "  --png FILE     also write a PNG picture of the solved scene, as the viewer shows it\n"
           "  --size W       picture size in pixels, square (default: the configured resolution)\n"
           "  --aa           anti-alias the picture (average of eight jittered passes)\n"
           "  --help         show this text\n"
           "\n"
           "Solving stops at whichever comes first: stop_at, --steps or --seconds.\n"
           "On a terminal a progress line is shown on standard error.\n"
           "\n"
           "Exit codes: 0 finished, 1 usage error, 2 configuration or scene error,\n"
           "            3 a result file or the picture could not be written.\n";
}

std::string parseBatchOptions(int argc, const char* const* argv, BatchOptions& options) {
    options = BatchOptions{};
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&](std::string& out) {
            if (i + 1 >= argc) return false;
            out = argv[++i];
            return true;
        };
        std::string v;
        if (arg == "--help" || arg == "-h") {
            options.help = true;
        } else if (arg == "--aa") {
            options.antialias = true;
        } else if (arg == "--steps") {
            if (!value(v) || !parseCount(v, options.maxSteps))
                return "--steps needs a whole number of steps, 0 or more";
        } else if (arg == "--seconds") {
            if (!value(v) || !parseSeconds(v, options.maxSeconds))
                return "--seconds needs a number of seconds, 0 or more";
        } else if (arg == "--out") {
            if (!value(options.outDir) || options.outDir.empty()) return "--out needs a folder";
        } else if (arg == "--png") {
            if (!value(options.png) || options.png.empty()) return "--png needs a file name";
        } else if (arg == "--size") {
            long long size = 0;
            if (!value(v) || !parseCount(v, size) || size < 1 || size > 16384) {
                return "--size needs a picture size from 1 to 16384 pixels";
            }
            options.size = static_cast<int>(size);
        } else if (!arg.empty() && arg[0] == '-') {
            return "unknown option " + arg;
        } else if (options.config.empty()) {
            options.config = arg;
        } else {
            return "more than one configuration file: " + options.config + " and " + arg;
        }
    }
    if (!options.help && options.config.empty()) return "no configuration file given";
    return {};
}
