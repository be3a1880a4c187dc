#include "app/batch_options.h"

#include <limits>

#include "app/command_line.h"
#include "app/renderer_version.h"
#include "app/set_option.h"

namespace {

const char* const kFooter =
    "Solves the scene of a LUMETRA configuration file without a window: the same\n"
    "loading, solver and messages as the viewer, then writes every object's result\n"
    "file (<name>.6d) and, if asked, a picture.\n"
    "\n"
    "Solving stops at whichever comes first: stop_at, --steps or --seconds.\n"
    "On a terminal a progress line is shown on standard error.\n"
    "\n"
    "Exit codes: 0 finished, 1 usage error, 2 configuration or scene error,\n"
    "            3 a result file or the picture could not be written.";

}  // namespace

int parseBatchOptions(int argc, const char* const* argv, BatchOptions& options) {
    options = BatchOptions{};
    CLI::App app("", "lumetra-batch");
    describeTool(
        app, [] { return versionWithRenderer("lumetra-batch"); },
        "Usage: lumetra-batch CONFIG.ini [options]");
    app.footer(kFooter);
    app.add_option("CONFIG.ini", options.config, "the scene's configuration file")->required();
    app.add_option("--steps", options.maxSteps,
                   "stop after K shooting steps (default: until stop_at is reached)")
        ->type_name("K")
        ->transform(
            wholeNumber(0, std::numeric_limits<long long>::max(), "a whole number of steps, 0 or more"));
    app.add_option("--seconds", options.maxSeconds, "stop after S seconds of solving (default: no limit)")
        ->type_name("S")
        ->transform(realNumber(0.0, "a number of seconds, 0 or more"));
    app.add_option("--out", options.outDir, "write the result files into DIR, made if missing (default: .)")
        ->type_name("DIR")
        ->check(notEmpty("a folder"));
    app.add_option("--png", options.png,
                   "also write a PNG picture of the solved scene, as the viewer shows it")
        ->type_name("FILE")
        ->check(notEmpty("a file name"));
    app.add_option("--size", options.size,
                   "picture size in pixels, square (default: the configured resolution)")
        ->type_name("W")
        ->transform(wholeNumber(1, 16384, "a picture size from 1 to 16384 pixels"));
    app.add_flag("--aa", options.antialias, "anti-alias the picture (average of eight jittered passes)");
    std::vector<std::string> sets;
    addSetOption(app, sets);
    app.callback([&] { options.overrides = parseSetOptions(sets); });
    return parseToolArguments(app, argc, argv);
}
