#pragma once

#include <cmath>

// The one vector type: positions, normals, directions and RGB colours
// (x, y, z read as red, green, blue). Plain value semantics; every
// multi-term expression keeps the evaluation order written here, because
// results (welding, selection ties, result files) must be bit-reproducible.
struct Vec3 {
    double x = 0.0;
    double y = 0.0;
    double z = 0.0;

    Vec3() = default;
    Vec3(double x_, double y_, double z_) : x(x_), y(y_), z(z_) {}

    void set(double x_, double y_, double z_) {
        x = x_;
        y = y_;
        z = z_;
    }

    // Energy measure of an RGB colour; note the (x + z) + y order.
    double sum() const { return (x + z) + y; }

    // Scales the colour so that no channel exceeds 1 while keeping the
    // channel ratios. The divisor is never below 1, so colours already in
    // range are untouched and negative channels never raise it.
    void clampToUnit() {
        const double m = (y < x) ? x : y;
        const double n = (z > 1.0) ? z : 1.0;
        const double d = (m > n) ? m : n;
        x /= d;
        y /= d;
        z /= d;
    }

    Vec3& operator*=(double s) {
        x *= s;
        y *= s;
        z *= s;
        return *this;
    }

    double length() const { return std::sqrt((x * x + y * y) + z * z); }

    // The scalar product, summed (x + y) + z.
    double dot(const Vec3& o) const { return (x * o.x + y * o.y) + z * o.z; }

    // A copy divided by the length. No guard: the zero vector gives NaNs, so
    // callers that can meet it test the length first.
    Vec3 normalized() const {
        const double l = length();
        return {x / l, y / l, z / l};
    }

    Vec3 cross(const Vec3& o) const { return {y * o.z - z * o.y, z * o.x - x * o.z, x * o.y - y * o.x}; }

    Vec3 operator+(const Vec3& o) const { return {x + o.x, y + o.y, z + o.z}; }
    Vec3 operator-(const Vec3& o) const { return {x - o.x, y - o.y, z - o.z}; }
    Vec3 operator*(double s) const { return {x * s, y * s, z * s}; }
    Vec3 operator/(double s) const { return {x / s, y / s, z / s}; }
};
