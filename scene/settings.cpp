#include "scene/settings.h"

Settings settings;
Vec3 cameraPos(0.0, -20.0, 0.0);
Vec3 cameraLookAt(0.0, 0.0, 0.0);
Vec3 cameraUp(0.0, 0.0, 1.0);

void resetSettings() {
    settings = Settings{};
    cameraPos.set(0.0, -20.0, 0.0);
    cameraLookAt.set(0.0, 0.0, 0.0);
    cameraUp.set(0.0, 0.0, 1.0);
}
