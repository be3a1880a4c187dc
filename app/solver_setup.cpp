#include "app/solver_setup.h"

#include <GL/gl.h>

#include <algorithm>

#include "radiosity/limits.h"
#include "scene/scene.h"

void enableSceneDrawing() {
    // For the picture and the hemicube alike.
    glEnable(GL_CULL_FACE);
    glEnable(GL_DEPTH_TEST);
}

std::string prepareSolver(Scene& scene, SolverSetup& setup) {
    const Settings& settings = scene.settings;
    enableSceneDrawing();

    GLint maxRenderbuffer = 0;
    GLint maxViewport[2] = {0, 0};
    glGetIntegerv(GL_MAX_RENDERBUFFER_SIZE, &maxRenderbuffer);
    glGetIntegerv(GL_MAX_VIEWPORT_DIMS, maxViewport);
    const std::string tooLarge =
        checkResolution(settings.N, maxRenderbuffer, std::min(maxViewport[0], maxViewport[1]));
    if (!tooLarge.empty()) return tooLarge;

    setup.capturer =
        std::make_unique<HemicubeCapturer>(setup.items, settings.N, settings.nearPlane, settings.farPlane);
    if (!setup.capturer->ok()) return setup.capturer->error();
    setup.solver = std::make_unique<Solver>(scene);
    setup.solver->setFaceCapturer(setup.capturer.get());
    return buildItemBuffer(scene.objects, setup.items);
}
