#include "radiosity/hemicube.h"

#include <GL/gl.h>
#include <GL/glext.h>
#include <GL/glu.h>

#include <algorithm>
#include <cstdio>

#include "radiosity/solver.h"
#include "scene/scene.h"
#include "scene/settings.h"

Vec3 hemicubeCentre;
Vec3 hemicubeUp;
ItemLookup itemLookup;

namespace {

constexpr GLuint kItemBufferList = 2;

}  // namespace

std::string buildItemBuffer() {
    itemLookup = buildItemLookup();
    glNewList(kItemBufferList, GL_COMPILE);
    // The list clears the frame itself, so a capture is one list call.
    glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glShadeModel(GL_FLAT);
    glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
    glBegin(GL_TRIANGLES);
    // Only what the colour code can name is drawn (the lookup has the same
    // bounds); a scene beyond the limits is reported below.
    for (size_t o = 0; o < itemLookup.objects.size(); ++o) {
        const std::vector<Triangle*>& tris = itemLookup.objects[o];
        for (size_t t = 0; t < tris.size(); ++t) {
            const ItemColour c = itemColour(static_cast<int>(o), static_cast<int>(t));
            // i / 255 as a float comes back from an 8-bit channel as the byte i.
            glColor3f(c.red / 255.0f, c.green / 255.0f, c.blue / 255.0f);
            for (const Vertex* v : tris[t]->corners) {
                glVertex3f(static_cast<float>(v->position.x), static_cast<float>(v->position.y),
                           static_cast<float>(v->position.z));
            }
        }
    }
    glEnd();
    glEndList();
    return itemCodeProblem();
}

HemicubeCapturer::HemicubeCapturer(CaptureMode mode) : mode_(mode) {
    if (glGetString(GL_VERSION) == nullptr) {
        error_ = "no current OpenGL context for the hemicube";
        return;
    }
    ensureTarget(settings.N);
}

HemicubeCapturer::~HemicubeCapturer() {
    releaseTarget();
}

void HemicubeCapturer::releaseTarget() {
    if (framebuffer_ != 0) glDeleteFramebuffers(1, &framebuffer_);
    if (colourBuffer_ != 0) glDeleteRenderbuffers(1, &colourBuffer_);
    if (depthBuffer_ != 0) glDeleteRenderbuffers(1, &depthBuffer_);
    framebuffer_ = colourBuffer_ = depthBuffer_ = 0;
    size_ = 0;
}

bool HemicubeCapturer::ensureTarget(int size) {
    if (size <= 0) {
        error_ = "hemicube face size " + std::to_string(size) + " is not positive";
        return false;
    }
    if (framebuffer_ != 0 && size == size_) return true;
    releaseTarget();

    GLint maxSize = 0;
    glGetIntegerv(GL_MAX_RENDERBUFFER_SIZE, &maxSize);
    if (size > maxSize) {
        error_ = "hemicube face size " + std::to_string(size) + " exceeds the largest off-screen buffer (" +
                 std::to_string(maxSize) + ")";
        return false;
    }

    GLint previousDraw = 0;
    GLint previousRead = 0;
    GLint previousRenderbuffer = 0;
    glGetIntegerv(GL_DRAW_FRAMEBUFFER_BINDING, &previousDraw);
    glGetIntegerv(GL_READ_FRAMEBUFFER_BINDING, &previousRead);
    glGetIntegerv(GL_RENDERBUFFER_BINDING, &previousRenderbuffer);

    glGenFramebuffers(1, &framebuffer_);
    glGenRenderbuffers(1, &colourBuffer_);
    glGenRenderbuffers(1, &depthBuffer_);
    glBindRenderbuffer(GL_RENDERBUFFER, colourBuffer_);
    glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, size, size);
    glBindRenderbuffer(GL_RENDERBUFFER, depthBuffer_);
    glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH_COMPONENT24, size, size);
    glBindFramebuffer(GL_FRAMEBUFFER, framebuffer_);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, colourBuffer_);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, depthBuffer_);
    const GLenum status = glCheckFramebufferStatus(GL_FRAMEBUFFER);

    glBindRenderbuffer(GL_RENDERBUFFER, static_cast<GLuint>(previousRenderbuffer));
    glBindFramebuffer(GL_DRAW_FRAMEBUFFER, static_cast<GLuint>(previousDraw));
    glBindFramebuffer(GL_READ_FRAMEBUFFER, static_cast<GLuint>(previousRead));

    if (status != GL_FRAMEBUFFER_COMPLETE) {
        releaseTarget();
        char code[16];
        std::snprintf(code, sizeof code, "0x%04X", static_cast<unsigned>(status));
        error_ = std::string("the off-screen hemicube buffer is incomplete (status ") + code + ")";
        return false;
    }
    size_ = size;
    pixels_.assign(static_cast<size_t>(size) * static_cast<size_t>(size) * 4, 0);
    error_.clear();
    return true;
}

