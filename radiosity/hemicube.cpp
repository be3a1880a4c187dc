#include "radiosity/hemicube.h"

#include <GL/gl.h>
#include <GL/glext.h>
#include <GL/glu.h>

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <cstdio>

#include "radiosity/face_culling.h"
#include "radiosity/run_sum.h"
#include "radiosity/solver.h"
#include "scene/scene.h"
#include "scene/settings.h"

Vec3 hemicubeCentre;
Vec3 hemicubeUp;
ItemLookup itemLookup;
ItemGroups itemGroups;

namespace {

constexpr GLuint kItemBufferList = 2;

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

}  // namespace

CaptureOptions captureOptionsFor(CaptureMode mode) {
    CaptureOptions options;
    if (mode == CaptureMode::Literal) {
        options.halfSideFaces = false;
        options.rgbaReadBack = false;
        options.cullGroups = false;
    }
    return options;
}

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
    const unsigned generation = itemGroups.generation + 1;
    itemGroups = buildItemGroups(itemLookup);
    itemGroups.generation = generation;
    return itemCodeProblem();
}

HemicubeCapturer::HemicubeCapturer(CaptureMode mode) : mode_(mode), options_(captureOptionsFor(mode)) {
    if (glGetString(GL_VERSION) == nullptr) {
        error_ = "no current OpenGL context for the hemicube";
        return;
    }
    ensureTarget(settings.N);
}

HemicubeCapturer::~HemicubeCapturer() {
    releaseGroups();
}

void HemicubeCapturer::releaseGroups() {
    if (groupArray_ != 0) glDeleteVertexArrays(1, &groupArray_);
    if (groupBuffer_ != 0) glDeleteBuffers(1, &groupBuffer_);
    groupArray_ = groupBuffer_ = 0;
    uploadedGeneration_ = 0;
}

bool HemicubeCapturer::ensureGroups() {
    if (groupArray_ != 0 && uploadedGeneration_ == itemGroups.generation) return true;
    releaseGroups();
    if (itemGroups.generation == 0) return false;  // no item buffer built yet

    GLint previousArray = 0;
    GLint previousBuffer = 0;
    glGetIntegerv(GL_VERTEX_ARRAY_BINDING, &previousArray);
    glGetIntegerv(GL_ARRAY_BUFFER_BINDING, &previousBuffer);
    glGenVertexArrays(1, &groupArray_);
    glGenBuffers(1, &groupBuffer_);
    glBindVertexArray(groupArray_);
    glBindBuffer(GL_ARRAY_BUFFER, groupBuffer_);
    glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(itemGroups.vertices.size() * sizeof(ItemVertex)),
                 itemGroups.vertices.data(), GL_STATIC_DRAW);
    // The same floats glVertex3f gets; colour bytes i are drawn as i / 255,
    // which an 8-bit target stores as i again, like glColor3f(i / 255.0f).
    glEnableClientState(GL_VERTEX_ARRAY);
    glVertexPointer(3, GL_FLOAT, sizeof(ItemVertex), nullptr);
    glEnableClientState(GL_COLOR_ARRAY);
    glColorPointer(4, GL_UNSIGNED_BYTE, sizeof(ItemVertex),
                   reinterpret_cast<const void*>(offsetof(ItemVertex, red)));
    glBindVertexArray(static_cast<GLuint>(previousArray));
    glBindBuffer(GL_ARRAY_BUFFER, static_cast<GLuint>(previousBuffer));
    uploadedGeneration_ = itemGroups.generation;
    drawFirst_.reserve(itemGroups.groups.size());
    drawCount_.reserve(itemGroups.groups.size());
    return true;
}

