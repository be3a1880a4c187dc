#include "radiosity/hemicube.h"

#include <GL/gl.h>
#include <GL/glext.h>
#include <GL/glu.h>

#include <algorithm>
#include <chrono>
#include <cstddef>

#include "radiosity/face_culling.h"
#include "radiosity/gl_bindings.h"
#include "radiosity/item_buffer.h"
#include "radiosity/occlusion.h"
#include "scene/check.h"
#include "scene/scene.h"

namespace {

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

HemicubeCapturer::HemicubeCapturer(const ItemBuffer& items, int faceSize, double nearPlane, double farPlane,
                                   CaptureMode mode)
    : items_(&items),
      faceSize_(faceSize),
      nearPlane_(nearPlane),
      farPlane_(farPlane),
      mode_(mode),
      options_(captureOptionsFor(mode)) {
    if (glGetString(GL_VERSION) == nullptr) {
        error_ = "no current OpenGL context for the hemicube";
        return;
    }
    ensureTarget(faceSize);
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

// Uploads the item groups when they changed; the caller keeps the bindings.
bool HemicubeCapturer::ensureGroups() {
    const ItemGroups& groups = items_->itemGroups;
    if (groupArray_ != 0 && uploadedGeneration_ == groups.generation) return true;
    releaseGroups();
    if (groups.generation == 0) return false;  // no item buffer built yet

    glGenVertexArrays(1, &groupArray_);
    glGenBuffers(1, &groupBuffer_);
    glBindVertexArray(groupArray_);
    glBindBuffer(GL_ARRAY_BUFFER, groupBuffer_);
    glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(groups.vertices.size() * sizeof(ItemVertex)),
                 groups.vertices.data(), GL_STATIC_DRAW);
    // The same floats glVertex3f gets; colour bytes i are drawn as i / 255,
    // which an 8-bit target stores as i again, like glColor3f(i / 255.0f).
    glEnableClientState(GL_VERTEX_ARRAY);
    glVertexPointer(3, GL_FLOAT, sizeof(ItemVertex), nullptr);
    glEnableClientState(GL_COLOR_ARRAY);
    glColorPointer(4, GL_UNSIGNED_BYTE, sizeof(ItemVertex),
                   reinterpret_cast<const void*>(offsetof(ItemVertex, red)));
    uploadedGeneration_ = groups.generation;
    drawFirst_.reserve(groups.groups.size());
    drawCount_.reserve(groups.groups.size());
    return true;
}

double HemicubeCapturer::farPlaneFor(const FaceView& view) const {
    return view.farPlane > nearPlane_ && view.farPlane < farPlane_ ? view.farPlane : farPlane_;
}

// Draws what the face can show, in item-buffer order. The groups whose boxes
// reach into the face's frustum are found first; blocks of groups are tested
// before their groups, so most of what lies outside the face is dismissed a
// block at a time. A face with a near far plane (a local shot) draws the
// triangles of those groups that reach into it one by one; a face with many
// triangles in view leaves out the groups hidden behind the nearest ones.
void HemicubeCapturer::drawVisibleGroups(const FaceView& view, bool upperHalfOnly) {
    const ItemGroups& groups = items_->itemGroups;
    const double farPlane = farPlaneFor(view);
    const FaceFrustum frustum =
        faceFrustum(view.eye, view.centre, view.up, nearPlane_, farPlane, upperHalfOnly);
    candidates_.clear();
    long long candidateTriangles = 0;
    for (const ItemBlock& block : groups.blocks) {
        if (boxCulled(block.box, frustum)) continue;
        for (int g = block.firstGroup; g < block.firstGroup + block.groupCount; ++g) {
            const ItemGroup& group = groups.groups[static_cast<size_t>(g)];
            if (boxCulled(group.box, frustum)) continue;
            candidates_.push_back(g);
            candidateTriangles += group.vertexCount / 3;
        }
    }
    stats_.trianglesTotal += static_cast<long long>(groups.vertices.size() / 3);
    if (options_.cullTriangles && farPlane < farPlane_) {
        drawTrianglesInside(frustum);
        return;
    }
    if (options_.cullHidden && candidateTriangles > kHiddenCullMinTriangles && hiddenPassPays()) {
        const FaceProjection projection(view.eye, view.centre, view.up, nearPlane_, farPlane, faceSize_,
                                        upperHalfOnly);
        if (projection.valid())
            hiddenShare_ = 0.5 * (hiddenShare_ + dropHiddenGroups(projection, candidateTriangles));
    }
    drawGroups(candidates_);
}

// The depth pass costs about an eighth more drawing and a read-back: where
// it has lately left out less than a quarter of the triangles (a single
// room, say), only every sixteenth face tries it, to notice when the views
// change.
bool HemicubeCapturer::hiddenPassPays() {
    if (hiddenShare_ >= 0.25 || ++facesWithoutPass_ >= 16) {
        facesWithoutPass_ = 0;
        return true;
    }
    return false;
}

// Keeps in candidates_ the groups that may show: the nearest groups, about
// an eighth of the triangles, are drawn into the depth buffer alone, and
// every other group whose box lies behind the depths they leave is dropped.
// Both buffers are cleared again for the real drawing. Returns the share of
// the candidates' triangles left out.
double HemicubeCapturer::dropHiddenGroups(const FaceProjection& projection, long long candidateTriangles) {
    const ItemGroups& groups = items_->itemGroups;
    const size_t count = candidates_.size();
    footprints_.resize(count);
    byDistance_.resize(count);
    for (size_t k = 0; k < count; ++k) {
        footprints_[k] = projection.footprint(groups.groups[static_cast<size_t>(candidates_[k])].box);
        byDistance_[k] = static_cast<int>(k);
    }
    std::sort(byDistance_.begin(), byDistance_.end(), [this](int a, int b) {
        return footprints_[static_cast<size_t>(a)].nearestDistance <
               footprints_[static_cast<size_t>(b)].nearestDistance;
    });
    // The occluders: the nearest groups, and every group the test cannot
    // judge (it reaches the near plane), which is drawn anyway.
    const long long budget = std::max(kHiddenCullMinTriangles / 2, candidateTriangles / 8);
    occluder_.assign(count, 0);
    long long taken = 0;
    for (const int k : byDistance_) {
        if (taken >= budget) break;
        occluder_[static_cast<size_t>(k)] = 1;
        taken += groups.groups[static_cast<size_t>(candidates_[static_cast<size_t>(k)])].vertexCount / 3;
    }
    occluders_.clear();
    for (size_t k = 0; k < count; ++k) {
        if (!footprints_[k].testable) occluder_[k] = 1;
        if (occluder_[k]) occluders_.push_back(candidates_[k]);
    }
    glColorMask(GL_FALSE, GL_FALSE, GL_FALSE, GL_FALSE);
    drawGroups(occluders_);
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);

