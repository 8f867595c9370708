#include "PieceNames.h"
#include "PiecePlan.h"

#include <gtest/gtest.h>

#include "CodePage932.h"

namespace {

TEST(PieceNames, PieceNumbersNameRulesAndThePlanOfLargeSources)
{
    const struct { uint32_t n; const char* name; } cases[] = {
        {1, "T:\\report.001"}, {2, "T:\\report.002"}, {10, "T:\\report.010"}, {99, "T:\\report.099"},
        {100, "T:\\report.100"}, {999, "T:\\report.999"}, {1000, "T:\\report.1000"}, {1001, "T:\\report.1001"},
        {12345, "T:\\report.12345"},
    };
    for (const auto& c : cases) EXPECT_EQ(PieceFileName("T:\\report.txt", c.n), c.name) << c.n;
    // The reading side derives the same names from the descriptor's path.
    EXPECT_EQ(PieceFileName("T:\\report.crc", 1000), "T:\\report.1000");
    EXPECT_EQ(PieceFileName("T:\\README", 1), "T:\\README.001");
    EXPECT_EQ(PieceFileName("T:\\.profile", 1), "T:\\.001");

    // What a combine reads from a name: the piece number, and whether the system would put the name
    // elsewhere (a directory, a device, a name it changes).
    const struct { const char* path; int n; } numbers[] = {  // n -1: no piece
        {"d\\a.001", 1}, {"a.000", 0}, {"a.999", 999}, {"a.1000", 1000}, {"a.123456789", 123456789},
        {"a.0001", -1}, {"a.01000", -1}, {"a.00", -1}, {"a.1234567890", -1}, {"a.crc", -1}, {"a.0x1", -1},
        {"a", -1}, {".001", 1}, {"a.b.002", 2},
    };
    for (const auto& c : numbers) {
        const std::optional<uint32_t> n = PieceNumberOf(c.path);
        EXPECT_EQ(n ? static_cast<int>(*n) : -1, c.n) << c.path;
    }
    const struct { const char* name; bool leaves, device, changed; } names[] = {
        {"a.bin", false, false, false}, {"..\\a", true, false, false}, {"c:a", true, false, false},
        {"a/b", true, false, false}, {"..", true, false, true}, {".", true, false, true},
        {"NUL", false, true, false}, {"con.txt", false, true, false}, {"Com9 .x", false, true, false},
        {"LPT0", false, false, false}, {"COM10", false, false, false}, {"conin$", false, true, false},
        {"aux.", false, true, true}, {"a.bin.", false, false, true}, {"a.bin ", false, false, true},
        {"x.", false, false, true}, {" a", false, false, false}, {HYO, false, false, false},
    };
    TCodePage932 cp932;
    for (const auto& c : names) {
        EXPECT_EQ(LeavesDirectory(c.name), c.leaves) << c.name;
        EXPECT_EQ(NamesDevice(c.name), c.device) << c.name;
        EXPECT_EQ(SystemChangesName(c.name), c.changed) << c.name;
    }
    // 表示.txt in the directory 表: the pieces keep the whole name.
    EXPECT_EQ(PieceFileName("T:\\" HYO "\\" HYO "\x8E\xA6.txt", 1000), "T:\\" HYO "\\" HYO "\x8E\xA6.1000");
    EXPECT_EQ(DescriptorFileName("T:\\" HYO "\\" HYO "\x8E\xA6.txt"), "T:\\" HYO "\\" HYO "\x8E\xA6.crc");

    const uint64_t G = 1ull << 30;
    const uint32_t P = 4294967295u;   // the largest piece size
    const uint32_t Fat32 = 4293918720u;  // 4095 MiB
    const struct {
        uint64_t size;
        uint32_t pieceSize;
        uint32_t count;  // 0: refused
        uint32_t first, last;
        const char* lastName;
    } plans[] = {
        {2 * G - 1, 1u << 30, 2, 1u << 30, (1u << 30) - 1, "T:\\d.002"},
        {2 * G, 1u << 30, 2, 1u << 30, 1u << 30, "T:\\d.002"},  // no empty trailing piece
        {2 * G + 1, 1u << 30, 3, 1u << 30, 1, "T:\\d.003"}, {4 * G + 100, Fat32, 2, Fat32, 1048676, "T:\\d.002"},
        {5 * G + 7, Fat32, 2, Fat32, 1074790407, "T:\\d.002"}, {5 * G + 7, 1u << 30, 6, 1u << 30, 7, "T:\\d.006"},
        {999ull * P + 1, P, 1000, P, 1, "T:\\d.1000"}, {1000ull * P - 1, P, 1000, P, P - 1, "T:\\d.1000"},
        {1000ull * P, P, 0, 0, 0, ""},
        {4 * G + 100, 1, 0, 0, 0, ""},    // 32 bits would see 100 bytes
        {0, P, 1, 0, 0, "T:\\d.001"},    // an empty source: one empty piece
        {5 * G, 0, 0, 0, 0, ""},
    };
    for (const auto& c : plans) {
        SCOPED_TRACE(std::to_string(c.size) + " / " + std::to_string(c.pieceSize));
        const TPiecePlan plan{c.size, c.pieceSize};
        ASSERT_EQ(plan.Accepted(), c.count != 0);
        if (!plan.Accepted()) continue;
        ASSERT_EQ(plan.Count(), c.count);
        EXPECT_EQ(plan.Length(1), c.first);
        EXPECT_EQ(plan.Length(c.count), c.last);
        uint64_t sum = 0;
        for (uint32_t n = 1; n <= plan.Count(); ++n) {
            if (n < plan.Count()) {
                EXPECT_EQ(plan.Length(n), c.pieceSize) << n;
            }
            sum += plan.Length(n);
        }
        EXPECT_EQ(sum, c.size);
        EXPECT_EQ(PieceFileName("T:\\d.iso", plan.Count()), c.lastName);
    }
}

}  // namespace
