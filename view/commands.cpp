#include "view/commands.h"

#include <cmath>

bool applyArrowKey(ViewState& view, int key) {
    // Single-precision steps, so long runs of key presses accumulate exactly
    // as a float angle does.
    switch (key) {
        case kKeyLeft:
            view.viewAngleZ = view.viewAngleZ + 10.0f;
            return true;
        case kKeyUp:
            view.viewAngleX = view.viewAngleX - 10.0f;
            return true;
        case kKeyRight:
            view.viewAngleZ = view.viewAngleZ - 10.0f;
            return true;
        case kKeyDown:
            view.viewAngleX = view.viewAngleX + 10.0f;
            return true;
        default:
            return false;
    }
}

KeyAction keyAction(unsigned char key) {
    switch (key) {
        case 27:
            return KeyAction::Exit;
        case 32:
            return KeyAction::Step;
        case '+':
            return KeyAction::DollyIn;
        case '-':
            return KeyAction::DollyOut;
        case 'c':
            return KeyAction::PrintCamera;
        case '[':
            return KeyAction::ExposureDown;
        case ']':
            return KeyAction::ExposureUp;
        default:
            return KeyAction::None;
    }
}

int wheelDollySteps(int button) {
    switch (button) {
        case kWheelUp:
            return 1;
        case kWheelDown:
            return -1;
        default:
            return 0;
    }
}

bool stepExposure(double& exposure, int direction) {
    // Half stops are exact in binary, so a step and its opposite give the
    // same exposure back.
    const double next = exposure + (direction > 0 ? kExposureKeyStep : -kExposureKeyStep);
    if (std::fabs(next) > kMaxKeyExposure && !(std::fabs(next) < std::fabs(exposure))) return false;
    exposure = next;
    return true;
}

void beginDrag(ViewState& view, int x, int y) {
    view.dragStartX = x;
    view.dragStartY = y;
    view.dragAngleX = view.viewAngleX;
    view.dragAngleZ = view.viewAngleZ;
}

void dragTo(ViewState& view, int x, int y) {
    // The pixel difference is exact (64-bit, so no coordinate can overflow
    // it), the subtraction is done in double and only the result is rounded
    // to float.
    const long long dy = static_cast<long long>(view.dragStartY) - y;
    const long long dx = static_cast<long long>(view.dragStartX) - x;
    view.viewAngleX = static_cast<float>(static_cast<double>(view.dragAngleX) - static_cast<double>(dy));
    view.viewAngleZ = static_cast<float>(static_cast<double>(view.dragAngleZ) - static_cast<double>(dx));
}

MenuAction menuAction(int value) {
    switch (value) {
        case kMenuAuto:
            return MenuAction::Auto;
        case kMenuStop:
            return MenuAction::Stop;
        case kMenuStep:
            return MenuAction::Step;
        case kMenuAntiAlias:
            return MenuAction::AntiAlias;
        case kMenuSave:
            return MenuAction::Save;
        default:
            return MenuAction::None;
    }
}

bool menuRedisplays(int value) {
    return value != kMenuAntiAlias;
}