    const int w = projection.width(), h = projection.height();
    depth_.resize(static_cast<size_t>(w) * static_cast<size_t>(h));
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    glPixelStorei(GL_PACK_ROW_LENGTH, 0);
    glPixelStorei(GL_PACK_SKIP_ROWS, 0);
    glPixelStorei(GL_PACK_SKIP_PIXELS, 0);
    glBindBuffer(GL_PIXEL_PACK_BUFFER, 0);
    glReadPixels(0, 0, w, h, GL_DEPTH_COMPONENT, GL_FLOAT, depth_.data());
    pyramid_.build(depth_.data(), w, h);

    size_t kept = 0;
    long long dropped = 0;
    for (size_t k = 0; k < count; ++k) {
        if (occluder_[k] || !pyramid_.hides(footprints_[k])) {
            candidates_[kept++] = candidates_[k];
        } else {
            dropped += groups.groups[static_cast<size_t>(candidates_[k])].vertexCount / 3;
        }
    }
    stats_.groupsHidden += static_cast<long long>(count - kept);
    candidates_.resize(kept);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    return static_cast<double>(dropped) / static_cast<double>(candidateTriangles);
}

// Draws the listed groups (in item order), neighbouring ones as one range.
void HemicubeCapturer::drawGroups(const std::vector<int>& list) {
    const ItemGroups& groups = items_->itemGroups;
    drawFirst_.clear();
    drawCount_.clear();
    long long drawn = 0;
    for (const int g : list) {
        const ItemGroup& group = groups.groups[static_cast<size_t>(g)];
        drawn += group.vertexCount / 3;
        if (!drawFirst_.empty() && drawFirst_.back() + drawCount_.back() == group.firstVertex) {
            drawCount_.back() += group.vertexCount;
        } else {
            drawFirst_.push_back(group.firstVertex);
            drawCount_.push_back(group.vertexCount);
        }
    }
    stats_.trianglesDrawn += drawn;
    if (drawFirst_.empty()) return;
    glBindVertexArray(groupArray_);
    glMultiDrawArrays(GL_TRIANGLES, drawFirst_.data(), drawCount_.data(),
                      static_cast<GLsizei>(drawFirst_.size()));
}

