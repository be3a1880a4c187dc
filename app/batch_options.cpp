#include "app/batch_options.h"

#include <cctype>
#include <limits>

#include "app/command_line.h"
#include "app/renderer_version.h"
#include "app/set_option.h"

namespace {

const char* const kFooter =
    "Solves the scene of a LUMETRA configuration file without a window: the same\n"
    "loading, solver and messages as the viewer, then writes every object's result\n"
    "file (<name>.6d) and, if asked, pictures and the lit scene. With --load the\n"
    "result files of an earlier run are read instead of solving, so a new camera,\n"
    "exposure or format costs no new solve.\n"
    "\n"
    "Solving stops at whichever comes first: stop_at, --steps or --seconds.\n"
    "On a terminal a progress line is shown on standard error.\n"
    "\n"
    "Exit codes: 0 finished, 1 usage error, 2 configuration or scene error (or a\n"
    "            result file of --load that does not fit), 3 a result file, picture\n"
    "            or export could not be written.";

std::string lowerCase(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

bool endsWith(const std::string& text, const std::string& end) {
    return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

}  // namespace

ExportFormat exportFormatOf(const std::string& path) {
    const std::string lower = lowerCase(path);
    if (endsWith(lower, ".gltf") || endsWith(lower, ".glb")) return ExportFormat::Gltf;
    if (endsWith(lower, ".ply")) return ExportFormat::Ply;
    return ExportFormat::None;
}

int parseBatchOptions(int argc, const char* const* argv, BatchOptions& options) {
    options = BatchOptions{};
    CLI::App app("", "lumetra-batch");
    describeTool(
        app, [] { return versionWithRenderer("lumetra-batch"); },
        "Usage: lumetra-batch CONFIG.ini [options]");
    app.footer(kFooter);
    app.add_option("CONFIG.ini", options.config, "the scene's configuration file")->required();
    CLI::Option* steps = app.add_option("--steps", options.maxSteps,
                                        "stop after K shooting steps (default: until stop_at is reached)")
                             ->type_name("K")
                             ->transform(wholeNumber(0, std::numeric_limits<long long>::max(),
                                                     "a whole number of steps, 0 or more"));
    CLI::Option* seconds =
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
    app.add_option("--exr", options.exr,
                   "also write an HDR picture (OpenEXR, 32-bit float RGB): brightness x 2^exposure, "
                   "before any clamp or display transform")
        ->type_name("FILE")
        ->check(notEmpty("a file name"));
    app.add_option("--export", options.exportPath,
                   "also write the lit scene with a colour per triangle corner: .gltf or .glb (glTF 2.0), "
                   ".ply")
        ->type_name("FILE")
        ->check(CLI::Validator(
            [](const std::string& path) {
                return exportFormatOf(path) == ExportFormat::None
                           ? std::string("needs a name ending in .gltf, .glb or .ply")
                           : std::string();
            },
            ""));
    CLI::Option* ascii =
        app.add_flag("--ascii", options.ascii, "write the .ply export as text (default: binary)");
    CLI::Option* load = app.add_option("--load", options.loadDir,
                                       "read the result files (<name>.6d) from DIR instead of solving")
                            ->type_name("DIR")
                            ->check(notEmpty("a folder"));
    load->excludes(steps)->excludes(seconds);
    std::vector<std::string> sets;
    addSetOption(app, sets);
    app.callback([&] {
        options.overrides = parseSetOptions(sets);
        if (ascii->count() > 0 && exportFormatOf(options.exportPath) != ExportFormat::Ply) {
            throw CLI::ValidationError("--ascii", "applies to a .ply export only");
        }
    });
    return parseToolArguments(app, argc, argv);
}
