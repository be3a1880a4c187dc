#include "radiosity/occlusion.h"

#include <algorithm>
#include <cmath>

namespace {

// A fragment's depth, transformed and interpolated in single precision and
// stored in 24 bits, can come out nearer than the exact depth of its point by
// far less than this (in window depth, [0, 1]). A box is only called hidden
// when the depths in front of it are nearer by more.
constexpr double kDepthMargin = 2e-5;

// A rectangle is tested on the finest level where it spans at most this many
// tiles more than one, each way: at most 16 tiles read.
constexpr int kTilesAcross = 3;

bool finite(const Vec3& v) {
    return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z);
}

}  // namespace

FaceProjection::FaceProjection(const Vec3& eye, const Vec3& centre, const Vec3& up, double nearPlane,
                               double farPlane, int size, bool upperHalfOnly)
    : eye_(eye), near_(nearPlane), far_(farPlane) {
    if (!finite(eye) || !finite(centre) || !finite(up) || !std::isfinite(nearPlane) ||
        !std::isfinite(farPlane) || !(nearPlane > 0.0) || !(farPlane > nearPlane) || size < 2)
        return;
    // The view basis of gluLookAt, as faceFrustum builds it.
    Vec3 f = centre - eye;
    if (!(f.length() > 0.0)) return;
    f = f.normalized();
    Vec3 s = f.cross(up);
    if (!(s.length() > 0.0)) return;
    s = s.normalized();
    forward_ = f;
    side_ = s;
    up_ = s.cross(f);
    width_ = size;
    height_ = upperHalfOnly ? size / 2 : size;
    halfSize_ = 0.5 * size;
    // A full face maps y / d in [-1, 1] onto [0, N]; the upper half (the
    // frustum from 0 to the top, on N / 2 rows) maps [0, 1] onto [0, N / 2].
    yOffset_ = upperHalfOnly ? 0.0 : halfSize_;
    valid_ = true;
}

double FaceProjection::nearestDistance(const Box& box) const {
    // The forward distance is linear in the point: its smallest value over
    // the box is at the corner chosen per axis by the sign of the direction.
    const Vec3 p(forward_.x >= 0.0 ? box.lo.x : box.hi.x, forward_.y >= 0.0 ? box.lo.y : box.hi.y,
                 forward_.z >= 0.0 ? box.lo.z : box.hi.z);
    return forward_.dot(p - eye_);
}

FaceProjection::Footprint FaceProjection::footprint(const Box& box) const {
    Footprint out;
    if (!valid_) return out;
    const double dMin = nearestDistance(box);
    out.nearestDistance = dMin;
    // A box reaching the near plane is clipped there; its projection has no
    // bound to test. (NaN boxes fail the comparison and are drawn.)
    if (!(dMin > near_ * 1.001)) return out;

    double xLo = HUGE_VAL, xHi = -HUGE_VAL, yLo = HUGE_VAL, yHi = -HUGE_VAL;
    for (int k = 0; k < 8; ++k) {
        const Vec3 corner((k & 1) ? box.hi.x : box.lo.x, (k & 2) ? box.hi.y : box.lo.y,
                          (k & 4) ? box.hi.z : box.lo.z);
        const Vec3 v = corner - eye_;
        const double d = forward_.dot(v);
        const double x = side_.dot(v) / d * halfSize_ + halfSize_;
        const double y = up_.dot(v) / d * halfSize_ + yOffset_;
        xLo = std::min(xLo, x);
        xHi = std::max(xHi, x);
        yLo = std::min(yLo, y);
        yHi = std::max(yHi, y);
    }
    if (!std::isfinite(xLo + xHi + yLo + yHi)) return out;
    // The projection of everything inside the box lies within the corners'
    // bounds; a pixel whose centre is reached lies within them too. One more
    // pixel on every side covers the rasteriser's vertex snapping. Rows and
    // columns are clamped to the viewport: nothing is drawn outside it.
    const double limitX = width_, limitY = height_;
    auto first = [](double lo, double limit) {
        return static_cast<int>(std::clamp(std::floor(lo) - 1.0, 0.0, limit));
    };
    auto last = [](double hi, double limit) {
        return static_cast<int>(std::clamp(std::floor(hi) + 1.0, -1.0, limit - 1.0));
    };
    out.x0 = first(xLo, limitX);
    out.x1 = last(xHi, limitX);
    out.y0 = first(yLo, limitY);
    out.y1 = last(yHi, limitY);
    // Window depth of a point at distance d in front of the eye (glFrustum
    // and glDepthRange(0, 1)); it grows with d.
    const double n = near_, f = far_;
    out.nearestDepth = 0.5 + 0.5 * ((f + n) / (f - n) - 2.0 * f * n / ((f - n) * dMin));
    out.testable = true;
    return out;
}

void DepthPyramid::build(const float* depth, int width, int height) {
    levels_.clear();
    Level base;
    base.width = width;
    base.height = height;
    base.maxDepth.assign(depth, depth + static_cast<size_t>(width) * static_cast<size_t>(height));
    levels_.push_back(std::move(base));
    while (levels_.back().width > 1 || levels_.back().height > 1) {
        const Level& below = levels_.back();
        Level up;
        up.width = (below.width + 1) / 2;
        up.height = (below.height + 1) / 2;
        up.maxDepth.assign(static_cast<size_t>(up.width) * static_cast<size_t>(up.height), 0.0f);
        for (int y = 0; y < below.height; ++y) {
            for (int x = 0; x < below.width; ++x) {
                float& cell = up.maxDepth[static_cast<size_t>(y / 2) * static_cast<size_t>(up.width) +
                                          static_cast<size_t>(x / 2)];
                cell =
                    std::max(cell, below.maxDepth[static_cast<size_t>(y) * static_cast<size_t>(below.width) +
                                                  static_cast<size_t>(x)]);
            }
        }
        levels_.push_back(std::move(up));
    }
}

bool DepthPyramid::hides(const FaceProjection::Footprint& fp) const {
    if (!fp.testable || levels_.empty()) return false;
    if (fp.x1 < fp.x0 || fp.y1 < fp.y0) return true;  // nothing of it inside the viewport
    // The finest level on which the rectangle spans at most four tiles a side.
    size_t level = 0;
    while (level + 1 < levels_.size() && ((fp.x1 >> level) - (fp.x0 >> level) > kTilesAcross ||
                                          (fp.y1 >> level) - (fp.y0 >> level) > kTilesAcross))
        ++level;
    const Level& l = levels_[level];
    const double limit = fp.nearestDepth - kDepthMargin;
    for (int ty = fp.y0 >> level; ty <= (fp.y1 >> level) && ty < l.height; ++ty) {
        for (int tx = fp.x0 >> level; tx <= (fp.x1 >> level) && tx < l.width; ++tx) {
            const float d =
                l.maxDepth[static_cast<size_t>(ty) * static_cast<size_t>(l.width) + static_cast<size_t>(tx)];
            if (!(d < limit)) return false;
        }
    }
    return true;
}