// Draws, in item order, the triangles of the candidate groups whose own
// boxes reach into the frustum (a box taken from the drawn floats).
void HemicubeCapturer::drawTrianglesInside(const FaceFrustum& frustum) {
    const ItemGroups& groups = items_->itemGroups;
    indices_.clear();
    for (const int g : candidates_) {
        const ItemGroup& group = groups.groups[static_cast<size_t>(g)];
        for (int v = group.firstVertex; v < group.firstVertex + group.vertexCount; v += 3) {
            if (boxCulled(drawnBox(&groups.vertices[static_cast<size_t>(v)]), frustum)) continue;
            for (int k = 0; k < 3; ++k) indices_.push_back(static_cast<unsigned>(v + k));
        }
    }
    stats_.trianglesDrawn += static_cast<long long>(indices_.size() / 3);
    if (indices_.empty()) return;
    glBindVertexArray(groupArray_);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, 0);  // indices from client memory
    glDrawElements(GL_TRIANGLES, static_cast<GLsizei>(indices_.size()), GL_UNSIGNED_INT, indices_.data());
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

void HemicubeCapturer::backupDrawState() {
    glPushAttrib(GL_VIEWPORT_BIT | GL_ENABLE_BIT | GL_LIGHTING_BIT | GL_POLYGON_BIT | GL_COLOR_BUFFER_BIT |
                 GL_DEPTH_BUFFER_BIT | GL_CURRENT_BIT | GL_TRANSFORM_BIT);
    glPushClientAttrib(GL_CLIENT_PIXEL_STORE_BIT);
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
}

void HemicubeCapturer::restoreDrawState() {
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    glPopMatrix();
    glPopClientAttrib();
    glPopAttrib();
}

void HemicubeCapturer::setUpFace(const FaceView& view, const FaceLayout& layout) {
    const int n = faceSize_;
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

    const double farPlane = farPlaneFor(view);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    if (layout.upperHalfOnly) {
        glViewport(0, 0, n, n / 2);
        glFrustum(-nearPlane_, nearPlane_, 0.0, nearPlane_, nearPlane_, farPlane);
    } else {
        glViewport(0, 0, n, n);
        gluPerspective(90.0, 1.0, nearPlane_, farPlane);
    }
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    gluLookAt(view.eye.x, view.eye.y, view.eye.z, view.centre.x, view.centre.y, view.centre.z, view.up.x,
              view.up.y, view.up.z);
}

