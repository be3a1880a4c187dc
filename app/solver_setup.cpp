#include "app/solver_setup.h"

#include <GL/gl.h>

#include <algorithm>

#include "radiosity/hemicube.h"
#include "radiosity/limits.h"
#include "radiosity/solver.h"
#include "radiosity/weights.h"
#include "scene/settings.h"

std::string prepareSolver(std::unique_ptr<HemicubeCapturer>& capturer) {
    // Back faces culled (counter-clockwise fronts) and depth tested, for the
    // picture and the hemicube alike; neither is ever switched off.
    glEnable(GL_CULL_FACE);
    glEnable(GL_DEPTH_TEST);

    GLint maxRenderbuffer = 0;
    GLint maxViewport[2] = {0, 0};
    glGetIntegerv(GL_MAX_RENDERBUFFER_SIZE, &maxRenderbuffer);
    glGetIntegerv(GL_MAX_VIEWPORT_DIMS, maxViewport);
    const std::string tooLarge =
        checkResolution(settings.N, maxRenderbuffer, std::min(maxViewport[0], maxViewport[1]));
    if (!tooLarge.empty()) return tooLarge;

    capturer = std::make_unique<HemicubeCapturer>();
    if (!capturer->ok()) return capturer->error();
    setFaceCapturer(capturer.get());
    buildTopTable();
    buildSideTable();
    return buildItemBuffer();
}
