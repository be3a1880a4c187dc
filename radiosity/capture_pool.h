#pragma once

#include <condition_variable>
#include <cstddef>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "radiosity/capture_context.h"
#include "radiosity/hemicube.h"
#include "radiosity/shot_capture.h"

struct SceneObject;

// What every capture worker is given: the face size and clip planes the
// capturers draw with and how they capture (the same for all, so a shot's
// form factors do not depend on who captured it).
struct CapturePoolSettings {
    int faceSize = 0;  // N
    double nearPlane = 0.0;
    double farPlane = 0.0;
    CaptureMode mode = CaptureMode::Fast;
};

// Captures a step's shots at once on several GL contexts. Each worker
// thread makes its own context (through the factory), its own item buffer
// of the scene's objects in it and its own capturer, and then takes shots
// until none is left; the calling thread's capturer, when given, takes
// shots too while it waits. A shot goes whole to one capturer and adds only
// into its own array, so the arrays are the same whoever captured what.
//
// The objects are read while the workers start (in the constructor) and
// never after; they must not change meanwhile. The pool stops and joins its
// workers when destroyed, each releasing its GL objects and context on its
// own thread.
class CapturePool : public ShotCapture {
  public:
    // Starts `workers` threads and waits until each has its capturer or has
    // failed. `local` (may be null) is the calling thread's capturer, used by
    // captureShots on the thread that calls it.
    CapturePool(const std::vector<SceneObject>& objects, const CapturePoolSettings& settings,
                FaceCapturer* local, int workers, const CaptureContextFactory& makeContext);
    ~CapturePool() override;
    CapturePool(const CapturePool&) = delete;
    CapturePool& operator=(const CapturePool&) = delete;

    // The workers that started; the others failed, for the reason error() gives.
    int workersRunning() const { return running_; }
    // Why some worker could not start (the first such reason); empty when all did.
    const std::string& error() const { return error_; }

    // Hands the shots to the workers and the local capturer; returns when all
    // are captured. With neither, it captures nothing.
    void captureShots(const std::vector<HemicubeShot>& shots) override;

  private:
    void work(const std::vector<SceneObject>* objects, const CaptureContextFactory* makeContext);
    // Takes and captures shots of the given round until none is left.
    void takeShots(FaceCapturer& capturer, unsigned round);

    CapturePoolSettings settings_;
    FaceCapturer* local_;
    std::vector<std::thread> threads_;

    std::mutex mutex_;
    std::condition_variable wake_;      // a round started, or stop
    std::condition_variable finished_;  // a worker started or failed; a round's last shot is in
    int starting_ = 0;                  // workers still making their capturer
    int running_ = 0;
    std::string error_;
    bool stop_ = false;
    unsigned round_ = 0;  // counts the rounds, so a worker sees a new one
    const std::vector<HemicubeShot>* shots_ = nullptr;
    std::size_t count_ = 0;  // shots of the round
    std::size_t next_ = 0;   // the next shot of the round to take
    std::size_t done_ = 0;   // shots of the round captured
};
