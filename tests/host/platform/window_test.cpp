#include "platform/window.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

TEST(ProgressPosition, TenthsOfAPercentTruncatedAndClamped) {
    struct Case {
        double percentage;
        int position;
    } cases[] = {
        {0.0, 0},
        {0.05, 0},
        {0.1, 1},
        {33.3333, 333},
        {66.6666, 666},
        {99.99, 999},
        {100.0, 1000},
        {250.0, 1000},
        {-5.0, 0},
        {-0.05, 0},
        {1e300, 1000},
        {-1e300, 0},
        {std::numeric_limits<double>::infinity(), 1000},
        {std::nan(""), 0},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.position, progress_position(c.percentage)) << c.percentage;
    }
}

} // namespace
