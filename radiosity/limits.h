#pragma once

#include <string>

// The hemicube faces and the window are N x N pixels, so N must fit what
// the OpenGL implementation can draw into and read back. The GL limits are
// only known once a context exists; this check itself needs no GL, so the
// entry points query GL_MAX_RENDERBUFFER_SIZE and GL_MAX_VIEWPORT_DIMS and
// pass them in, and tests pass any numbers.

// Largest N whose N x N RGBA read-back (4 bytes a pixel) still has a byte
// count that fits a 32-bit int, as GL and the pixel buffer size it.
constexpr int kMaxResolution = 23170;

// Empty when a face of N x N pixels can be drawn, else the problem, as
// "resolution = N: ..." (the caller adds the file). A limit of 0 or less
// means "not known" and is not checked; N < 2 and N > kMaxResolution are
// refused whatever the limits, so the check is also useful before a
// context exists.
std::string checkResolution(int N, int maxRenderbuffer, int maxViewport);
