#include "view/commands.h"

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
        default:
            return KeyAction::None;
    }
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
