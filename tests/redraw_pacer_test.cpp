// The viewer's pacing of picture rebuilds, on a made-up clock.

#include "view/redraw_pacer.h"

#include <gtest/gtest.h>

namespace {

using Clock = RedrawPacer::Clock;
using std::chrono::milliseconds;

TEST(RedrawPacer, CheapRebuildsFollowEveryReportCostlyOnesTenASecond) {
    const Clock::time_point t0{};
    RedrawPacer cheap;
    EXPECT_TRUE(cheap.due(t0));  // the first picture
    cheap.rebuilt(t0, t0 + milliseconds(1));
    EXPECT_TRUE(cheap.due(t0 + milliseconds(3)));
    EXPECT_FALSE(cheap.pending());

    RedrawPacer costly;  // 60k triangles: about 15 ms a rebuild
    costly.rebuilt(t0, t0 + milliseconds(15));
    EXPECT_FALSE(costly.due(t0 + milliseconds(40)));
    EXPECT_TRUE(costly.pending());  // the picture is behind until the next rebuild
    EXPECT_FALSE(costly.due(t0 + milliseconds(99)));
    EXPECT_TRUE(costly.due(t0 + milliseconds(100)));  // counted from the start of the last
    costly.rebuilt(t0 + milliseconds(100), t0 + milliseconds(101));
    EXPECT_FALSE(costly.pending());
    // The last rebuild was cheap again: every report rebuilds.
    EXPECT_TRUE(costly.due(t0 + milliseconds(105)));
}

}  // namespace
