// Pieces agree with GNU split's (`split -b 300000 -d -a 3 --numeric-suffixes=1`), and GNU pieces
// with a descriptor written by a shell script (CR LF, LF, lower-case hexadecimal) combine.
// The GNU side is prepared by tests/win/fixtures/engine_fixture.sh before this program runs.
#include <gtest/gtest.h>

#include <windows.h>

#include "App.h"
#include "BoxWatcher.h"
#include "CRC32Core.h"
#include "EngineProbe.h"
#include "SplitFiles.h"
#include "TestFiles.h"

using testfiles::ReadFileBytes;
using testfiles::TempDir;

namespace {

class InteropTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { BuildCRCTable(); }
    void SetUp() override
    {
        const auto dir = engineprobe::FixtureDir();
        if (!dir) GTEST_SKIP() << "needs the engine test fixture (run through ctest)";
        fixture = *dir;
        sample = ReadFileBytes(fixture + "\\sample.dat");
    }
    std::string fixture, sample;
};

}  // namespace

TEST_F(InteropTest, PiecesAreByteIdenticalToGNUSplits)
{
    TempDir pieces;
    ASSERT_TRUE(SplitFile(fixture + "\\sample.dat", pieces.Path(), 300000, nullptr));
    const auto gnu = engineprobe::Snapshot(fixture + "\\gnu");
    ASSERT_EQ(gnu.size(), 4u);  // 1,000,003 bytes: three full pieces and 100,003 bytes
    for (const auto& [name, bytes] : gnu) EXPECT_EQ(ReadFileBytes(pieces.File(name)), bytes) << name;
    EXPECT_EQ(engineprobe::FileNames(pieces.Path()).size(), gnu.size() + 2);  // and the .crc and .sfv
}

// The script took its checksum from gzip; it must agree with the engine probe's, which the split
// tests hold every descriptor to (upper case, no leading zeros).
TEST_F(InteropTest, TheScriptsChecksumAgreesWithTheEngineProbes)
{
    const std::string script = ReadFileBytes(fixture + "\\crlf\\sample.crc");
    const size_t at = script.find("crc32=");
    ASSERT_NE(at, std::string::npos);
    EXPECT_EQ(std::strtoul(script.c_str() + at + 6, nullptr, 16), engineprobe::Crc32(sample));
}

// The script's descriptor variants (CR LF, LF, lower-case hexadecimal), each in a directory of its
// own beside the GNU pieces, share one result.
TEST_F(InteropTest, GNUPiecesWithTheScriptsDescriptorsCombine)
{
    App::SetOwnerWindow(nullptr);
    for (const char* variant : {"crlf", "lf", "lower"}) {
        SCOPED_TRACE(variant);
        const std::string dir = fixture + "\\" + variant;
        const auto before = engineprobe::Snapshot(dir);
        TempDir target;
        TBoxWatcher boxes;
        EXPECT_TRUE(CombineFiles(dir + "\\sample.crc", target.Path(), nullptr));
        EXPECT_EQ(ReadFileBytes(target.File("sample.dat")), sample);
        EXPECT_TRUE(boxes.Seen().empty());
        EXPECT_EQ(engineprobe::Snapshot(dir), before);
    }
}
