#pragma once

#include <functional>
#include <memory>
#include <string>

// A GL context that a capture worker makes on its own thread, current there
// from construction to destruction. The window-system side (EGL) lives with
// the entry points, which hand the workers a factory for such contexts.
class CaptureContext {
  public:
    virtual ~CaptureContext() = default;
    // True when the context exists and is current on the thread that made it.
    virtual bool ok() const = 0;
    // Why it could not be made; empty when ok().
    virtual std::string error() const = 0;
};

// Makes one context, current on the calling thread.
using CaptureContextFactory = std::function<std::unique_ptr<CaptureContext>()>;
