// The combine dialog driven through Win32 messages: every ending of a combine with its box owned
// by the host ("CRC Error." for a failed check). What it shares with the split dialog (layout, tab
// order, focus, closing, refused targets, errors passing on) is checked over both dialogs in
// formdialog_test; the joined bytes are the engine tests' (combine_test).
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "CombineDlg.h"
#include "EngineProbe.h"
#include "SplitFiles.h"
#include "TestFiles.h"
#include "UiDriver.h"
#include "resource.h"

using namespace ui;

TEST(CombineDialog, EveryEndingShowsItsBoxOwnedByTheHost)
{
    testfiles::TempDir pieces;
    const std::string content = testfiles::PatternBytes(30000, 12);
    testfiles::WriteFileBytes(pieces.File("set.bin"), content);
    ASSERT_TRUE(SplitFile(pieces.File("set.bin"), pieces.Path(), 10000, nullptr));  // set.001 .. set.003
    const std::string crcOk = "File set.crc succefully combined. CRC checksum - OK!";
    const auto alone = [](const char* pieces) {
        return "File set combined from " + std::string(pieces) +
               " pieces. It could not be verified: there is no checksum file set.crc beside the pieces.";
    };
    const std::string third = pieces.File("set.003"), saved = testfiles::ReadFileBytes(third);
    const std::string descriptor = pieces.File("set.crc"), savedDescriptor = testfiles::ReadFileBytes(descriptor);
    const struct {
        const char* what;
        const char* selected;
        bool pieceMissing, noDescriptor, gap;
        const char* caption;  // "Combine files" after the closing report; "Error" before it, or with no
                              // checksum file without any report
        std::string text;     // %P: the pieces' directory
        const char* output;   // the file the target then holds, "" for none
    } cases[] = {
        {"complete", "set.crc", false, false, false, "Combine files", crcOk, "set.bin"},
        {"from the second piece", "set.002", false, false, false, "Combine files", crcOk, "set.bin"},
        {"a piece missing", "set.crc", true, false, false, "Error",
         "CRC Error.\r\n\r\nPiece \"%P\\set.003\" is missing.", ""},
        {"pieces alone, from the first", "set.001", false, true, false, "Combine files", alone("3"), "set"},
        {"pieces alone, the last missing", "set.002", true, true, false, "Combine files", alone("2"), "set"},
        {"pieces alone with a gap", "set.001", true, true, true, "Error", "Piece \"%P\\set.003\" is missing.", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        testfiles::TempDir target;
        if (c.pieceMissing) DeleteFileA(third.c_str());
        if (c.gap) testfiles::WriteFileBytes(pieces.File("set.004"), "gap");
        if (c.noDescriptor) DeleteFileA(descriptor.c_str());
        std::string text = c.text;
        for (size_t at; (at = text.find("%P")) != std::string::npos;) text.replace(at, 2, pieces.Path());
        const bool error = std::string(c.caption) == "Error";
        const HICON icon = error ? ErrorIcon() : c.noDescriptor ? WarningIcon() : InformationIcon();
        // Only the final file, never a temporary one, and a failed output is gone before the box.
        const std::vector<std::string> expected = *c.output ? std::vector<std::string>{c.output} : std::vector<std::string>{};
        TUi ui;
        engineprobe::TProgressRecorder progress;
        size_t callsAtBox = 0;
        ui.Run("Combine files", [&](TDrive& t) {
            SCOPED_TRACE(c.what);
            t.Set(IDC_EDTARGETDIR, target.Path());
            t.Click(IDC_BTOK);
            ExpectBox(t.Box(c.caption, [&] {
                          callsAtBox = progress.Calls().size();
                          EXPECT_EQ(engineprobe::FileNames(target.Path()), expected);
                      }),
                      text, t.Host, icon);
            EXPECT_TRUE(t.ReturnsWithoutBox()) << "one box only";
        }, [&] { ExecuteCombineDialog(ui.Host(), pieces.File(c.selected), "", progress.Proc()); });
        testfiles::WriteFileBytes(third, saved);
        testfiles::WriteFileBytes(descriptor, savedDescriptor);
        DeleteFileA(pieces.File("set.004").c_str());
        EXPECT_EQ(engineprobe::FileNames(target.Path()), expected);
        if (error && c.noDescriptor) {
            EXPECT_TRUE(progress.Calls().empty());
        } else {
            EXPECT_EQ(callsAtBox + error, progress.Calls().size());
            EXPECT_EQ(progress.Calls().back().FileName, target.File(c.noDescriptor ? "set" : "set.bin"));
        }
    }
}
