#include "bench/solution_table.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "app/config.h"
#include "bench/bench_options.h"
#include "bench/bench_scene.h"
#include "bench/bench_solution.h"
#include "bench/quiet_stdout.h"
#include "scene/scene.h"

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
    std::function<std::string(Scene&)> load;  // fills a fresh scene; empty or what went wrong
    double patchSize = 0.0;
};

int triangleCount(const Scene& scene) {
    int n = 0;
    for (const SceneObject& o : scene.objects) n += o.triangleCount();
    return n;
}

std::string objectName(const Scene& scene, int object) {
    return object >= 0 ? scene.objects[static_cast<size_t>(object)].name : std::string("-");
}

// The patch run's points that the triangle run has too, in falling order.
std::vector<std::pair<const SolutionPoint*, const SolutionPoint*>> sharedPoints(
    const SolutionRun& run, const SolutionRun& reference) {
    std::vector<std::pair<const SolutionPoint*, const SolutionPoint*>> out;
    for (const SolutionPoint& p : run.points)
        if (const SolutionPoint* q = reference.at(p.share)) out.emplace_back(&p, q);
    return out;
}

void printRow(const TableScene& s, const SolutionRun& r, const SolutionRun* reference, const Scene& scene) {
    std::printf("%-14s %9d %9s %8.3g %7d", s.name.c_str(), r.triangles, reference ? "patches" : "triangles",
                r.patchSize, r.patches);
    for (const double share : {0.1, 0.05}) {
        const SolutionPoint* p = r.at(share);
        if (p == nullptr) {
            std::printf(" %7s %7s %7s %7s", "-", "-", "-", "-");
        } else {
            std::printf(" %7d %7lld %7.1f %7.1f", p->steps, p->shots, p->seconds, p->cpuSeconds);
        }
    }
    if (reference == nullptr) {
        std::printf("\n");
        return;
    }
    const auto shared = sharedPoints(r, *reference);
    for (const auto& [mine, theirs] : shared) {
        const SolutionDifference e = compareSolutions(scene, mine->radiosity, theirs->radiosity);
        std::fprintf(
            stderr,
            "# %s at %.4g %% unshot: triangles %.1f s (%.1f s CPU, %d steps), patches %.1f s (%.1f s "
            "CPU, %d rounds, %lld shots); rms %.2f %%, surface %+.2f %% (%s)\n",
            s.name.c_str(), 100.0 * mine->share, theirs->seconds, theirs->cpuSeconds, theirs->steps,
            mine->seconds, mine->cpuSeconds, mine->steps, mine->shots, 100.0 * e.rms, 100.0 * e.worstSurface,
            objectName(scene, e.worstObject).c_str());
    }
    if (shared.empty()) {
        std::printf(" %6s %7s %8s %s\n", "-", "-", "-", "-");
        return;
    }
    const auto& [mine, theirs] = shared.back();
    const SolutionDifference d = compareSolutions(scene, mine->radiosity, theirs->radiosity);
    std::printf(" %5.3g%% %6.2f%% %+7.2f%% %s\n", 100.0 * mine->share, 100.0 * d.rms, 100.0 * d.worstSurface,
                objectName(scene, d.worstObject).c_str());
}

// The scenes of the table: generated rooms, then configured scenes.
int tableScenes(const BenchOptions& options, std::vector<TableScene>& scenes) {
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
    return 0;
}

// The triangle run of a scene, from --keep-reference when it is there.
SolutionRun triangleRun(const BenchOptions& options, const TableScene& s, Scene& scene) {
    scene.settings.patchSize = 0.0;
    std::string kept;
    if (!options.keepReference.empty()) {
        char tag[96];
        std::snprintf(tag, sizeof tag, "-%d-N%d-%g-%g.run", triangleCount(scene), scene.settings.N,
                      options.compareAt, options.maxSeconds);
        kept = (std::filesystem::path(options.keepReference) / (s.name + tag)).string();
    }
    SolutionRun run;
    if (!kept.empty() && readSolutionRun(kept, run)) return run;
    run = solveToShares(scene, sharesFor(options.compareAt), options.maxSeconds);
    if (!kept.empty() && run.error.empty()) writeSolutionRun(kept, run);
    return run;
}

}  // namespace

int runSolutionTable(const BenchOptions& options) {
    std::vector<TableScene> scenes;
    if (const int code = tableScenes(options, scenes)) return code;
    std::fprintf(
        stderr,
        "# per scene: triangle shooting, then patches of patch_size; steps (rounds), shots (hemicube "
        "captures), wall and CPU seconds until at most 10 %% and 5 %% of the emitted light is left "
        "unshot ('-': not within --max-seconds %g); rms = RMS over triangles of the radiosity "
        "difference from the triangle run over its mean radiosity, surface = the largest difference "
        "of one object's mean, both at the lowest share both runs reached ('at': a triangle run "
        "cut short is compared where it stopped)\n",
        options.maxSeconds);
    std::printf("%-14s %9s %9s %8s %7s %7s %7s %7s %7s %7s %7s %7s %7s %6s %7s %8s %s\n", "scene",
                "triangles", "shooting", "patch", "patches", "10%stp", "shots", "s", "cpu_s", "5%stp",
                "shots", "s", "cpu_s", "at", "rms", "surface", "object");
    std::fflush(stdout);
    for (const TableScene& s : scenes) {
        Scene triangles;
        std::string problem = s.load(triangles);
        const SolutionRun reference = problem.empty() ? triangleRun(options, s, triangles) : SolutionRun{};
        if (!problem.empty() || !reference.error.empty()) {
            std::fprintf(stderr, "lumetra-bench: %s: %s\n", s.name.c_str(),
                         (problem.empty() ? reference.error : problem).c_str());
            return 2;
        }
        printRow(s, reference, nullptr, triangles);
        std::fflush(stdout);
        // The patch run also stops where a triangle run cut short stopped.
        std::vector<double> shares = sharesFor(options.compareAt);
        if (!reference.finished && !reference.points.empty()) {
            shares.push_back(reference.points.back().share);
            std::sort(shares.rbegin(), shares.rend());
        }
        Scene patches;
        s.load(patches);
        patches.settings.patchSize = s.patchSize;
        RefinementRule rule;
        rule.ratio = options.refineRatio;
        const SolutionRun run = solveToShares(patches, shares, options.maxSeconds, rule);
        if (!run.error.empty()) {
            std::fprintf(stderr, "lumetra-bench: %s: %s\n", s.name.c_str(), run.error.c_str());
            return 2;
        }
        printRow(s, run, &reference, patches);
        std::fflush(stdout);
        std::fprintf(stderr, "# %s: patch run with %lld whole and %lld local shots\n", s.name.c_str(),
                     run.wholeShots, run.localShots);
    }
    return 0;
}