void HemicubeCapturer::drawFace(const FaceView& view, const FaceLayout& layout) {
    if (!layout.culled) {
        glCallList(ItemBuffer::kList);  // clears the frame itself
        return;
    }
    // What display list 2 does before its triangles.
    glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glShadeModel(GL_FLAT);
    glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
    drawVisibleGroups(view, layout.upperHalfOnly);
}

FaceRows HemicubeCapturer::readFace(const FaceLayout& layout) {
    const int n = faceSize_;
    const int h = n / 2;
    const int rowCount = layout.rowCount;
    const bool rgba = options_.rgbaReadBack;
    FaceRows rows;
    rows.width = n;
    rows.data = pixels_.data();
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glPixelStorei(GL_PACK_ROW_LENGTH, 0);
    glPixelStorei(GL_PACK_SKIP_ROWS, 0);
    glPixelStorei(GL_PACK_SKIP_PIXELS, 0);
    glBindBuffer(GL_PIXEL_PACK_BUFFER, 0);
    if (!layout.upperHalfOnly && !rgba) {
        // Every pixel of the face, as RGB; only the top rowCount rows are summed.
        glReadPixels(0, 0, n, n, GL_RGB, GL_UNSIGNED_BYTE, pixels_.data());
        rows.bytesPerPixel = 3;
        rows.firstRow = n - rowCount;
        rows.rowCount = rowCount;
        rows.data = pixels_.data() + static_cast<size_t>(n - rowCount) * static_cast<size_t>(n) * 3;
    } else if (layout.upperHalfOnly) {
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
    return rows;
}

void HemicubeCapturer::decodeFace(const FaceRows& rows, const std::vector<double>& weights,
                                  FormFactors& formFactors) {
    const int h = faceSize_ / 2;
    const ItemLookup& lookup = items_->itemLookup;
    if (rows.bytesPerPixel == 4) {
        // The lookup and the groups are rebuilt together.
        if (summerGeneration_ != items_->itemGroups.generation) {
            summer_.prepare(lookup);
            summerGeneration_ = items_->itemGroups.generation;
        }
        summer_.addFace(rows, weights.data(), h, lookup);
        summer_.flush(formFactors.data());
    } else {
        sumFaceWeights(rows, weights.data(), h, lookup, formFactors.data());
    }
}

void HemicubeCapturer::captureFace(const FaceView& view, const std::vector<double>& weights,
                                   FormFactors& formFactors) {
    const int n = faceSize_;
    const int h = n / 2;
    CHECK(ok());
    CHECK(items_->built());
    CHECK_EQ(weights.size(), static_cast<size_t>(h) * static_cast<size_t>(h));
    CHECK_GT(view.rows, 0);
    CHECK_LE(view.rows, n);
    CHECK_EQ(formFactors.size(), static_cast<size_t>(items_->itemLookup.triangleCount));
    FaceLayout layout;
    layout.rowCount = view.rows;
    // A side face above the tangent plane is exactly the upper half of the
    // 90-degree view when N is even: a viewport of N x H pixels and the
    // frustum's upper half give the same pixel centres.
    layout.upperHalfOnly = options_.halfSideFaces && view.rows == h && n == 2 * h;
    const Clock::time_point start = Clock::now();

    FaceRows rows;
    {
        const GlBindingGuard bindings;  // backup, and the restore at the end of the block
        layout.culled = options_.cullGroups && ensureGroups();
        // Display list 2 clears the frame itself; without it the target
        // would still hold an older image.
        if (!layout.culled) CHECK(glIsList(ItemBuffer::kList));
        backupDrawState();
        setUpFace(view, layout);
        drawFace(view, layout);
        rows = readFace(layout);
        restoreDrawState();
    }
    ++stats_.faces;
    stats_.drawReadSeconds += secondsSince(start);

    if (!options_.decode) return;
    const Clock::time_point sumStart = Clock::now();
    decodeFace(rows, weights, formFactors);
    stats_.sumSeconds += secondsSince(sumStart);
}
