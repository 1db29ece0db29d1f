#include "platform/window.h"

#include <gtest/gtest.h>

#include <cmath>

TEST(ProgressPosition, TenthsOfAPercentTruncatedAndClamped) {
    const double percentages[] = {0.05, 0.1, 33.3333, 99.99, 100.0, 250.0, -0.05, HUGE_VAL, NAN};
    const int positions[] = {0, 1, 333, 999, 1000, 1000, 0, 1000, 0};
    for (int i = 0; i < 9; ++i) {
        EXPECT_EQ(positions[i], progress_position(percentages[i])) << percentages[i];
    }
}
