#pragma once

// The scene's size limits, set by the item buffer's colour code: the red byte
// names the object (0..255) and green and blue the triangle (1..65535; 0 is
// the black background). Everything that checks or splits scenes uses these.
constexpr int kMaxObjects = 256;
constexpr int kMaxTrianglesPerObject = 65535;
