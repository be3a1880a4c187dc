#include "mesh/subdivide.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace {

Vec3 lerp(const Vec3& a, const Vec3& b, double t) {
    return {a.x + (b.x - a.x) * t, a.y + (b.y - a.y) * t, a.z + (b.z - a.z) * t};
}

bool lexLess(const Vec3& a, const Vec3& b) {
    if (a.x != b.x) return a.x < b.x;
    if (a.y != b.y) return a.y < b.y;
    return a.z < b.z;
}

// The points of one edge from `from` to `to`, both ends included. Computed
// from the canonical order and reversed when needed, so the edge (b, a)
// yields exactly the points of (a, b) backwards.
std::vector<Vec3> edgePoints(const Vec3& from, const Vec3& to, double maxEdge) {
    const bool swapped = lexLess(to, from);
    const Vec3& lo = swapped ? to : from;
    const Vec3& hi = swapped ? from : to;
    const std::size_t n = edgeSegmentCount((hi - lo).length(), maxEdge);
    std::vector<Vec3> pts(n + 1);
    pts[0] = lo;
    pts[n] = hi;
    for (std::size_t i = 1; i < n; ++i)
        pts[i] = lerp(lo, hi, static_cast<double>(i) / static_cast<double>(n));
    if (swapped) std::reverse(pts.begin(), pts.end());
    return pts;
}

// A triangle being filled: corners c[0..2] and for edge k (from c[k] to
// c[(k+1)%3]) its points, both ends included.
struct Patch {
    std::array<std::vector<Vec3>, 3> edge;
};

class Subdivider {
  public:
    Subdivider(double maxEdge, std::size_t budget, std::vector<MeshTriangle>& out)
        : maxEdge_(maxEdge), budget_(budget), out_(out) {}

    bool fill(Patch p, int depth = 0) {
        // Longest-edge splitting shrinks triangles geometrically; the limit only
        // guards the stack against a geometry it was not designed for.
        if (depth > 400) {
            tooDeep = true;
            return false;
        }
        const std::size_t n0 = p.edge[0].size() - 1, n1 = p.edge[1].size() - 1, n2 = p.edge[2].size() - 1;
        if (n0 == n1 && n1 == n2) return grid(p, n0);
        // Split the longest edge. It has the largest count, which is above 1
        // here (equal counts were handled above).
        int k = 0;
        double best = -1.0;
        for (int e = 0; e < 3; ++e) {
            const double len = (p.edge[e].back() - p.edge[e].front()).length();
            if (len > best) {
                best = len;
                k = e;
            }
        }
        if (p.edge[k].size() < 3) {
            // Cannot happen with consistent counts; guard against endless recursion.
            int most = 0;
            for (int e = 1; e < 3; ++e)
                if (p.edge[e].size() > p.edge[most].size()) most = e;
            k = most;
        }
        // Rotate so the split edge runs a -> b and c is opposite; rotation
        // keeps the corner order and therefore the facing.
        const std::vector<Vec3>& ab = p.edge[k];
        const std::vector<Vec3>& bc = p.edge[(k + 1) % 3];
        const std::vector<Vec3>& ca = p.edge[(k + 2) % 3];
        const std::size_t mid = (ab.size() - 1) / 2;
        const Vec3 m = ab[mid];
        const Vec3 c = bc.back();
        std::vector<Vec3> mc = edgePoints(m, c, maxEdge_);
        std::vector<Vec3> cm(mc.rbegin(), mc.rend());

        Patch left;  // (a, m, c)
        left.edge[0].assign(ab.begin(), ab.begin() + static_cast<std::ptrdiff_t>(mid) + 1);
        left.edge[1] = mc;
        left.edge[2] = ca;
        Patch right;  // (m, b, c)
        right.edge[0].assign(ab.begin() + static_cast<std::ptrdiff_t>(mid), ab.end());
        right.edge[1] = bc;
        right.edge[2] = std::move(cm);
        return fill(std::move(left), depth + 1) && fill(std::move(right), depth + 1);
    }

  private:
    // Regular subdivision into n * n triangles similar to the patch: point
    // (i, j) is a + i/n (b - a) + j/n (c - a). Boundary points are taken from
    // the edge lists so they match the neighbours exactly.
    bool grid(const Patch& p, std::size_t n) {
        if (n * n > budget_ - out_.size()) return false;
        const Vec3 a = p.edge[0].front(), b = p.edge[1].front(), c = p.edge[2].front();
        auto point = [&](std::size_t i, std::size_t j) -> Vec3 {
            if (j == 0) return p.edge[0][i];      // a -> b
            if (i == 0) return p.edge[2][n - j];  // c -> a, reversed
            if (i + j == n) return p.edge[1][j];  // b -> c
            const double s = static_cast<double>(i) / static_cast<double>(n);
            const double t = static_cast<double>(j) / static_cast<double>(n);
            return {a.x + (b.x - a.x) * s + (c.x - a.x) * t, a.y + (b.y - a.y) * s + (c.y - a.y) * t,
                    a.z + (b.z - a.z) * s + (c.z - a.z) * t};
        };
        for (std::size_t j = 0; j < n; ++j) {
            for (std::size_t i = 0; i + j < n; ++i) {
                out_.push_back(MeshTriangle{{point(i, j), point(i + 1, j), point(i, j + 1)}});
                if (i + j + 1 < n)
                    out_.push_back(MeshTriangle{{point(i + 1, j), point(i + 1, j + 1), point(i, j + 1)}});
            }
        }
        return true;
    }

  public:
    bool tooDeep = false;

  private:
    double maxEdge_;
    std::size_t budget_;
    std::vector<MeshTriangle>& out_;
};

bool finite(const Vec3& v) {
    return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z);
}

}  // namespace

std::size_t edgeSegmentCount(double length, double maxEdge) {
    if (!(length > maxEdge)) return 1;
    const double n = std::ceil(length / maxEdge);
    return static_cast<std::size_t>(n);
}

bool subdivideTriangles(const std::vector<MeshTriangle>& in, double maxEdge, std::size_t maxTriangles,
                        std::vector<MeshTriangle>& out, std::string& error) {
    if (!(maxEdge > 0.0) || !std::isfinite(maxEdge)) {
        error = "the maximum edge length must be a positive number";
        return false;
    }
    std::vector<MeshTriangle> result;
    Subdivider sub(maxEdge, maxTriangles, result);
    for (const MeshTriangle& t : in) {
        for (const Vec3& v : t.corners) {
            if (!finite(v)) {
                error = "a triangle has a coordinate that is not a finite number";
                return false;
            }
        }
        // Refuse before allocating edge points for absurd ratios: a triangle
        // needs at least (longest edge count) output triangles.
        for (int e = 0; e < 3; ++e) {
            const double len = (t.corners[(e + 1) % 3] - t.corners[e]).length();
            if (!std::isfinite(len) || len / maxEdge > static_cast<double>(maxTriangles)) {
                error = "subdividing would create more than " + std::to_string(maxTriangles) +
                        " triangles; choose a larger maximum edge length";
                return false;
            }
        }
        Patch p;
        for (int e = 0; e < 3; ++e) p.edge[e] = edgePoints(t.corners[e], t.corners[(e + 1) % 3], maxEdge);
        if (!sub.fill(std::move(p))) {
            error = sub.tooDeep ? "subdivision of a triangle did not converge"
                                : "subdividing would create more than " + std::to_string(maxTriangles) +
                                      " triangles; choose a larger maximum edge length";
            return false;
        }
    }
    out.insert(out.end(), result.begin(), result.end());
    return true;
}
