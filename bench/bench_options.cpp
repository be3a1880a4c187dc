#include "bench/bench_options.h"

#include "app/command_line.h"
#include "app/renderer_version.h"

int parseBenchOptions(int argc, const char* const* argv, BenchOptions& options) {
    options = BenchOptions{};
    CLI::App app("", "lumetra-bench");
    describeTool(app, [] { return versionWithRenderer("lumetra-bench"); });
    app.footer(
        "Times shooting steps headless on closed rooms it generates: one row per scene on\n"
        "standard output, notes on standard error. Exit codes: 0 done, 1 usage error,\n"
        "2 no OpenGL context or a scene that could not be measured.");
    app.add_option("--steps", options.steps, "shooting steps timed per scene and path (default 60)")
        ->type_name("K")
        ->transform(wholeNumber(1, 1000000, "a whole number from 1 to 1000000"));
    bool n512 = false;
    app.add_flag("--n512", n512, "also run every scene at N = 512");
    app.add_option("--scenes", options.scenes,
                   "triangle counts of the generated rooms, separated by commas (default 1000,10000,60000)")
        ->type_name("LIST")
        ->delimiter(',')
        ->allow_extra_args(false)
        ->transform(wholeNumber(1, 16000000, "triangle counts from 1 to 16000000 separated by commas"));
    app.add_option("--convergence", options.convergence,
                   "instead: steps and seconds until 10 %, 1 % and 0.1 % of the light is left unshot, "
                   "with overshoot off and on (repeatable)")
        ->type_name("CONFIG.ini")
        ->allow_extra_args(false);
    app.add_option("--max-steps", options.maxSteps,
                   "give up a convergence run after K steps (default 200000)")
        ->type_name("K")
        ->transform(wholeNumber(1, 100000000, "a whole number from 1 to 100000000"));
    app.add_flag("--threads", options.threads,
                 "instead: time to 10 % and 5 % of the light left unshot on 1 and 2 capture threads, with "
                 "the speed-up (rooms of about 13000 and 60000 triangles unless --scenes)");
    app.add_option("--thread-counts", options.threadCounts,
                   "thread counts of the --threads table, separated by commas (default 1,2)")
        ->type_name("LIST")
        ->delimiter(',')
        ->allow_extra_args(false)
        ->transform(wholeNumber(1, 64, "thread counts from 1 to 64 separated by commas"));
    app.add_option("--threads-config", options.threadsConfigs,
                   "also a configured scene in the --threads table "
                   "(repeatable)")
        ->type_name("CONFIG.ini")
        ->allow_extra_args(false);
    app.add_option("--shooters", options.shooters, "shooters per step in the --threads table (default 4)")
        ->type_name("K")
        ->transform(wholeNumber(1, 256, "a whole number from 1 to 256"));
    app.add_flag("--overshoot", options.overshoot, "overshoot in the --threads table");
    app.add_flag("--patches", options.threadsPatches,
                 "the --threads table also shoots from patches (--patch-size S, or twice a room's square "
                 "side, or the configuration's patch_size)");
    app.add_option("--max-seconds", options.maxSeconds,
                   "give up a --threads or --solution solve after S seconds (default 1800)")
        ->type_name("S")
        ->check(CLI::PositiveNumber);
    app.add_flag("--solution", options.solution,
                 "instead: seconds and shots to 10 % and 5 % of the light unshot, triangle shooting "
                 "against patches, and how far the patch solution lies from the triangle one (rooms "
                 "default to 13000,60000)");
    app.add_option("--solution-config", options.solutionConfigs,
                   "also a configured scene in the --solution table (repeatable)")
        ->type_name("FILE")
        ->allow_extra_args(false);
    app.add_option("--patch-size", options.patchSize,
                   "patch_size of the --solution and --threads --patches runs (default: twice a room's "
                   "square side, a configuration's own patch_size)")
        ->type_name("S")
        ->transform(realNumber(0.0, "a number, 0 or more"));
    app.add_option("--compare-at", options.compareAt,
                   "also solve --solution runs down to this share of the light unshot and compare them there "
                   "(default 0.05)")
        ->type_name("S")
        ->check(CLI::Range(1e-6, 0.05));
    app.add_option(
           "--refine-ratio", options.refineRatio,
           "patch runs: a receiver nearer than a patch's radius / R gets its light from the patch's parts "
           "(default 0.5; 0 never)")
        ->type_name("R")
        ->transform(realNumber(0.0, "a number, 0 or more"));
    app.add_option("--keep-reference", options.keepReference,
                   "keep each --solution triangle run in DIR and reuse it when the same scene comes again")
        ->type_name("DIR")
        ->check(CLI::ExistingDirectory);
    app.callback([&] {
        if (n512) options.resolutions = {256, 512};
        // --solution-config alone solves the configurations only.
        if (app.count("--scenes") == 0 && (options.solution || !options.solutionConfigs.empty()))
            options.scenes = options.solution ? std::vector<int>{13000, 60000} : std::vector<int>{};
        if (!options.solutionConfigs.empty()) options.solution = true;
        if (!options.threadsConfigs.empty()) options.threads = true;
        if (options.threads && app.count("--scenes") == 0)
            options.scenes =
                options.threadsConfigs.empty() ? std::vector<int>{13000, 60000} : std::vector<int>{};
    });
    return parseToolArguments(app, argc, argv);
}
