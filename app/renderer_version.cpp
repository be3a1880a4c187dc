#include "app/renderer_version.h"

#include <GL/gl.h>

#include "app/command_line.h"
#include "app/headless_context.h"

std::string versionWithRenderer(const std::string& program) {
    std::string renderer = "unavailable";
    HeadlessContext context;
    if (context.ok()) {
        const GLubyte* name = glGetString(GL_RENDERER);
        if (name != nullptr && *name != 0) renderer = reinterpret_cast<const char*>(name);
    }
    return versionLine(program) + "\nOpenGL renderer: " + renderer;
}
