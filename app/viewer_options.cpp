#include "app/viewer_options.h"

#include "app/command_line.h"
#include "app/renderer_version.h"
#include "app/set_option.h"

namespace {

const char* const kFooter =
    "Opens the scene in a window and solves it progressively; see the README or the\n"
    "manual page for the keys and the menu. Without scene.ini the scene is\n"
    "./lumetra.ini. GLUT's own options (-display NAME, -geometry WxH+X+Y, -iconic,\n"
    "-direct, -indirect, -gldebug, -sync) are passed to GLUT. With --load the scene\n"
    "is shown as an earlier run saved it (Save6d or lumetra-batch), without solving.\n"
    "\n"
    "Exit codes: 0 after Escape or a scene that cannot be solved, 1 usage error,\n"
    "            2 a value refused in the configuration or by --set, or a result\n"
    "            file of --load that does not fit the scene.";

// The arguments left over that are options nobody takes. Before glutInit
// only long ones ("--name") count: GLUT's own options have one dash.
std::vector<std::string> unknownOptions(const std::vector<std::string>& left, ViewerPass pass) {
    std::vector<std::string> unknown;
    for (const std::string& arg : left) {
        if (arg == "--") break;
        const bool option = pass == ViewerPass::AfterGlut ? arg.size() > 1 && arg[0] == '-'
                                                          : arg.size() > 2 && arg.compare(0, 2, "--") == 0;
        if (option) unknown.push_back(arg);
    }
    return unknown;
}

}  // namespace

int parseViewerOptions(int argc, const char* const* argv, ViewerOptions& options, ViewerPass pass) {
    options = ViewerOptions{};
    CLI::App app("", "lumetra");
    describeTool(
        app, [] { return versionWithRenderer("lumetra"); },
        "Usage: lumetra [GLUT options] [options] [scene.ini]");
    app.footer(kFooter);
    // GLUT's options, and arguments past the path, are not the viewer's.
    app.allow_extras();
    app.add_option("scene.ini", options.config, "the scene's configuration file (default: ./lumetra.ini)");
    app.add_option("--load", options.loadDir,
                   "show the result files (<name>.6d) saved in DIR instead of solving")
        ->type_name("DIR")
        ->check(notEmpty("a folder"));
    std::vector<std::string> sets;
    addSetOption(app, sets);
    app.callback([&] {
        options.overrides = parseSetOptions(sets);
        const std::vector<std::string> unknown = unknownOptions(app.remaining(), pass);
        if (!unknown.empty()) throw CLI::ExtrasError(unknown);
    });
    return parseToolArguments(app, argc, argv);
}
