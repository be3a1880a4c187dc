#pragma once

#include <string>
#include <vector>

#include "app/setting_override.h"

// Command line of the viewer: lumetra [GLUT options] [options] [scene.ini].
// GL-free so tests call it.
struct ViewerOptions {
    std::string config = "./lumetra.ini";    // the first argument left after GLUT's
    std::vector<SettingOverride> overrides;  // --set KEY=VALUE, in the order given
    std::string loadDir;                     // --load DIR: show saved results, no solve; empty: solve
};

// The two passes over the arguments, around glutInit.
enum class ViewerPass {
    // Before glutInit, which needs a display: --help, --version, the
    // viewer's own options and unknown long options are answered; GLUT's
    // options (one dash) and the path are still mixed in the arguments and
    // are left alone.
    BeforeGlut,
    // After glutInit has removed GLUT's options: the path is the first
    // argument left (further ones are ignored), any other option is unknown.
    AfterGlut,
};

// Parses argv into `options`. Returns -1 when the viewer goes on; otherwise
// the exit code after printing the help or the version (0) or a usage error (1).
int parseViewerOptions(int argc, const char* const* argv, ViewerOptions& options, ViewerPass pass);
