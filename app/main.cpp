// lumetra: the interactive viewer. Start-up runs once, in this order, then
// everything happens in GLUT callbacks on the one thread.

#include <GL/freeglut.h>
#include <X11/Xlib.h>

#include <cstdio>
#include <memory>
#include <string>

#include "app/capture_workers.h"
#include "app/config.h"
#include "app/solver_setup.h"
#include "app/viewer_options.h"
#include "scene/scene.h"
#include "view/result_reader.h"
#include "view/shading.h"
#include "view/viewer.h"

namespace {

// Screens of fewer than 24 bits per pixel cannot show 8 bits per channel.
// Returns false (after the warning) on such a screen; when no display can be
// opened the check is left to glutInit, which reports it.
bool colourDepthIsEnough() {
    Display* display = XOpenDisplay(nullptr);
    if (!display) return true;
    const int depth = DefaultDepth(display, DefaultScreen(display));
    XCloseDisplay(display);
    if (depth >= 24) return true;
    std::fprintf(stderr, "Warning: Please change to 24 or 32 bit colour depth\n");
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    // --help, --version and the viewer's own options need no display: they
    // are answered before GLUT opens one.
    ViewerOptions options;
    int code = parseViewerOptions(argc, argv, options, ViewerPass::BeforeGlut);
    if (code >= 0) return code;
    if (!colourDepthIsEnough()) return 0;
    glutInit(&argc, argv);
    // GLUT has removed its own options; the first argument left is the path.
    code = parseViewerOptions(argc, argv, options, ViewerPass::AfterGlut);
    if (code >= 0) return code;
    const std::string& path = options.config;
    // The scene, the solver and the viewer live in main's frame: glutMainLoop
    // never returns, and the Escape key ends the process from a callback.
    Scene scene;
    const ConfigResult config = readSettings(path, scene, options.overrides);
    if (!config.ok()) {
        std::fprintf(stderr, "%s: the scene cannot be solved; see the errors above.\n", path.c_str());
        // A refused value is the user's to mend; other scene problems end as the viewer always did.
        return config.refusedValues > 0 ? 2 : 0;
    }
    const bool load = !options.loadDir.empty();
    if (load) {
        // Saved results hold no unshot light, so the ambient estimate has nothing to add.
        scene.settings.ambient = 0;
        const std::string problem = loadResults(scene.objects, options.loadDir);
        if (!problem.empty()) {
            std::fprintf(stderr, "lumetra: %s\n", problem.c_str());
            return 2;
        }
    }

    prepareCaptureWorkers(scene.settings);  // before the window's context
    glutInitWindowSize(scene.settings.N, scene.settings.N);
    // Double-buffered RGB with depth, plus an accumulation buffer for the
    // anti-aliased frame where the display offers one (the frame averages its
    // passes itself otherwise; many drivers have no accumulation visuals).
    glutInitDisplayMode(GLUT_RGB | GLUT_DOUBLE | GLUT_DEPTH | GLUT_ACCUM);
    if (!glutGet(GLUT_DISPLAY_MODE_POSSIBLE)) glutInitDisplayMode(GLUT_RGB | GLUT_DOUBLE | GLUT_DEPTH);
    glutCreateWindow("LUMETRA");
    // The hemicube faces are drawn off-screen, in the window's context.
    SolverSetup setup;
    const std::string problem = prepareSolver(scene, setup);
    if (!problem.empty()) {
        std::fprintf(stderr, "%s: %s\n", path.c_str(), problem.c_str());
        return 0;
    }
    // Several hemicubes at once: worker threads with headless contexts beside
    // the window's, which keeps drawing the picture.
    startCaptureWorkers(scene, setup, false);
    Viewer viewer{scene, *setup.solver, ViewState{}};
    installViewerCallbacks(viewer);
    if (load) {
        // Shown as saved. The solver is never seeded (that would replace the
        // loaded radiosities), so steps by hand or by the menu shoot nothing.
        glutIdleFunc(nullptr);
        buildShadedList(scene);
    } else if (!setup.solver->initSolver()) {
        // Without an emitter the scene is still shown; the solver stays stopped.
        std::fprintf(stderr, "%s: no object emits light (all emission keys 0?)\n", path.c_str());
    }
    glutMainLoop();
    return 0;
}
