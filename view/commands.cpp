#include "view/commands.h"

float viewAngleX = 0.0f;
float viewAngleZ = 0.0f;
int dragStartX = 0;
int dragStartY = 0;
float dragAngleX = 0.0f;
float dragAngleZ = 0.0f;

void resetViewState() {
    viewAngleX = viewAngleZ = 0.0f;
    dragStartX = dragStartY = 0;
    dragAngleX = dragAngleZ = 0.0f;
}

bool applyArrowKey(int key) {
    // Single-precision steps, so long runs of key presses accumulate exactly
    // as a float angle does.
    switch (key) {
        case kKeyLeft:
            viewAngleZ = viewAngleZ + 10.0f;
            return true;
        case kKeyUp:
            viewAngleX = viewAngleX - 10.0f;
            return true;
        case kKeyRight:
            viewAngleZ = viewAngleZ - 10.0f;
            return true;
        case kKeyDown:
            viewAngleX = viewAngleX + 10.0f;
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
        default:
            return KeyAction::None;
    }
}

void beginDrag(int x, int y) {
    dragStartX = x;
    dragStartY = y;
    dragAngleX = viewAngleX;
    dragAngleZ = viewAngleZ;
}

void dragTo(int x, int y) {
    // The pixel difference is exact (64-bit, so no coordinate can overflow
    // it), the subtraction is done in double and only the result is rounded
    // to float.
    const long long dy = static_cast<long long>(dragStartY) - y;
    const long long dx = static_cast<long long>(dragStartX) - x;
    viewAngleX = static_cast<float>(static_cast<double>(dragAngleX) - static_cast<double>(dy));
    viewAngleZ = static_cast<float>(static_cast<double>(dragAngleZ) - static_cast<double>(dx));
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
