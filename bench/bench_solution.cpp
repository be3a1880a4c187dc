#include "bench/bench_solution.h"

#include <fcntl.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>

#include "app/config.h"
#include "app/solver_setup.h"
#include "bench/bench_options.h"
#include "bench/bench_scene.h"
#include "bench/bench_step.h"
#include "radiosity/patch_rounds.h"
#include "scene/scene.h"

namespace {

// Standard output goes nowhere while this lives (the solver's convergence
// lines), so that the benchmark's own output stays a table.
class QuietStdout {
  public:
    QuietStdout() {
        std::fflush(stdout);
        saved_ = ::dup(STDOUT_FILENO);
        const int null = ::open("/dev/null", O_WRONLY);
        if (null >= 0) {
            ::dup2(null, STDOUT_FILENO);
            ::close(null);
        }
    }
    ~QuietStdout() {
        std::fflush(stdout);
        if (saved_ >= 0) {
            ::dup2(saved_, STDOUT_FILENO);
            ::close(saved_);
        }
    }
    QuietStdout(const QuietStdout&) = delete;
    QuietStdout& operator=(const QuietStdout&) = delete;

  private:
    int saved_ = -1;
};

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

}  // namespace

SolutionRun solveToShares(Scene& scene, const std::vector<double>& shares, double maxSeconds,
                          const RefinementRule& rule) {
    SolutionRun run;
    run.shares = shares;
    run.steps.assign(shares.size(), -1);
    run.shots.assign(shares.size(), 0);
    run.seconds.assign(shares.size(), 0.0);
    run.cpuSeconds.assign(shares.size(), 0.0);
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
    for (int step = 1; next < shares.size(); ++step) {
        solver.idleStep();
        const double share = solver.convergenceMeasure;
        run.lastShare = share;
        while (next < shares.size() && share <= shares[next]) {
            run.steps[next] = step;
            const PatchRounds* rounds = solver.patchRounds();
            run.shots[next] = rounds ? rounds->wholeShots() + rounds->localShots() : step;
            run.seconds[next] = msSince(start) / 1000.0;
            run.cpuSeconds[next] = cpuSeconds() - cpuStart;
            run.radiosity.push_back(radiosityOf(scene));
            ++next;
        }
        if (!std::isfinite(share) || msSince(start) / 1000.0 > maxSeconds) break;
    }
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

namespace {

// Shares of the light left at which runs are noted: the table shows 10 %
// and 5 %; the larger ones give the largest scenes a common share to compare
// at, and --compare-at may add a smaller one.
std::vector<double> sharesFor(double compareAt) {
    std::vector<double> shares = {0.5, 0.25, 0.1, 0.05};
    if (compareAt < 0.05) shares.push_back(compareAt);
    return shares;
}

struct TableScene {
    std::string name;
    // Fills a fresh scene; empty or what went wrong.
    std::function<std::string(Scene&)> load;
    double patchSize = 0.0;
};

void printRow(const TableScene& s, const SolutionRun& r, const SolutionRun* reference, const Scene& scene) {
    const std::vector<double>& kShares = r.shares;
    std::printf("%-14s %9d %9s %8.3g %7d", s.name.c_str(), r.triangles, reference ? "patches" : "triangles",
                r.patchSize, r.patches);
    for (size_t k = 2; k < 4; ++k) {
        if (r.steps[k] < 0) {
            std::printf(" %7s %7s %7s %7s", "-", "-", "-", "-");
        } else {
            std::printf(" %7d %7lld %7.1f %7.1f", r.steps[k], r.shots[k], r.seconds[k], r.cpuSeconds[k]);
        }
    }
    if (reference == nullptr) {
        std::printf(" %6s %7s %8s %8s\n", "", "", "", "");
        return;
    }
    // The lowest share both runs reached.
    size_t common = kShares.size();
    for (size_t k = 0; k < kShares.size(); ++k)
        if (k < r.radiosity.size() && k < reference->radiosity.size()) common = k;
    if (common == kShares.size()) {
        std::printf(" %6s %7s %8s %8s\n", "-", "-", "-", "-");
        return;
    }
    for (size_t k = 0; k <= common; ++k) {
        const SolutionDifference e = compareSolutions(scene, r.radiosity[k], reference->radiosity[k]);
        std::fprintf(
            stderr,
            "# %s at %g %% unshot: triangles %.1f s (%.1f s CPU, %d steps), patches %.1f s (%.1f s "
            "CPU, %d rounds); rms %.2f %%, surface %+.2f %% (%s)\n",
            s.name.c_str(), 100.0 * kShares[k], reference->seconds[k], reference->cpuSeconds[k],
            reference->steps[k], r.seconds[k], r.cpuSeconds[k], r.steps[k], 100.0 * e.rms,
            100.0 * e.worstSurface,
            e.worstObject >= 0 ? scene.objects[static_cast<size_t>(e.worstObject)].name.c_str() : "-");
    }
    const SolutionDifference d = compareSolutions(scene, r.radiosity[common], reference->radiosity[common]);
    const std::string worst =
        d.worstObject >= 0 ? scene.objects[static_cast<size_t>(d.worstObject)].name : std::string("-");
    std::printf(" %5.0f%% %6.2f%% %+7.2f%% %s\n", 100.0 * kShares[common], 100.0 * d.rms,
                100.0 * d.worstSurface, worst.c_str());
}

int triangleCount(const Scene& scene) {
    int n = 0;
    for (const SceneObject& o : scene.objects) n += o.triangleCount();
    return n;
}

// A triangle run kept between benchmark runs (--keep-reference), in this
// machine's own binary layout.
template <class T>
void put(std::ofstream& out, const T& v) {
    out.write(reinterpret_cast<const char*>(&v), sizeof v);
}
template <class T>
bool get(std::ifstream& in, T& v) {
    return static_cast<bool>(in.read(reinterpret_cast<char*>(&v), sizeof v));
}

void writeRun(const std::string& path, const SolutionRun& r) {
    std::ofstream out(path, std::ios::binary);
    put(out, r.triangles);
    put(out, r.shares.size());
    for (size_t k = 0; k < r.shares.size(); ++k) {
        put(out, r.shares[k]);
        put(out, r.steps[k]);
        put(out, r.shots[k]);
        put(out, r.seconds[k]);
        put(out, r.cpuSeconds[k]);
    }
    put(out, r.radiosity.size());
    for (const std::vector<Vec3>& v : r.radiosity) {
        put(out, v.size());
        out.write(reinterpret_cast<const char*>(v.data()),
                  static_cast<std::streamsize>(v.size() * sizeof(Vec3)));
    }
    put(out, r.lastShare);
}

bool readRun(const std::string& path, SolutionRun& r) {
    std::ifstream in(path, std::ios::binary);
    size_t n = 0;
    if (!in || !get(in, r.triangles) || !get(in, n) || n > 64) return false;
    r.shares.resize(n);
    r.steps.resize(n);
    r.shots.resize(n);
    r.seconds.resize(n);
    r.cpuSeconds.resize(n);
    for (size_t k = 0; k < n; ++k) {
        if (!get(in, r.shares[k]) || !get(in, r.steps[k]) || !get(in, r.shots[k]) || !get(in, r.seconds[k]) ||
            !get(in, r.cpuSeconds[k]))
            return false;
    }
    if (!get(in, n) || n > 64) return false;
    r.radiosity.resize(n);
    for (std::vector<Vec3>& v : r.radiosity) {
        size_t m = 0;
        if (!get(in, m) || m != static_cast<size_t>(r.triangles)) return false;
        v.resize(m);
        if (!in.read(reinterpret_cast<char*>(v.data()), static_cast<std::streamsize>(m * sizeof(Vec3))))
            return false;
    }
    return get(in, r.lastShare);
}

}  // namespace

int runSolutionTable(const BenchOptions& options) {
    std::vector<TableScene> scenes;
    for (const int target : options.scenes) {
        const BenchScene room = makeBenchRoom(target);
        TableScene s;
        s.name = "room-" + std::to_string(room.triangleCount());
        s.patchSize = options.patchSize > 0.0 ? options.patchSize : 2.0 * room.cellSize;
        s.load = [target](Scene& scene) { return loadBenchScene(makeBenchRoom(target), scene); };
        scenes.push_back(s);
    }
    for (const std::string& config : options.solutionConfigs) {
        TableScene s;
        s.name = std::filesystem::path(config).parent_path().filename().string();
        if (s.name.empty()) s.name = std::filesystem::path(config).stem().string();
        s.load = [config](Scene& scene) {
            const QuietStdout quiet;
            const ConfigResult read = readSettings(config, scene);
            return read.ok() && read.fileRead ? std::string() : "cannot read " + config;
        };
        Scene probe;
        const std::string problem = s.load(probe);
        if (!problem.empty()) {
            std::fprintf(stderr, "lumetra-bench: %s\n", problem.c_str());
            return 2;
        }
        s.patchSize = options.patchSize > 0.0 ? options.patchSize : probe.settings.patchSize;
        if (!(s.patchSize > 0.0)) {
            std::fprintf(stderr, "lumetra-bench: %s sets no patch_size; give --patch-size\n", config.c_str());
            return 1;
        }
        scenes.push_back(s);
    }
    std::fprintf(
        stderr,
        "# per scene: triangle shooting, then patches of patch_size; steps (rounds), shots (hemicube "
        "captures), wall and CPU seconds until at most 10 %% and 5 %% of the emitted light is left "
        "unshot ('-': not within --max-seconds %g); rms = RMS over triangles of the radiosity "
        "difference from the triangle run over its mean radiosity, surface = the largest difference "
        "of one object's mean, both at the lowest share both runs reached ('at')\n",
        options.maxSeconds);
    std::printf("%-14s %9s %9s %8s %7s %7s %7s %7s %7s %7s %7s %7s %7s %6s %7s %8s %s\n", "scene",
                "triangles", "shooting", "patch", "patches", "10%stp", "shots", "s", "cpu_s", "5%stp",
                "shots", "s", "cpu_s", "at", "rms", "surface", "object");
    std::fflush(stdout);
    for (const TableScene& s : scenes) {
        Scene triangles;
        std::string problem = s.load(triangles);
        if (!problem.empty()) {
            std::fprintf(stderr, "lumetra-bench: %s: %s\n", s.name.c_str(), problem.c_str());
            return 2;
        }
        triangles.settings.patchSize = 0.0;
        std::string kept;
        if (!options.keepReference.empty()) {
            char tag[96];
            std::snprintf(tag, sizeof tag, "-%d-N%d-%g-%g.ref", triangleCount(triangles),
                          triangles.settings.N, options.compareAt, options.maxSeconds);
            kept = (std::filesystem::path(options.keepReference) / (s.name + tag)).string();
        }
        SolutionRun reference;
        if (kept.empty() || !readRun(kept, reference)) {
            reference = solveToShares(triangles, sharesFor(options.compareAt), options.maxSeconds);
            if (!kept.empty() && reference.error.empty()) writeRun(kept, reference);
        }
        if (!reference.error.empty()) {
            std::fprintf(stderr, "lumetra-bench: %s: %s\n", s.name.c_str(), reference.error.c_str());
            return 2;
        }
        printRow(s, reference, nullptr, triangles);
        std::fflush(stdout);
        Scene patches;
        problem = s.load(patches);
        patches.settings.patchSize = s.patchSize;
        RefinementRule rule;
        rule.ratio = options.refineRatio;
        const SolutionRun run =
            solveToShares(patches, sharesFor(options.compareAt), options.maxSeconds, rule);
        if (!run.error.empty()) {
            std::fprintf(stderr, "lumetra-bench: %s: %s\n", s.name.c_str(), run.error.c_str());
            return 2;
        }
        printRow(s, run, &reference, patches);
        std::fflush(stdout);
        std::fprintf(stderr,
                     "# %s: triangle run ended at %.2f %% unshot; patch run at %.2f %% with %lld whole and "
                     "%lld local shots\n",
                     s.name.c_str(), 100.0 * reference.lastShare, 100.0 * run.lastShare, run.wholeShots,
                     run.localShots);
    }
    return 0;
}
