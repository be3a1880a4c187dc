#pragma once

#include "view/view_state.h"

// The viewer's decisions, free of GLUT and GL: how keys, special keys, mouse
// drags and menu entries change the view state and what they ask the program
// to do. The GLUT callbacks are thin adapters over these.

// GLUT's codes for the arrow keys.
constexpr int kKeyLeft = 100;
constexpr int kKeyUp = 101;
constexpr int kKeyRight = 102;
constexpr int kKeyDown = 103;

// An arrow key turns the view by 10 degrees: left raises the z angle, right
// lowers it, up lowers the x angle, down raises it. Returns whether the key
// was an arrow (and the view must be redrawn); other keys change nothing.
bool applyArrowKey(ViewState& view, int key);

enum class KeyAction { None, Exit, Step, DollyIn, DollyOut, PrintCamera, ExposureDown, ExposureUp };

// Escape (27) ends the program, space (32) runs one step; '+' and '-' dolly
// the camera towards and away from its look-at point, 'c' prints the camera,
// '[' and ']' lower and raise the exposure by half a stop. All else nothing.
KeyAction keyAction(unsigned char key);

// GLUT's buttons for the mouse wheel (X buttons 4 and 5): a notch away from
// the user and one towards the user, each as a press and a release.
constexpr int kWheelUp = 3;
constexpr int kWheelDown = 4;

// Dolly steps of a button: a notch up goes one step towards the look-at
// point, a notch down one step away; 0 for every other button.
int wheelDollySteps(int button);

// One press of '[' (-1) or ']' (+1): the exposure, in stops, moves by half
// a stop. Exposure is left alone where the step would take it further out
// than ±kMaxKeyExposure stops. Returns whether it changed.
constexpr double kExposureKeyStep = 0.5;
constexpr double kMaxKeyExposure = 64.0;
bool stepExposure(double& exposure, int direction);

// A button press anchors a drag at (x, y).
void beginDrag(ViewState& view, int x, int y);

// Motion with a button held, or the release: one degree per pixel measured
// from the anchor, whatever the angles did in between. Moving down raises the
// x angle, moving right raises the z angle.
void dragTo(ViewState& view, int x, int y);

// The pop-up menu's entries and their values.
enum class MenuAction { None, Auto, Stop, Step, AntiAlias, Save };
constexpr int kMenuStep = 0;
constexpr int kMenuAuto = 1;
constexpr int kMenuStop = 2;
constexpr int kMenuAntiAlias = 3;
constexpr int kMenuSave = 4;

MenuAction menuAction(int value);

// Whether the entry is followed by a redisplay: all of them but "Anti-Alias",
// whose frame would otherwise be overdrawn at once.
bool menuRedisplays(int value);
