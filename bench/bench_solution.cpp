#include "bench/bench_solution.h"

#include <cmath>
#include <cstdio>
#include <ctime>
#include <fstream>

#include "app/solver_setup.h"
#include "bench/bench_step.h"
#include "bench/quiet_stdout.h"
#include "radiosity/patch_rounds.h"
#include "scene/scene.h"

namespace {

double cpuSeconds() {
    timespec ts{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

std::vector<Vec3> radiosityOf(const Scene& scene) {
    std::vector<Vec3> out;
    for (const SceneObject& o : scene.objects)
        for (const auto& t : o.triangles) out.push_back(t->radiosity);
    return out;
}

SolutionPoint pointNow(const Scene& scene, const Solver& solver, double share, int step,
                       BenchClock::time_point start, double cpuStart) {
    SolutionPoint p;
    p.share = share;
    p.steps = step;
    const PatchRounds* rounds = solver.patchRounds();
    p.shots = rounds ? rounds->wholeShots() + rounds->localShots() : step;
    p.seconds = msSince(start) / 1000.0;
    p.cpuSeconds = cpuSeconds() - cpuStart;
    p.radiosity = radiosityOf(scene);
    return p;
}

template <class T>
void put(std::ofstream& out, const T& v) {
    out.write(reinterpret_cast<const char*>(&v), sizeof v);
}
template <class T>
bool get(std::ifstream& in, T& v) {
    return static_cast<bool>(in.read(reinterpret_cast<char*>(&v), sizeof v));
}

}  // namespace

const SolutionPoint* SolutionRun::at(double share) const {
    for (const SolutionPoint& p : points)
        if (p.share == share) return &p;
    return nullptr;
}

SolutionRun solveToShares(Scene& scene, const std::vector<double>& shares, double maxSeconds,
                          const RefinementRule& rule) {
    SolutionRun run;
    run.patchSize = scene.settings.patchSize;
    scene.settings.stopAt = 0.0;  // the targets decide when to stop
    for (const SceneObject& o : scene.objects) run.triangles += o.triangleCount();

    const QuietStdout quiet;
    SolverSetup setup;
    run.error = prepareSolver(scene, setup);
    if (!run.error.empty()) return run;
    Solver& solver = *setup.solver;
    solver.setRefinementRule(rule);
    const BenchClock::time_point start = BenchClock::now();
    const double cpuStart = cpuSeconds();
    if (!solver.initSolver()) {
        run.error = "nothing emits";
        return run;
    }
    if (const PatchRounds* rounds = solver.patchRounds())
        run.patches = static_cast<int>(rounds->patches().tops.size());
    size_t next = 0;
    int step = 0;
    double share = 1.0;
    while (next < shares.size()) {
        solver.idleStep();
        ++step;
        share = solver.convergenceMeasure;
        for (; next < shares.size() && share <= shares[next]; ++next)
            run.points.push_back(pointNow(scene, solver, shares[next], step, start, cpuStart));
        if (!std::isfinite(share) || msSince(start) / 1000.0 > maxSeconds) break;
    }
    run.finished = next == shares.size();
    if (!run.finished) run.points.push_back(pointNow(scene, solver, share, step, start, cpuStart));
    if (const PatchRounds* rounds = solver.patchRounds()) {
        run.wholeShots = rounds->wholeShots();
        run.localShots = rounds->localShots();
    }
    return run;
}

SolutionDifference compareSolutions(const Scene& scene, const std::vector<Vec3>& solution,
                                    const std::vector<Vec3>& reference) {
    SolutionDifference d;
    double squares = 0.0;
    double sum = 0.0;
    long long counted = 0;
    size_t k = 0;
    for (size_t o = 0; o < scene.objects.size(); ++o) {
        double mine = 0.0;
        double theirs = 0.0;
        for (const auto& t : scene.objects[o].triangles) {
            if (k >= solution.size() || k >= reference.size()) return d;
            const double a = solution[k].sum();
            const double b = reference[k].sum();
            ++k;
            if (!(t->area > 0.0)) continue;
            squares += (a - b) * (a - b);
            sum += b;
            ++counted;
            mine += a * t->area;
            theirs += b * t->area;
        }
        if (theirs > 0.0) {
            const double off = mine / theirs - 1.0;
            if (std::fabs(off) > std::fabs(d.worstSurface)) {
                d.worstSurface = off;
                d.worstObject = static_cast<int>(o);
            }
        }
    }
    if (counted > 0 && sum > 0.0) d.rms = std::sqrt(squares / counted) / (sum / counted);
    return d;
}

void writeSolutionRun(const std::string& path, const SolutionRun& r) {
    std::ofstream out(path, std::ios::binary);
    put(out, r.triangles);
    put(out, r.finished);
    put(out, r.points.size());
    for (const SolutionPoint& p : r.points) {
        put(out, p.share);
        put(out, p.steps);
        put(out, p.shots);
        put(out, p.seconds);
        put(out, p.cpuSeconds);
        put(out, p.radiosity.size());
        out.write(reinterpret_cast<const char*>(p.radiosity.data()),
                  static_cast<std::streamsize>(p.radiosity.size() * sizeof(Vec3)));
    }
}

bool readSolutionRun(const std::string& path, SolutionRun& r) {
    std::ifstream in(path, std::ios::binary);
    size_t n = 0;
    if (!in || !get(in, r.triangles) || !get(in, r.finished) || !get(in, n) || n > 64) return false;
    r.points.resize(n);
    for (SolutionPoint& p : r.points) {
        size_t m = 0;
        if (!get(in, p.share) || !get(in, p.steps) || !get(in, p.shots) || !get(in, p.seconds) ||
            !get(in, p.cpuSeconds) || !get(in, m) || m != static_cast<size_t>(r.triangles))
            return false;
        p.radiosity.resize(m);
        if (!in.read(reinterpret_cast<char*>(p.radiosity.data()),
                     static_cast<std::streamsize>(m * sizeof(Vec3))))
            return false;
    }
    return true;
}
