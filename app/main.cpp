// lumetra: the interactive viewer. Start-up runs once, in this order, then
// everything happens in GLUT callbacks on the one thread.

#include <GL/freeglut.h>
#include <X11/Xlib.h>

#include <cstdio>
#include <string>

#include "app/config.h"
#include "scene/settings.h"

namespace {

// Screens of fewer than 24 bits per pixel cannot return the item buffer's
// colour code exactly. Returns false (after the warning) on such a screen;
// when no display can be opened the check is left to glutInit.
bool colourDepthIsEnough() {
    Display* display = XOpenDisplay(nullptr);
    if (!display) return true;
    const int depth = DefaultDepth(display, DefaultScreen(display));
    XCloseDisplay(display);
    if (depth >= 24) return true;
    std::fprintf(stderr, "Warning: Please change to 24 or 32 bit colour depth\n");
    return false;
}

void displayPlaceholder() {
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glCallList(1);
    glutSwapBuffers();
}

}  // namespace

int main(int argc, char** argv) {
    if (!colourDepthIsEnough()) return 0;
    glutInit(&argc, argv);
    // GLUT has removed its own options; the first argument left is the path.
    const std::string path = argc > 1 ? argv[1] : "./lumetra.ini";
    const ConfigResult config = readSettings(path);
    if (!config.ok()) {
        std::fprintf(stderr, "%s: the scene cannot be solved; nothing to show.\n", path.c_str());
        return 0;
    }

    glutInitWindowSize(settings.N, settings.N);
    // Double-buffered RGB with depth, plus an accumulation buffer for the
    // anti-aliased frame.
    glutInitDisplayMode(GLUT_RGB | GLUT_DOUBLE | GLUT_DEPTH | GLUT_ACCUM);
    glutCreateWindow("LUMETRA");
    glutDisplayFunc(displayPlaceholder);
    glEnable(GL_CULL_FACE);
    glEnable(GL_DEPTH_TEST);
    glutMainLoop();
    return 0;
}
