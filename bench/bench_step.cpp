#include "bench/bench_step.h"

#include <algorithm>
#include <cmath>

#include "bench/bench_scene.h"
#include "radiosity/hemicube.h"
#include "radiosity/item_buffer.h"
#include "radiosity/solver.h"
#include "radiosity/weights.h"
#include "scene/scene.h"
#include "view/shading.h"

double msSince(BenchClock::time_point start) {
    return std::chrono::duration<double, std::milli>(BenchClock::now() - start).count();
}

double medianOf(std::vector<double> v) {
    if (v.empty()) return 0.0;
    std::sort(v.begin(), v.end());
    const size_t m = v.size() / 2;
    return v.size() % 2 ? v[m] : 0.5 * (v[m - 1] + v[m]);
}

namespace {

double mean(const std::vector<double>& v) {
    double s = 0.0;
    for (const double x : v) s += x;
    return v.empty() ? 0.0 : s / static_cast<double>(v.size());
}

// What one face capture of a step looked at, so it can be drawn again.
struct RecordedFace {
    FaceView view;
    bool top = false;
};

// Passes every face on to the real capturer, remembering the view and the
// time spent inside the capture.
class RecordingCapturer : public FaceCapturer {
  public:
    RecordingCapturer(FaceCapturer& inner, int n) : inner_(&inner), n_(n) {}
    void captureFace(const FaceView& view, const std::vector<double>& weights) override {
        faces.push_back({view, view.rows == n_});
        const BenchClock::time_point start = BenchClock::now();
        inner_->captureFace(view, weights);
        insideMs += msSince(start);
    }
    std::vector<RecordedFace> faces;
    double insideMs = 0.0;

  private:
    FaceCapturer* inner_;
    int n_;
};

// Weight tables for faces of n x n pixels.
struct Tables {
    explicit Tables(int n) : n(n), top(buildTopTable(n / 2)), side(buildSideTable(n / 2)) {}
    int n;
    std::vector<double> top;
    std::vector<double> side;
};

// Draws the recorded faces again through cap (with its current options), at
// the capturer's own face size.
void replay(HemicubeCapturer& cap, const Tables& tables, const std::vector<RecordedFace>& faces, size_t first,
            size_t count) {
    for (size_t k = first; k < first + count && k < faces.size(); ++k) {
        const RecordedFace& f = faces[k];
        FaceView view = f.view;
        view.rows = f.top ? tables.n : tables.n / 2;
        cap.captureFace(view, f.top ? tables.top : tables.side);
    }
}

// The accumulators as a flat list, zeroed afterwards.
std::vector<double> takeFormFactors(Scene& scene) {
    std::vector<double> out;
    for (SceneObject& o : scene.objects) {
        for (auto& t : o.triangles) {
            out.push_back(t->formFactor);
            t->formFactor = 0.0;
        }
    }
    return out;
}

double largestDifference(const std::vector<double>& a, const std::vector<double>& b) {
    double worst = 0.0;
    for (size_t k = 0; k < a.size() && k < b.size(); ++k) worst = std::max(worst, std::fabs(a[k] - b[k]));
    return worst;
}

// One step as the idle callback runs it, without the progress line.
double timedStep(Scene& scene, Solver& solver) {
    const BenchClock::time_point start = BenchClock::now();
    solver.shootStep();
    const ShooterState& s = solver.shooterState;
    if (s.objectIndex >= 0 && s.objectIndex < static_cast<int>(scene.objects.size())) {
        SceneObject& o = scene.objects[static_cast<size_t>(s.objectIndex)];
        if (s.triangleIndex >= 0 && s.triangleIndex < o.triangleCount())
            o.triangles[static_cast<size_t>(s.triangleIndex)]->unshot = Vec3();
    }
    return msSince(start);
}

}  // namespace

