#include "radiosity/limits.h"

std::string checkResolution(int N, int maxRenderbuffer, int maxViewport) {
    const std::string head = "resolution = " + std::to_string(N) + ": ";
    if (N < 2) return head + "a hemicube face needs at least 2 pixels";
    if (maxRenderbuffer > 0 && N > maxRenderbuffer) {
        return head + "larger than the largest off-screen buffer this OpenGL can draw (" +
               std::to_string(maxRenderbuffer) + " pixels)";
    }
    if (maxViewport > 0 && N > maxViewport) {
        return head + "larger than the largest viewport this OpenGL can draw (" +
               std::to_string(maxViewport) + " pixels)";
    }
    if (N > kMaxResolution) {
        return head + "larger than " + std::to_string(kMaxResolution) +
               ", the largest face whose pixels can be read back in one piece";
    }
    return {};
}
