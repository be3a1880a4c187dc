// lumetra-bench: how long a shooting step takes, where the time goes, and
// how close it is to what the rasteriser allows. Runs headless on scenes it
// makes itself; prints one header line and one row per scene on standard
// output, and notes (lines starting with '#') on standard error.

#include <GL/gl.h>
#include <GL/glext.h>
#include <unistd.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "app/headless_context.h"
#include "bench/bench_convergence.h"
#include "bench/bench_options.h"
#include "bench/bench_scene.h"
#include "bench/bench_step.h"
#include "bench/bench_threads.h"
#include "bench/solution_table.h"
#include "radiosity/hemicube.h"
#include "radiosity/offscreen_target.h"
#include "radiosity/weights.h"
#include "scene/atomic_file.h"
#include "scene/scene.h"

namespace {

using Clock = BenchClock;

// Notes about the machine and the extra timings go to standard error, so
// that standard output is the table alone: one header line, one row per scene.
#if defined(__GNUC__)
__attribute__((format(printf, 1, 2)))
#endif
void note(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::vfprintf(stderr, format, args);
    va_end(args);
}

// Loading and welding one object of 65,535 triangles from a file.
void timeLoading() {
    const BenchObject sheet = makeBenchSheet(kMaxItemTriangles);
    std::error_code ec;
    const std::filesystem::path path =
        std::filesystem::temp_directory_path(ec) / ("lumetra-bench-" + std::to_string(::getpid()) + ".tri");
    const std::string problem =
        writeFileAtomically(path.string(), [&sheet](std::ostream& out) { writeTriangleFile(out, sheet); });
    if (!problem.empty()) {
        note("# load+weld: cannot write %s: %s\n", path.string().c_str(), problem.c_str());
        return;
    }
    std::vector<double> ms;
    int vertices = 0;
    bool ok = true;
    for (int k = 0; k < 5; ++k) {
        SceneObject object;
        LoadReport report;
        const Clock::time_point start = Clock::now();
        ok = ok && object.loadTriangleFile(path.string(), &report) == 1 && report.problem.empty() &&
             report.triangles == kMaxItemTriangles;
        ms.push_back(msSince(start));
        vertices = object.vertexCount();
    }
    std::filesystem::remove(path, ec);
    note(
        "# load+weld of one %d-triangle object (%d vertices) through loadTriangleFile: median %.1f ms, "
        "best %.1f ms%s\n",
        kMaxItemTriangles, vertices, medianOf(ms), *std::min_element(ms.begin(), ms.end()),
        ok ? "" : " (LOAD FAILED)");
}

// How long reading back one N x N face takes in each layout (same target).
void timeReadBack(int n) {
    OffscreenTarget target;
    if (!target.create(n).empty()) return;
    glBindFramebuffer(GL_FRAMEBUFFER, target.framebuffer());
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    std::vector<unsigned char> pixels(static_cast<size_t>(n) * n * 4);
    struct Format {
        const char* name;
        GLenum format;
        GLenum type;
    };
    const Format formats[] = {{"RGBA", GL_RGBA, GL_UNSIGNED_BYTE},
                              {"BGRA", GL_BGRA, GL_UNSIGNED_BYTE},
                              {"RGB", GL_RGB, GL_UNSIGNED_BYTE}};
    note("# read-back of one %d x %d face (clear + glReadPixels), median of 50:", n, n);
    for (const Format& f : formats) {
        std::vector<double> ms;
        for (int k = 0; k < 50; ++k) {
            glClearColor(0.0f, 0.0f, static_cast<float>(k % 2), 0.0f);
            glClear(GL_COLOR_BUFFER_BIT);
            glFinish();
            const Clock::time_point start = Clock::now();
            glReadPixels(0, 0, n, n, f.format, f.type, pixels.data());
            ms.push_back(msSince(start));
        }
        note(" %s %.3f ms", f.name, medianOf(ms));
    }
    note("\n");
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
}

const char* glText(GLenum name) {
    const GLubyte* s = glGetString(name);
    return s ? reinterpret_cast<const char*>(s) : "?";
}

// One row per configuration and overshoot setting: steps and seconds to
// each share of the light left unshot.
int runConvergence(const BenchOptions& options) {
    const std::vector<double> targets = {0.1, 0.01, 0.001};
    note(
        "# steps and seconds until the measure (share of the emitted light not yet shot) first falls "
        "below each target; '-' not reached within --max-steps %d\n",
        options.maxSteps);
    std::printf("%-28s %9s %9s %10s %8s %10s %8s %10s %8s\n", "scene", "triangles", "overshoot", "10% steps",
                "s", "1% steps", "s", "0.1% steps", "s");
    for (const std::string& config : options.convergence) {
        for (const bool overshoot : {false, true}) {
            const ConvergenceRow r = measureConvergence(config, overshoot, targets, options.maxSteps);
            if (!r.error.empty()) {
                std::fprintf(stderr, "lumetra-bench: %s\n", r.error.c_str());
                return 2;
            }
            std::printf("%-28s %9d %9s", std::filesystem::path(config).filename().string().c_str(),
                        r.triangles, overshoot ? "on" : "off");
            for (size_t k = 0; k < targets.size(); ++k) {
                if (r.steps[k] < 0) {
                    std::printf(" %10s %8s", "-", "-");
                } else {
                    std::printf(" %10d %8.1f", r.steps[k], r.seconds[k]);
                }
            }
            std::printf("\n");
            std::fflush(stdout);
        }
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    BenchOptions options;
    const int code = parseBenchOptions(argc, argv, options);
    if (code >= 0) return code;
    // Each thread count in a process of its own, started before any context.
    if (options.threads) return runThreadsTable(options);
    HeadlessContext context;
    if (!context.ok()) {
        std::fprintf(stderr, "lumetra-bench: %s\n", context.error().c_str());
        return 2;
    }
    glEnable(GL_CULL_FACE);
    glEnable(GL_DEPTH_TEST);
    if (!options.convergence.empty()) return runConvergence(options);

    note("# lumetra-bench: %u processors, GL_RENDERER %s, GL_VERSION %s\n",
         static_cast<unsigned>(std::max(1L, sysconf(_SC_NPROCESSORS_ONLN))), glText(GL_RENDERER),
         glText(GL_VERSION));
    if (options.solution) return runSolutionTable(options);
    note(
        "# times in ms per shooting step; capture = clear + draw + read-back of the five faces; "
        "floor = the same draws and read-backs alone; literal = five full N x N faces from display "
        "list 2, RGB read-back, the sums and the receive pass; floor, literal and the ratios use "
        "medians; drawn = share of the scene's triangles sent to be drawn per face; dF_full = largest "
        "per-triangle form-factor difference, step path against full faces; dF_2N = the same for full "
        "faces at N against 2N (the hemicube's own sampling error)\n");
    std::printf("%9s %4s %5s %8s %8s %8s %7s %8s %8s %8s %9s %7s %9s %9s %10s %11s\n", "triangles", "N",
                "steps", "mean", "median", "capture", "sum", "receive", "list1", "floor", "literal", "drawn",
                "dF_full", "dF_2N", "step/floor", "literal/step");
    std::fflush(stdout);
    double list60k = -1.0;
    for (const int n : options.resolutions) {
        for (const int target : options.scenes) {
            const BenchRow r = measureBenchScene(target, n, options.steps);
            if (!r.error.empty()) {
                std::fprintf(stderr, "lumetra-bench: %d triangles, N = %d: %s\n", target, n, r.error.c_str());
                return 2;
            }
            std::printf(
                "%9d %4d %5d %8.3f %8.3f %8.3f %7.3f %8.3f %8.2f %8.3f %9.3f %6.1f%% %9.2e %9.2e %10.3f "
                "%11.3f\n",
                r.triangles, r.n, r.steps, r.meanMs, r.medianMs, r.captureMs, r.sumMs, r.receiveMs, r.listMs,
                r.floorMs, r.literalMs, 100.0 * r.drawnShare, r.maxDiff, r.samplingDiff,
                r.medianMs / r.floorMs, r.literalMs / r.medianMs);
            std::fflush(stdout);
            if (target == 60000 && n == 256) list60k = r.listMs;
        }
    }
    note(
        "# largest single pixel weight at N = 256: %.2e (dF columns are per triangle, summed over a "
        "step's five faces)\n",
        topWeight(128, 127, 127));
    if (list60k >= 0.0) note("# display list 1 for the 60k scene: %.2f ms per build\n", list60k);
    timeLoading();
    timeReadBack(256);
    return 0;
}