BenchRow measureBenchScene(int target, int n, int steps) {
    BenchRow row;
    Scene scene;
    Settings& settings = scene.settings;
    settings.stopAt = 0.0;  // never converge during the run
    settings.N = n;
    settings.H = n / 2;
    const std::string problem = loadBenchScene(makeBenchRoom(target), scene);
    if (!problem.empty()) {
        row.error = problem;
        return row;
    }
    for (const SceneObject& o : scene.objects) row.triangles += o.triangleCount();
    row.n = n;
    row.steps = steps;
    ItemBuffer items;
    const std::string limits = buildItemBuffer(scene.objects, items);
    if (!limits.empty()) {
        row.error = limits;
        return row;
    }

    const Tables tables(n);
    HemicubeCapturer fast(items, n, settings.nearPlane, settings.farPlane, CaptureMode::Fast);
    HemicubeCapturer literal(items, n, settings.nearPlane, settings.farPlane, CaptureMode::Literal);
    HemicubeCapturer literal2n(items, 2 * n, settings.nearPlane, settings.farPlane, CaptureMode::Literal);
    for (const HemicubeCapturer* cap : {&fast, &literal, &literal2n}) {
        if (!cap->ok()) {
            row.error = cap->error();
            return row;
        }
    }
    RecordingCapturer recorder(fast, n);
    Solver solver(scene);
    solver.setFaceCapturer(&recorder);

    // Warm up (uploads, caches), then start the solution afresh.
    solver.initSolver();
    for (int k = 0; k < 3; ++k) timedStep(scene, solver);
    solver.initSolver();
    recorder.faces.clear();
    recorder.insideMs = 0.0;
    fast.resetStats();

    // Each step is followed by its reference paths on the same five faces,
    // so that the load of a shared machine touches all three alike: the
    // floor (drawn and read back, nothing decoded) and the literal
    // path (plus the step's own receive pass, the same code in both).
    CaptureOptions drawOnly = fast.options();
    drawOnly.decode = false;
    std::vector<double> stepMs, floorMs, literalMs;
    double drawRead = 0.0, sum = 0.0, receive = 0.0;
    long long drawn = 0, groups = 0;
    for (int k = 0; k < steps; ++k) {
        const size_t first = recorder.faces.size();
        const double inside = recorder.insideMs;
        fast.resetStats();
        stepMs.push_back(timedStep(scene, solver));
        const double receiveMs = stepMs.back() - (recorder.insideMs - inside);
        drawRead += fast.stats().drawReadSeconds * 1000.0;
        sum += fast.stats().sumSeconds * 1000.0;
        drawn += fast.stats().trianglesDrawn;
        groups += fast.stats().trianglesTotal;
        receive += receiveMs;

        fast.setOptions(drawOnly);
        BenchClock::time_point start = BenchClock::now();
        replay(fast, tables, recorder.faces, first, 5);
        floorMs.push_back(msSince(start));
        fast.setMode(CaptureMode::Fast);

        start = BenchClock::now();
        replay(literal, tables, recorder.faces, first, 5);
        literalMs.push_back(msSince(start) + receiveMs);
        takeFormFactors(scene);
    }
    row.meanMs = mean(stepMs);
    row.medianMs = medianOf(stepMs);
    row.captureMs = drawRead / steps;
    row.sumMs = sum / steps;
    row.receiveMs = receive / steps;
    row.drawnShare = groups > 0 ? static_cast<double>(drawn) / static_cast<double>(groups) : 1.0;
    row.floorMs = medianOf(floorMs);
    row.literalMs = medianOf(literalMs);

    std::vector<double> listMs;
    for (int k = 0; k < 3; ++k) {
        const BenchClock::time_point start = BenchClock::now();
        buildShadedList(scene);
        listMs.push_back(msSince(start));
    }
    row.listMs = medianOf(listMs);

    const std::vector<RecordedFace> faces = recorder.faces;
    // Form factors of the first steps' faces: the step's path against the
    // full-face path, and the full-face path against itself at 2N.
    const size_t compared = std::min<size_t>(faces.size() / 5, 8);
    std::vector<std::vector<double>> full;
    for (size_t s = 0; s < compared; ++s) {
        replay(fast, tables, faces, 5 * s, 5);
        const std::vector<double> a = takeFormFactors(scene);
        replay(literal, tables, faces, 5 * s, 5);
        full.push_back(takeFormFactors(scene));
        row.maxDiff = std::max(row.maxDiff, largestDifference(a, full.back()));
    }
    const Tables tables2n(2 * n);
    for (size_t s = 0; s < compared; ++s) {
        replay(literal2n, tables2n, faces, 5 * s, 5);
        row.samplingDiff = std::max(row.samplingDiff, largestDifference(takeFormFactors(scene), full[s]));
    }
    return row;
}
