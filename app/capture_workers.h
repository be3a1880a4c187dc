#pragma once

#include <string>
#include <thread>

#include "radiosity/capture_context.h"

struct Scene;
struct Settings;
struct SolverSetup;

// The capture workers of a solve: how many hemicubes are captured at once
// (each worker a thread with its own headless GL context), and the one
// environment setting they need. They change the speed only, never a
// result: every shot adds into its own array whoever captures it.

// settings.threads (0: one per processor), never more than a step's shots
// (settings.shooters; with patches, the most hemicubes a patch step asks for
// at once), and at least 1.
int captureWorkerCount(const Settings& settings, unsigned processors = std::thread::hardware_concurrency());

// llvmpipe rasterises on threads of its own beside the caller's; with
// several capturing contexts these only get in each other's way (measured
// on 2 cores: two contexts capture 1.75 x as fast as one with
// LP_NUM_THREADS=0, only 1.35 x with llvmpipe's own threads). When more than
// one capture runs, sets LP_NUM_THREADS=0 unless the user has set it. Must
// run before the first GL context of the process; returns whether it set it
// (the process then has no other threads yet, which setenv needs).
bool prepareCaptureWorkers(const Settings& settings);

// Headless contexts (EGL, no window) for the capture workers.
CaptureContextFactory headlessContextFactory();

// When more than one capture runs, starts the worker threads of
// setup.pool (headless contexts, each with its own item buffer of the
// scene) and hands the pool to the solver. With callerCaptures, the
// capturer of the calling thread's context (setup.capturer) takes shots too
// and one thread fewer is started. Workers that cannot start are left out
// with a warning on standard error (the solve goes on, more slowly); the
// returned string is that warning, or empty.
std::string startCaptureWorkers(const Scene& scene, SolverSetup& setup, bool callerCaptures);
