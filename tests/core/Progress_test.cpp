#include "Progress.h"

#include <gtest/gtest.h>

namespace {

TEST(Progress, PercentFormula)
{
    const uint64_t G = 1ull << 30;
    const struct { uint64_t done, total; int32_t percent, block; } cases[] = {
        {50, 50, 0, 0}, {0, 99, 0, 0},                    // below 100 bytes the divisor is 0
        {150, 150, 150, 150}, {199, 199, 199, 199},       // divisor 1: not capped
        {100, 100, 100, 99}, {131072, 131072, 100, 99},   // block reports never say 100
        {131072, 262144, 50, 50}, {9999, 10000, 99, 99}, {10000, 10000, 100, 99},
        {10099, 10000, 100, 99}, {10100, 10000, 101, 101}, // more bytes than the total
        {4294967295u, 4294967295u, 100, 99},
        {42949671u, 4294967295u, 0, 0}, {42949672u, 4294967295u, 1, 1},  // truncating divisions
        {1509949u, 1474560u, 102, 102},
        // Sizes of 4 GiB and more.
        {131072, 4 * G + 100, 0, 0},                      // 32 bits would see a total of 100 bytes
        {2 * G + 1, 4 * G + 100, 49, 49}, {4 * G, 4 * G + 100, 99, 99}, {4 * G + 100, 4 * G + 100, 100, 99},
        {5 * G + 7, 5 * G + 7, 100, 99}, {5 * G - 131072, 5 * G + 7, 99, 99},
        {4290672328706ull, 4290672328706ull, 100, 99},    // 999 pieces of 4 GiB - 1, plus one byte
        {8 * G, 4 * G, 200, 200},                         // more bytes than the total: not capped
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ProgressPercent(c.done, c.total), c.percent) << c.done << "/" << c.total;
        EXPECT_EQ(BlockPercent(c.done, c.total), c.block) << c.done << "/" << c.total;
    }
}

}  // namespace
