#pragma once

#include <chrono>

// When a reported step rebuilds the viewer's picture. Rebuilding the shaded
// scene costs time in proportion to the scene (12-18 ms at 60k triangles),
// which on a large scene would add more to every reported step than the
// step itself. So a rebuild is skipped while the last one began less than
// 100 ms ago, unless rebuilds are cheap (the last took under 2 ms): small
// scenes keep a fresh picture after every reported step. A skipped rebuild
// stays pending until the next one; whoever shows a final picture (the
// solver stops, a step by hand, Stop) rebuilds when one is pending.
// GL-free: the caller times its rebuilds and passes the clock in.
class RedrawPacer {
  public:
    using Clock = std::chrono::steady_clock;
    static constexpr std::chrono::milliseconds kInterval{100};
    static constexpr std::chrono::microseconds kCheap{2000};

    // Whether a reported step at `now` should rebuild; when not, the
    // rebuild is pending.
    bool due(Clock::time_point now);

    // A rebuild ran from `start` to `end`; nothing is pending any more.
    void rebuilt(Clock::time_point start, Clock::time_point end);

    // A picture is out of date: a rebuild was skipped since the last one.
    bool pending() const { return pending_; }

  private:
    bool any_ = false;  // a rebuild has run
    bool pending_ = false;
    Clock::time_point lastStart_{};
    Clock::duration lastCost_{};
};