// Draws the groups whose boxes reach into the face's frustum, in
// item-buffer order; neighbouring visible groups are merged into one range.
// Blocks of groups are tested first, so most of what lies outside the face
// is dismissed a block at a time.
void HemicubeCapturer::drawVisibleGroups(bool upperHalfOnly) {
    const Vec3& p = shooterState.position;
    const Vec3& nrm = shooterState.normal;
    const Vec3 eye(p.x + nrm.x / 1000.0, p.y + nrm.y / 1000.0, p.z + nrm.z / 1000.0);
    const FaceFrustum frustum =
        faceFrustum(eye, hemicubeCentre, hemicubeUp, settings.nearPlane, settings.farPlane, upperHalfOnly);
    drawFirst_.clear();
    drawCount_.clear();
    long long drawn = 0;
    auto draw = [&](const ItemGroup& group) {
        drawn += group.vertexCount / 3;
        if (!drawFirst_.empty() && drawFirst_.back() + drawCount_.back() == group.firstVertex) {
            drawCount_.back() += group.vertexCount;
        } else {
            drawFirst_.push_back(group.firstVertex);
            drawCount_.push_back(group.vertexCount);
        }
    };
    for (const ItemBlock& block : itemGroups.blocks) {
        if (boxCulled(block.box, frustum)) continue;
        for (int g = block.firstGroup; g < block.firstGroup + block.groupCount; ++g) {
            const ItemGroup& group = itemGroups.groups[static_cast<size_t>(g)];
            if (!boxCulled(group.box, frustum)) draw(group);
        }
    }
    stats_.trianglesDrawn += drawn;
    stats_.trianglesTotal += static_cast<long long>(itemGroups.vertices.size() / 3);
    if (drawFirst_.empty()) return;

    GLint previousArray = 0;
    glGetIntegerv(GL_VERTEX_ARRAY_BINDING, &previousArray);
    glBindVertexArray(groupArray_);
    glMultiDrawArrays(GL_TRIANGLES, drawFirst_.data(), drawCount_.data(),
                      static_cast<GLsizei>(drawFirst_.size()));
    glBindVertexArray(static_cast<GLuint>(previousArray));
}

bool HemicubeCapturer::ensureTarget(int size) {
    if (target_.ready() && size == target_.size()) return true;
    error_ = target_.create(size);
    if (!error_.empty()) {
        error_ = "hemicube face: " + error_;
        return false;
    }
    pixels_.assign(static_cast<size_t>(size) * static_cast<size_t>(size) * 4, 0);
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
    const bool culled = options_.cullGroups && ensureGroups();
    rowCount = std::min(rowCount, n);
    // A side face above the tangent plane is exactly the upper half of the
    // 90-degree view when N is even: a viewport of N x H pixels and the
    // frustum's upper half give the same pixel centres.
    const bool upperHalfOnly = options_.halfSideFaces && rowCount == h && n == 2 * h;
    const bool rgba = options_.rgbaReadBack;
    const Clock::time_point start = Clock::now();

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

    glBindFramebuffer(GL_FRAMEBUFFER, target_.framebuffer());
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
    if (culled) {
        // What display list 2 does before its triangles.
        glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        glShadeModel(GL_FLAT);
        glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
        drawVisibleGroups(upperHalfOnly);
    } else {
        glCallList(kItemBufferList);
    }

    FaceRows rows;
    rows.width = n;
    rows.data = pixels_.data();
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glPixelStorei(GL_PACK_ROW_LENGTH, 0);
    glPixelStorei(GL_PACK_SKIP_ROWS, 0);
    glPixelStorei(GL_PACK_SKIP_PIXELS, 0);
    glBindBuffer(GL_PIXEL_PACK_BUFFER, 0);
    if (!upperHalfOnly && !rgba) {
        // Every pixel of the face, as RGB; only the top rowCount rows are summed.
        glReadPixels(0, 0, n, n, GL_RGB, GL_UNSIGNED_BYTE, pixels_.data());
        rows.bytesPerPixel = 3;
        rows.firstRow = n - rowCount;
        rows.rowCount = rowCount;
        rows.data = pixels_.data() + static_cast<size_t>(n - rowCount) * static_cast<size_t>(n) * 3;
    } else if (upperHalfOnly) {
        glReadPixels(0, 0, n, h, rgba ? GL_RGBA : GL_RGB, GL_UNSIGNED_BYTE, pixels_.data());
        rows.bytesPerPixel = rgba ? 4 : 3;
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
    ++stats_.faces;
    stats_.drawReadSeconds += secondsSince(start);

    if (!options_.decode) return;
    const Clock::time_point sumStart = Clock::now();
    if (rows.bytesPerPixel == 4) {
        // itemLookup and itemGroups are rebuilt together.
        if (summerGeneration_ != itemGroups.generation) {
            summer_.prepare(itemLookup);
            summerGeneration_ = itemGroups.generation;
        }
        summer_.addFace(rows, weights, h, itemLookup);
        summer_.flush();
    } else {
        sumFaceWeights(rows, weights, h, itemLookup);
    }
    stats_.sumSeconds += secondsSince(sumStart);
}
