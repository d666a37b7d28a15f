// When the wizard and quorvel-cli count a weight as at rest.
#include "core/Steadiness.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

using namespace std::chrono_literals;

TEST(Steadiness, RestsAfterTheNoMotionTimeWithinOneStepAndStartsAnewOnAMove)
{
    const struct {
        const char* what;
        std::vector<double> kg;  // one reading every 100 ms
        double fraction;         // after the last one
        std::chrono::milliseconds window = 500ms;
    } rows[] = {
        {"one reading", {50.0}, 0.0},
        {"unchanged for the window", {50.0, 50.0, 50.0, 50.0, 50.0, 50.0}, 1.0},
        {"last digit flickers", {50.0, 50.1, 50.0, 50.1, 50.0, 50.1}, 1.0},
        {"two steps apart", {50.0, 50.2, 50.0, 50.2, 50.0, 50.2}, 0.0},
        {"a move restarts the wait", {40.0, 40.0, 40.0, 40.0, 50.0, 50.0, 50.0}, 0.4},
        {"a reading that is no number", {50.0, 50.0, 50.0, std::numeric_limits<double>::quiet_NaN(), 50.0}, 0.0},
        {"a long rest stays at rest", std::vector<double>(100, 7.0), 1.0},
        {"no-motion time 0: one reading is no rest", {50.0}, 1.0 / 3, 0ms},
        {"no-motion time 0: a move starts the count anew", {40.0, 40.0, 50.0, 50.0}, 2.0 / 3, 0ms},
        {"no-motion time 0: three readings within a step rest", {50.0, 50.1, 50.0}, 1.0, 0ms},
    };
    for (const auto& row : rows) {
        TSteadiness steadiness(0.1, row.window);
        TSteadiness::TClock::time_point t{};
        for (double kg : row.kg) steadiness.Add(t += 100ms, kg);
        EXPECT_NEAR(steadiness.Fraction(), row.fraction, 1e-9) << row.what;
        EXPECT_EQ(steadiness.Steady(), row.fraction >= 1.0) << row.what;
    }
}
