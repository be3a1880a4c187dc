#include "bench/bench_threads.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <sstream>

#include "app/capture_workers.h"
#include "app/config.h"
#include "app/headless_context.h"
#include "app/solver_setup.h"
#include "bench/bench_options.h"
#include "bench/bench_scene.h"
#include "radiosity/patch_rounds.h"
#include "scene/scene.h"

namespace {

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

double processCpuSeconds() {
    timespec ts{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

// The solve itself, in the child process, whose standard output (the
// solver's progress lines) goes nowhere.
ThreadsRun solveHere(const ThreadsScene& source, const ThreadsSolve& how, int threads,
                     const std::vector<double>& shares, double maxSeconds) {
    ThreadsRun run;
    run.threads = threads;
    run.steps.assign(shares.size(), -1);
    run.shots.assign(shares.size(), 0);
    run.seconds.assign(shares.size(), 0.0);
    Scene scene;
    if (source.config.empty()) {
        const BenchScene room = makeBenchRoom(source.triangles);
        run.error = loadBenchScene(room, scene);
        // Patches twice the side of the room's squares, as its mesh would get.
        if (how.patches) scene.settings.patchSize = 2.0 * room.cellSize;
    } else if (!readSettings(source.config, scene).ok()) {
        run.error = "cannot read " + source.config;
    }
    if (!run.error.empty()) return run;
    for (const SceneObject& o : scene.objects) run.triangles += o.triangleCount();
    Settings& settings = scene.settings;
    settings.shooters = how.shooters;
    settings.threads = threads;
    settings.overshoot = how.overshoot;
    if (how.patchSize > 0.0) settings.patchSize = how.patchSize;
    if (!how.patches) settings.patchSize = 0.0;
    run.patchSize = settings.patchSize;
    settings.stopAt = 0.0;  // the shares decide when to stop

    prepareCaptureWorkers(settings);  // before the first context
    HeadlessContext context;
    if (!context.ok()) {
        run.error = context.error();
        return run;
    }
    SolverSetup setup;
    run.error = prepareSolver(scene, setup);
    if (!run.error.empty()) return run;
    const Clock::time_point startWorkers = Clock::now();
    const std::string warning = startCaptureWorkers(scene, setup, true);
    run.startSeconds = secondsSince(startWorkers);
    if (!warning.empty()) {
        run.error = warning;
        return run;
    }
    run.capturers = setup.pool != nullptr ? setup.pool->workersRunning() + 1 : 1;
    Solver& solver = *setup.solver;
    if (!solver.initSolver()) {
        run.error = "nothing emits";
        return run;
    }

    const Clock::time_point start = Clock::now();
    long long shots = 0;
    size_t next = 0;
    for (int step = 1; next < shares.size(); ++step) {
        if (!solver.patchRounds()) shots += static_cast<long long>(solver.shooters.size());
        solver.idleStep();
        if (const PatchRounds* rounds = solver.patchRounds())
            shots = rounds->wholeShots() + rounds->localShots();
        const double measure = solver.convergenceMeasure;
        run.lastShare = measure;
        while (next < shares.size() && measure < shares[next]) {
            run.steps[next] = step;
            run.shots[next] = shots;
            run.seconds[next] = secondsSince(start);
            run.cpuSeconds = processCpuSeconds();
            ++next;
        }
        if (!(measure == measure) || secondsSince(start) > maxSeconds) break;
    }
    return run;
}

std::string serialise(const ThreadsRun& run) {
    std::ostringstream out;
    out.precision(17);
    out << run.triangles << ' ' << run.threads << ' ' << run.capturers << ' ' << run.startSeconds << ' '
        << run.cpuSeconds << ' ' << run.lastShare << ' ' << run.patchSize << ' ' << run.steps.size();
    for (size_t k = 0; k < run.steps.size(); ++k)
        out << ' ' << run.steps[k] << ' ' << run.shots[k] << ' ' << run.seconds[k];
    out << '\n' << run.error;
    return out.str();
}

ThreadsRun deserialise(const std::string& text) {
    ThreadsRun run;
    std::istringstream in(text);
    size_t count = 0;
    if (!(in >> run.triangles >> run.threads >> run.capturers >> run.startSeconds >> run.cpuSeconds >>
          run.lastShare >> run.patchSize >> count)) {
        run.error = "the solving process reported nothing";
        return run;
    }
    run.steps.resize(count);
    run.shots.resize(count);
    run.seconds.resize(count);
    for (size_t k = 0; k < count; ++k) in >> run.steps[k] >> run.shots[k] >> run.seconds[k];
    in.ignore(1);
    std::getline(in, run.error, '\0');
    return run;
}

}  // namespace

std::string ThreadsScene::label() const {
    if (!config.empty())
        return std::filesystem::path(config).parent_path().filename().string() + "/" +
               std::filesystem::path(config).filename().string();
    return "room " + std::to_string(triangles);
}

ThreadsRun solveOnThreads(const ThreadsScene& scene, const ThreadsSolve& how, int threads,
                          const std::vector<double>& shares, double maxSeconds) {
    int fds[2];
    ThreadsRun failed;
    if (::pipe(fds) != 0) {
        failed.error = "cannot make a pipe";
        return failed;
    }
    std::fflush(stdout);
    std::fflush(stderr);
    const pid_t pid = ::fork();
    if (pid < 0) {
        ::close(fds[0]);
        ::close(fds[1]);
        failed.error = "cannot start a solving process";
        return failed;
    }
    if (pid == 0) {
        ::close(fds[0]);
        const int null = ::open("/dev/null", O_WRONLY);
        if (null >= 0) ::dup2(null, STDOUT_FILENO);
        const std::string text = serialise(solveHere(scene, how, threads, shares, maxSeconds));
        size_t written = 0;
        while (written < text.size()) {
            const ssize_t n = ::write(fds[1], text.data() + written, text.size() - written);
            if (n <= 0) break;
            written += static_cast<size_t>(n);
        }
        ::_exit(0);
    }
    ::close(fds[1]);
    std::string text;
    char buffer[4096];
    for (ssize_t n; (n = ::read(fds[0], buffer, sizeof buffer)) > 0;)
        text.append(buffer, static_cast<size_t>(n));
    ::close(fds[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    ThreadsRun run = deserialise(text);
    if (run.error.empty() && !(WIFEXITED(status) && WEXITSTATUS(status) == 0))
        run.error = "the solving process failed";
    return run;
}

int runThreadsTable(const BenchOptions& options) {
    const std::vector<double> shares = {0.10, 0.05};
    std::vector<ThreadsScene> scenes;
    for (const int triangles : options.scenes) scenes.push_back({triangles, {}});
    for (const std::string& config : options.threadsConfigs) scenes.push_back({0, config});
    std::fprintf(
        stderr,
        "# time to solution: %d shooters (patches) per step, overshoot %s; rows with a patch size "
        "shoot from patches, the others from triangles; per share of the light left unshot "
        "the steps, the hemicubes captured and the seconds of solving (loading and starting the "
        "workers left out); start = starting the capture workers; cpu = the process's CPU seconds "
        "by the last share; speed-up = seconds of triangle shooting on one thread over this row's; %u "
        "processors\n",
        options.shooters, options.overshoot ? "on" : "off", std::thread::hardware_concurrency());
    std::printf("%-22s %9s %7s %7s %5s %7s %8s %8s %8s %8s %8s %8s %8s %7s %7s\n", "scene", "triangles",
                "patch", "threads", "capt", "start_s", "10%_step", "10%_shot", "10%_s", "5%_step", "5%_shot",
                "5%_s", "cpu_s", "x_10%", "x_5%");
    std::fflush(stdout);
    // Triangle shooting first; then patches, when asked, against the same one-thread baseline.
    std::vector<ThreadsSolve> solves = {{options.shooters, options.overshoot, false, 0.0}};
    if (options.threadsPatches)
        solves.push_back({options.shooters, options.overshoot, true, options.patchSize});
    for (const ThreadsScene& scene : scenes) {
        std::vector<double> single;
        for (const ThreadsSolve& how : solves) {
            for (const int threads : options.threadCounts) {
                const ThreadsRun r = solveOnThreads(scene, how, threads, shares, options.maxSeconds);
                if (!r.error.empty()) {
                    std::fprintf(stderr, "lumetra-bench: %s, %d threads: %s\n", scene.label().c_str(),
                                 threads, r.error.c_str());
                    return 2;
                }
                if (threads == 1 && single.empty()) single = r.seconds;
                std::printf("%-22s %9d %7.3g %7d %5d %7.2f", scene.label().c_str(), r.triangles, r.patchSize,
                            threads, r.capturers, r.startSeconds);
                for (size_t k = 0; k < shares.size(); ++k) {
                    if (r.steps[k] < 0) {
                        std::printf(" %8s %8s %8s", "-", "-", "-");
                    } else {
                        std::printf(" %8d %8lld %8.1f", r.steps[k], r.shots[k], r.seconds[k]);
                    }
                }
                std::printf(" %8.1f", r.cpuSeconds);
                for (size_t k = 0; k < shares.size(); ++k) {
                    if (single.size() == shares.size() && r.steps[k] >= 0 && single[k] > 0.0 &&
                        r.seconds[k] > 0.0) {
                        std::printf(" %7.2f", single[k] / r.seconds[k]);
                    } else {
                        std::printf(" %7s", "-");
                    }
                }
                std::printf("\n");
                std::fflush(stdout);
            }
        }
    }
    return 0;
}
