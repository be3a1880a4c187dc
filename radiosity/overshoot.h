#pragma once

#include "scene/vec3.h"

// Overshooting: a shooter sends its unshot radiosity plus the estimate of
// what it would gather at once, and owes that estimate until the light
// arrives. Per channel, only light is overshot: a channel sent negative is
// a debt being paid back and goes as it is. Re-estimating it would owe about
// as much again, and a shooter whose debt outweighs everybody's light would
// then be chosen step after step, sending next to nothing (seen in a closed
// house of bright walls, stalled at 23 % unshot).
inline Vec3 overshootEstimate(const Vec3& sending, const Vec3& gathered) {
    return {sending.x > 0.0 ? gathered.x : 0.0, sending.y > 0.0 ? gathered.y : 0.0,
            sending.z > 0.0 ? gathered.z : 0.0};
}
