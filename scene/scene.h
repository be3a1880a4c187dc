#pragma once

#include <array>
#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

#include "scene/limits.h"
#include "scene/settings.h"
#include "scene/vec3.h"

// Scene records. A SceneObject owns its triangles and vertices (through
// unique_ptr, so addresses stay fixed once made); a Triangle owns nothing and
// points at its object's vertices; a Vertex lists the triangles that use it.

struct Vertex;

struct Triangle {
    std::array<Vertex*, 3> corners{};    // file order; fixes the front side
    std::array<int, 3> cornerIndices{};  // the same vertices as indices into SceneObject::vertices
    Vec3 normal;                         // unit normal, (0,0,0) for a degenerate triangle
    Vec3 centroid;
    double area = 0.0;
    Vec3 radiosity;           // accumulated radiosity: what is shown and saved
    Vec3 emission;            // the object's emission, copied in by the solver
    Vec3 unshot;              // received but not yet shot
    double formFactor = 0.0;  // hemicube accumulator of the current step

    void setCorners(Vertex* v0, Vertex* v1, Vertex* v2, int i0, int i1, int i2);
    void computeNormal();
    void computeArea();
    void computeCentroid();
};

struct Vertex {
    Vec3 position;
    // The triangles that use this vertex, in the order they were welded to it;
    // a triangle appears once per corner welded here.
    std::vector<Triangle*> triangleList;

    Vertex() = default;
    explicit Vertex(const Vec3& p) : position(p) {}
    void addTriangle(Triangle* t) { triangleList.push_back(t); }
};

// One entry of a welding chain: a vertex and its index in the object's vertices.
struct WeldNode {
    Vertex* vertex = nullptr;
    int index = 0;
};

// One past the most triangles an object may hold (the item buffer codes
// 65535): the reader stops there, so a huge file is refused without being
// read and welded whole.
constexpr int kMaxTrianglesRead = kMaxTrianglesPerObject + 1;

constexpr int kWeldBuckets = 1000;
constexpr double kWeldTolerance = 0.001;

// Key of one coordinate: coordinate × 1000 truncated toward zero to 64 bits,
// low 32 bits kept; out of the 64-bit range or NaN gives 0.
int weldKey(double c);
// Bucket of a corner: the three keys xor-ed, as unsigned 32 bits, modulo 1000.
int weldBucket(double x, double y, double z);

// What a triangle-file load found, for the caller's message.
struct LoadReport {
    bool opened = false;  // the file was opened and read
    int triangles = 0;    // triangles accepted
    std::string problem;  // non-empty when the number list ended early or values were refused
    int problemLine = 0;  // 1-based line of that problem, 0 when none
    int degenerate = 0;   // triangles of zero area (kept; they neither shoot nor receive)
};

struct SceneObject {
    std::string name;                                  // first line of the triangle file; empty until loaded
    std::vector<std::unique_ptr<Triangle>> triangles;  // file order
    std::vector<std::unique_ptr<Vertex>> vertices;     // order of creation
    Vec3 reflectance;                                  // configured integers / 255
    Vec3 emission;
    // Heads of the welding chains; only non-empty while a file is loaded.
    std::vector<std::vector<WeldNode>> weldTable;

    int triangleCount() const { return static_cast<int>(triangles.size()); }
    int vertexCount() const { return static_cast<int>(vertices.size()); }

    // Reserves room for the configured number of triangles (and three times as
    // many vertices). Only a hint: the arrays grow when a file holds more, and
    // absurd values are capped so they cannot exhaust memory.
    void reserveTriangles(long long capacity);

    // Opens and reads a triangle file; 1 when it was opened and read, 0 when it
    // could not be opened (the object is then left unchanged).
    int loadTriangleFile(const std::string& path, LoadReport* report = nullptr);
    // The reader proper, for any stream; always "opens".
    LoadReport loadTriangles(std::istream& in);

    int findOrAddVertex(double x, double y, double z, Triangle* t);
    void freeWeldTable();
};

// One scene and how it is viewed: the objects, one per "object_%d" section
// in configuration order, the settings and the viewing camera. Whatever
// reads, solves or draws a scene is handed the one it works on.
struct Scene {
    std::vector<SceneObject> objects;
    int objectCount = 0;  // objects the configuration declared (objects.size() once read)
    Settings settings;
    Vec3 cameraPos{0.0, -20.0, 0.0};
    Vec3 cameraLookAt{0.0, 0.0, 0.0};
    Vec3 cameraUp{0.0, 0.0, 1.0};

    // Puts every setting and the camera back to the defaults; the objects stay.
    void resetSettings();
};
