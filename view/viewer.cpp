#include "view/viewer.h"

#include <GL/glut.h>

#include <cstdio>
#include <cstdlib>

#include "radiosity/run_end.h"
#include "radiosity/solver.h"
#include "scene/scene.h"
#include "view/antialias.h"
#include "view/camera.h"
#include "view/commands.h"
#include "view/picture.h"
#include "view/result_writer.h"
#include "view/shading.h"

namespace {

// GLUT callbacks take no argument: this is how they find the viewer. Set
// once, by installViewerCallbacks.
Viewer* viewer = nullptr;

void rebuildPicture() {
    buildShadedList(viewer->scene, displayedAmbient(viewer->scene, viewer->solver));
}

// The line on standard error that says how the solve ended.
void reportEnd(bool diverged) {
    const Solver& solver = viewer->solver;
    RunSummary summary;
    summary.end = diverged ? RunEnd::Diverged : RunEnd::Solved;
    summary.limit = viewer->scene.settings.stopAt;
    summary.steps = solver.stepCounter;
    summary.seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - viewer->solveStart).count();
    summary.measure = solver.convergenceMeasure;
    std::fflush(stdout);
    std::fprintf(stderr, "%s\n", runEndLine(summary).c_str());
}

// One step by hand (space key, menu "Step"): the idle step with all it does
// by itself, then the progress line once more with the advanced counter and a
// fresh picture, whether the solver is running or stopped.
void stepByHand() {
    idleCallback();
    std::printf("Convergence %2.5f\t\tStep %d\n", viewer->solver.convergenceMeasure,
                viewer->solver.stepCounter);
    std::fflush(stdout);  // like the solver's own line: seen at once through a pipe
    rebuildPicture();
    glutPostRedisplay();
}

void saveAllResults() {
    // Into the working directory, in object order; a failed save prints its
    // own line and the others still go ahead.
    const Scene& scene = viewer->scene;
    for (int i = 0; i < scene.objectCount && i < static_cast<int>(scene.objects.size()); ++i) {
        saveResult(scene.objects[static_cast<std::size_t>(i)]);
    }
}

// '+', '-' and the wheel: the camera moves along its line of sight.
void dollyBy(int steps) {
    if (applyDolly(viewer->view, steps)) glutPostRedisplay();
}

// 'c': what is shown, as options for lumetra-batch or lines of a
// configuration's [camera] section.
void printCamera() {
    const Scene& scene = viewer->scene;
    std::printf("%s\n", cameraSetOptions(sceneCamera(scene, viewer->view), scene.settings.fov).c_str());
    std::fflush(stdout);
}

// '[' and ']': the corner colours carry the exposure, so the shaded list is
// compiled afresh and shown at once.
void changeExposure(int direction) {
    if (!stepExposure(viewer->scene.settings.exposure, direction)) return;
    rebuildPicture();
    glutPostRedisplay();
}

}  // namespace

void idleCallback() {
    const StepOutcome outcome = viewer->solver.idleStep();
    if (outcome.report) {
        rebuildPicture();
        glutPostRedisplay();
    }
    if (outcome.converged) {
        glutIdleFunc(nullptr);
        // A solver that never started (nothing emits) has nothing to report.
        if (viewer->solver.solverReady()) reportEnd(outcome.diverged);
    }
}

void displayCallback() {
    drawShadedScene(viewer->scene, viewer->view);
    glutSwapBuffers();
}

void keyboardCallback(unsigned char key, int, int) {
    switch (keyAction(key)) {
        case KeyAction::Exit:
            std::exit(0);  // the standard exit flushes standard output
        case KeyAction::Step:
            stepByHand();
            break;
        case KeyAction::DollyIn:
            dollyBy(1);
            break;
        case KeyAction::DollyOut:
            dollyBy(-1);
            break;
        case KeyAction::PrintCamera:
            printCamera();
            break;
        case KeyAction::ExposureDown:
            changeExposure(-1);
            break;
        case KeyAction::ExposureUp:
            changeExposure(1);
            break;
        case KeyAction::None:
            break;
    }
}

void specialCallback(int key, int, int) {
    if (applyArrowKey(viewer->view, key)) glutPostRedisplay();
}

void mouseCallback(int button, int state, int x, int y) {
    // A wheel notch comes as a press and a release of its own button: the
    // press dollies, and neither touches the anchor of a drag under way.
    if (const int steps = wheelDollySteps(button)) {
        if (state == GLUT_DOWN) dollyBy(steps);
        return;
    }
    // Every other button that gets here acts alike; the right one belongs to the menu.
    if (state == GLUT_UP) {
        dragTo(viewer->view, x, y);
    } else {
        beginDrag(viewer->view, x, y);
    }
}

void motionCallback(int x, int y) {
    dragTo(viewer->view, x, y);
    glutPostRedisplay();
}

void menuCallback(int value) {
    switch (menuAction(value)) {
        case MenuAction::Auto:
            glutIdleFunc(idleCallback);
            break;
        case MenuAction::Stop:
            glutIdleFunc(nullptr);
            break;
        case MenuAction::Step:
            stepByHand();
            break;
        case MenuAction::AntiAlias:
            drawAntialiased(kShadedList, viewer->scene, viewer->view);
            glutSwapBuffers();
            break;
        case MenuAction::Save:
            saveAllResults();
            break;
        case MenuAction::None:
            break;
    }
    if (menuRedisplays(value)) glutPostRedisplay();
}

void reshapeCallback(int, int) {}

void installViewerCallbacks(Viewer& v) {
    viewer = &v;
    glutDisplayFunc(displayCallback);
    glutKeyboardFunc(keyboardCallback);
    glutSpecialFunc(specialCallback);
    glutMouseFunc(mouseCallback);
    glutMotionFunc(motionCallback);
    glutIdleFunc(idleCallback);
    glutReshapeFunc(reshapeCallback);

    glutCreateMenu(menuCallback);
    glutAddMenuEntry("Auto", kMenuAuto);
    glutAddMenuEntry("Stop", kMenuStop);
    glutAddMenuEntry("Step", kMenuStep);
    glutAddMenuEntry("Anti-Alias", kMenuAntiAlias);
    glutAddMenuEntry("Save6d", kMenuSave);
    glutAttachMenu(GLUT_RIGHT_BUTTON);
}
