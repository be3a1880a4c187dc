#include "radiosity/capture_pool.h"

#include <system_error>

#include "radiosity/item_buffer.h"
#include "scene/scene.h"

CapturePool::CapturePool(const std::vector<SceneObject>& objects, const CapturePoolSettings& settings,
                         FaceCapturer* local, int workers, const CaptureContextFactory& makeContext)
    : settings_(settings), local_(local) {
    std::unique_lock<std::mutex> lock(mutex_);
    for (int w = 0; w < workers; ++w) {
        try {
            threads_.emplace_back(&CapturePool::work, this, &objects, &makeContext);
            ++starting_;
        } catch (const std::system_error& e) {
            if (error_.empty()) error_ = std::string("cannot start a capture thread: ") + e.what();
            break;
        }
    }
    // The objects and the factory are only used until every worker is ready.
    finished_.wait(lock, [this] { return starting_ == 0; });
}

CapturePool::~CapturePool() {
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
    }
    wake_.notify_all();
    for (std::thread& t : threads_) t.join();
}

void CapturePool::work(const std::vector<SceneObject>* objects, const CaptureContextFactory* makeContext) {
    // Declared first, so it is released last: the capturer's GL objects go
    // while the context is still current on this thread.
    std::unique_ptr<CaptureContext> context = (*makeContext)();
    ItemBuffer items;
    std::unique_ptr<HemicubeCapturer> capturer;
    std::string problem;
    if (context == nullptr || !context->ok()) {
        problem = context != nullptr ? context->error() : "no OpenGL context for a capture thread";
    } else {
        problem = buildItemBuffer(*objects, items);
        if (problem.empty()) {
            capturer = std::make_unique<HemicubeCapturer>(items, settings_.faceSize, settings_.nearPlane,
                                                          settings_.farPlane, settings_.mode);
            if (!capturer->ok()) problem = capturer->error();
        }
    }
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        --starting_;
        if (problem.empty()) {
            ++running_;
        } else if (error_.empty()) {
            error_ = problem;
        }
    }
    finished_.notify_all();
    if (!problem.empty()) return;

    unsigned seen = 0;
    for (;;) {
        std::unique_lock<std::mutex> lock(mutex_);
        wake_.wait(lock, [&] { return stop_ || round_ != seen; });
        if (stop_) break;
        seen = round_;
        lock.unlock();
        takeShots(*capturer, seen);
    }
    capturer.reset();
}

void CapturePool::takeShots(FaceCapturer& capturer, unsigned round) {
    std::unique_lock<std::mutex> lock(mutex_);
    while (round_ == round && next_ < count_) {
        const HemicubeShot& shot = (*shots_)[next_++];
        lock.unlock();
        captureShot(capturer, shot);
        lock.lock();
        if (++done_ == count_) finished_.notify_all();
    }
}

void CapturePool::captureShots(const std::vector<HemicubeShot>& shots) {
    if (shots.empty() || (running_ == 0 && local_ == nullptr)) return;
    unsigned round = 0;
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        shots_ = &shots;
        count_ = shots.size();
        next_ = 0;
        done_ = 0;
        round = ++round_;
    }
    wake_.notify_all();
    if (local_ != nullptr) takeShots(*local_, round);
    std::unique_lock<std::mutex> lock(mutex_);
    finished_.wait(lock, [this] { return done_ == count_; });
    shots_ = nullptr;
}