void HemicubeCapturer::captureFace(const double* weights, int rowCount) {
    const int n = settings.N;
    const int h = settings.H;
    if (weights == nullptr || n <= 0 || h <= 0 || rowCount <= 0) return;
    if (!ensureTarget(n)) return;
    // The list clears the frame itself; without it the target would still
    // hold an older image.
    if (!glIsList(kItemBufferList)) return;
    rowCount = std::min(rowCount, n);
    // A side face above the tangent plane is exactly the upper half of the
    // 90-degree view when N is even: a viewport of N x H pixels and the
    // frustum's upper half give the same pixel centres.
    const bool upperHalfOnly = mode_ == CaptureMode::Fast && rowCount == h && n == 2 * h;

    GLint previousDraw = 0;
    GLint previousRead = 0;
    GLint previousPack = 0;
    glGetIntegerv(GL_DRAW_FRAMEBUFFER_BINDING, &previousDraw);
    glGetIntegerv(GL_READ_FRAMEBUFFER_BINDING, &previousRead);
    glGetIntegerv(GL_PIXEL_PACK_BUFFER_BINDING, &previousPack);
    glPushAttrib(GL_VIEWPORT_BIT | GL_ENABLE_BIT | GL_LIGHTING_BIT | GL_POLYGON_BIT | GL_COLOR_BUFFER_BIT |
                 GL_DEPTH_BUFFER_BIT | GL_CURRENT_BIT | GL_TRANSFORM_BIT);
    glPushClientAttrib(GL_CLIENT_PIXEL_STORE_BIT);
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();

    glBindFramebuffer(GL_FRAMEBUFFER, framebuffer_);
    // The state a faithful item image needs: nearest surface wins, back
    // faces are not drawn, and the colours arrive unchanged.
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LESS);
    glDepthMask(GL_TRUE);
    glEnable(GL_CULL_FACE);
    glCullFace(GL_BACK);
    glFrontFace(GL_CCW);
    glDisable(GL_LIGHTING);
    glDisable(GL_BLEND);
    glDisable(GL_DITHER);
    glDisable(GL_SCISSOR_TEST);
    glDisable(GL_ALPHA_TEST);
    glDisable(GL_TEXTURE_2D);
    glDisable(GL_FOG);
    glDisable(GL_MULTISAMPLE);
    glDisable(GL_FRAMEBUFFER_SRGB);
    glDisable(GL_COLOR_LOGIC_OP);
    glDisable(GL_POLYGON_OFFSET_FILL);
    glDepthRange(0.0, 1.0);
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);

    const double nearPlane = settings.nearPlane;
    const double farPlane = settings.farPlane;
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    if (upperHalfOnly) {
        glViewport(0, 0, n, h);
        glFrustum(-nearPlane, nearPlane, 0.0, nearPlane, nearPlane, farPlane);
    } else {
        glViewport(0, 0, n, n);
        gluPerspective(90.0, 1.0, nearPlane, farPlane);
    }
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    const Vec3& p = shooterState.position;
    const Vec3& nrm = shooterState.normal;
    gluLookAt(p.x + nrm.x / 1000.0, p.y + nrm.y / 1000.0, p.z + nrm.z / 1000.0, hemicubeCentre.x,
              hemicubeCentre.y, hemicubeCentre.z, hemicubeUp.x, hemicubeUp.y, hemicubeUp.z);
    glCallList(kItemBufferList);

    FaceRows rows;
    rows.width = n;
    rows.data = pixels_.data();
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glPixelStorei(GL_PACK_ROW_LENGTH, 0);
    glPixelStorei(GL_PACK_SKIP_ROWS, 0);
    glPixelStorei(GL_PACK_SKIP_PIXELS, 0);
    glBindBuffer(GL_PIXEL_PACK_BUFFER, 0);
    if (mode_ == CaptureMode::Literal) {
        // Every pixel of the face, as RGB; only the top rowCount rows are summed.
        glReadPixels(0, 0, n, n, GL_RGB, GL_UNSIGNED_BYTE, pixels_.data());
        rows.bytesPerPixel = 3;
        rows.firstRow = n - rowCount;
        rows.rowCount = rowCount;
        rows.data = pixels_.data() + static_cast<size_t>(n - rowCount) * static_cast<size_t>(n) * 3;
    } else if (upperHalfOnly) {
        glReadPixels(0, 0, n, h, GL_RGBA, GL_UNSIGNED_BYTE, pixels_.data());
        rows.bytesPerPixel = 4;
        rows.firstRow = h;
        rows.rowCount = h;
    } else {
        // Only the rows that are summed.
        glReadPixels(0, n - rowCount, n, rowCount, GL_RGBA, GL_UNSIGNED_BYTE, pixels_.data());
        rows.bytesPerPixel = 4;
        rows.firstRow = n - rowCount;
        rows.rowCount = rowCount;
    }

    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    glPopMatrix();
    glPopClientAttrib();
    glPopAttrib();
    glBindFramebuffer(GL_DRAW_FRAMEBUFFER, static_cast<GLuint>(previousDraw));
    glBindFramebuffer(GL_READ_FRAMEBUFFER, static_cast<GLuint>(previousRead));
    glBindBuffer(GL_PIXEL_PACK_BUFFER, static_cast<GLuint>(previousPack));

    sumFaceWeights(rows, weights, h, itemLookup);
}
