#include "view/redraw_pacer.h"

bool RedrawPacer::due(Clock::time_point now) {
    const bool due = !any_ || lastCost_ < kCheap || now - lastStart_ >= kInterval;
    if (!due) pending_ = true;
    return due;
}

void RedrawPacer::rebuilt(Clock::time_point start, Clock::time_point end) {
    any_ = true;
    pending_ = false;
    lastStart_ = start;
    lastCost_ = end - start;
}
