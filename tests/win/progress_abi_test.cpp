// The progress callback as the host writes it: a stdcall procedure of six arguments that removes
// 24 bytes. The engine calls an assembly callback that copies the six stack arguments, hands them
// to a recorder and returns with "ret 24"; a caller that disagreed about the convention would
// drift its stack by 24 bytes per report and could not finish a split of many blocks.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdint>
#include <string>
#include <tuple>

#include "EngineProbe.h"
#include "SplitFiles.h"
#include "TestFiles.h"

// The six arguments in the host's order, as the assembly callback found them on the stack.
extern "C" void __stdcall RecordProgress(int32_t percent, const char* status, const char* file,
                                         const char* sourceDir, const char* targetDir, uint8_t* cancel)
{
    engineprobe::TProgressRecorder::Record(percent, status, file, sourceDir, targetDir, cancel);
}

#if defined(__i386__)
extern "C" void HostProgress();
// Copies the six arguments (ESP+4 .. ESP+24) onto the stack again, calls the recorder (which
// removes them), then removes the host's own 24 bytes.
asm(R"(
    .text
    .globl _HostProgress
_HostProgress:
    pushl 24(%esp)
    pushl 24(%esp)
    pushl 24(%esp)
    pushl 24(%esp)
    pushl 24(%esp)
    pushl 24(%esp)
    call  _RecordProgress@24
    ret   $24
)");

TEST(ProgressAbi, SixStdcallArgumentsInOrderOverManyBlocks)
{
    testfiles::TempDir dir;
    const std::string source = dir.File("many.bin");
    const size_t size = 64 * 131072 + 5;  // 65 blocks, so 65 block reports and a closing one
    testfiles::WriteFileBytes(source, testfiles::PatternBytes(size));
    engineprobe::TProgressRecorder progress;
    ASSERT_TRUE(SplitFile(source, dir.Path(), 10 * 1024 * 1024, reinterpret_cast<TPlugInProgressProc>(&HostProgress)));
    const auto& calls = progress.Calls();
    ASSERT_EQ(calls.size(), 66u);
    uint8_t* const cancel = const_cast<uint8_t*>(&CancelFlag);
    for (size_t i = 0; i < calls.size(); ++i)
        EXPECT_EQ(std::tie(calls[i].Status, calls[i].FileName, calls[i].SourceDir, calls[i].TargetDir, calls[i].Cancel),
                  std::tie("Spliting...", source, dir.Path(), dir.Path(), cancel)) << i;
    EXPECT_EQ(calls.back().Percent, 100);
    EXPECT_EQ(calls[calls.size() - 2].Percent, 99);
    EXPECT_EQ(testfiles::ReadFileBytes(dir.File("many.001")), testfiles::PatternBytes(size));
}
#endif
