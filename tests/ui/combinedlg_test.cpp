// The combine dialog driven through Win32 messages: validation owned by the host, real combines
// and the "CRC Error." box of a failed one, errors passing on, the owner window restored. What it
// shares with the split dialog (layout, tab order, focus, closing) is checked over both dialogs in
// formdialog_test.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "App.h"
#include "CombineDlg.h"
#include "EngineProbe.h"
#include "Errors.h"
#include "SplitFiles.h"
#include "TestFiles.h"
#include "UiDriver.h"
#include "resource.h"

using namespace ui;

TEST(CombineDialog, MissingTargetIsRefusedWithABoxOwnedByTheHostThenAValidOneCombines)
{
    testfiles::TempDir pieces, target;
    const std::string content = testfiles::PatternBytes(300000);
    testfiles::WriteFileBytes(pieces.File("photo.jpg"), content);
    ASSERT_TRUE(SplitFile(pieces.File("photo.jpg"), pieces.Path(), 131072, nullptr));
    testfiles::WriteFileBytes(target.File("plain.txt"), "x");
    ASSERT_TRUE(CreateDirectoryA(target.File("E").c_str(), nullptr));

    // A last name ending in a space or a dot would be tested as "E" and written as another
    // directory: refused, although "E" exists.
    const std::vector<std::string> refused = {"",
                                              target.File("missing"),
                                              target.File("plain.txt"),
                                              "\\\\server\\",
                                              target.File("E "),
                                              target.File("E..."),
                                              target.File("E.\\")};
    THostWindow host;
    std::vector<TBox> boxes;
    std::vector<bool> stillOpen;
    TBox success;
    {
        TDriver driver([&](DWORD main) {
            HWND dialog = WaitForFormDialog(main, "Combine files");
            ASSERT_NE(dialog, nullptr);
            for (const std::string& dir : refused) {
                SetText(dialog, IDC_EDTARGETDIR, dir);
                PostClick(dialog, IDC_BTOK);
                boxes.push_back(ReadAndCloseBox(main, "Path not found", host.Get()));
                stillOpen.push_back(IsWindowVisible(dialog) && IsWindowEnabled(dialog));
            }
            SetText(dialog, IDC_EDTARGETDIR, target.Path());
            PostClick(dialog, IDC_BTOK);
            success = ReadAndCloseBox(main, "Combine files", host.Get());
        });
        ExecuteCombineDialog(host.Get(), pieces.File("photo.crc"), "", nullptr);
    }
    ASSERT_EQ(boxes.size(), refused.size());
    for (size_t i = 0; i < refused.size(); ++i) {
        SCOPED_TRACE(refused[i]);
        EXPECT_TRUE(boxes[i].Found);
        EXPECT_EQ(boxes[i].Text, "Path not found. Please check it.");
        EXPECT_EQ(boxes[i].Owner, host.Get());
        EXPECT_EQ(boxes[i].Icon, ErrorIcon());
        // Closing the box owned by the host must not hand the host back while the dialog is up.
        EXPECT_FALSE(boxes[i].WatchedEnabledAfter);
        EXPECT_TRUE(stillOpen[i]);
    }
    ASSERT_TRUE(success.Found);
    EXPECT_EQ(success.Text, "File photo.crc succefully combined. CRC checksum - OK!");
    EXPECT_EQ(success.Owner, host.Get());
    EXPECT_EQ(success.Icon, InformationIcon());
    EXPECT_EQ(testfiles::ReadFileBytes(target.File("photo.jpg")), content);
    EXPECT_TRUE(IsWindowEnabled(host.Get()));
    EXPECT_TRUE(RemoveDirectoryA(target.File("E").c_str())) << "E is empty";
}

TEST(CombineDialog, EveryEndingShowsItsBoxOwnedByTheHost)
{
    testfiles::TempDir pieces;
    const std::string content = testfiles::PatternBytes(30000, 12);
    testfiles::WriteFileBytes(pieces.File("set.bin"), content);
    ASSERT_TRUE(SplitFile(pieces.File("set.bin"), pieces.Path(), 10000, nullptr));  // set.001 .. set.003
    enum TMoment { BeforeClosingReport, AfterClosingReport, NoReport };
    const std::string crcOk = "File set.crc succefully combined. CRC checksum - OK!";
    const std::string third = pieces.File("set.003"), saved = testfiles::ReadFileBytes(third);
    const std::string descriptor = pieces.File("set.crc"), savedDescriptor = testfiles::ReadFileBytes(descriptor);
    const struct {
        const char* what;
        const char* selected;
        bool pieceMissing, noDescriptor, gap;
        std::string existing;  // already in the target under the output's name
        const char* caption;
        std::string text;  // %T: the target directory, %P: the pieces' directory
        TMoment moment;
        const char* output;  // the file the target then holds, "" for none
    } cases[] = {
        {"complete", "set.crc", false, false, false, "", "Combine files", crcOk, AfterClosingReport, "set.bin"},
        {"from the first piece", "set.001", false, false, false, "", "Combine files", crcOk, AfterClosingReport, "set.bin"},
        {"from the second piece", "set.002", false, false, false, "", "Combine files", crcOk, AfterClosingReport, "set.bin"},
        {"a piece missing", "set.crc", true, false, false, "", "Error",
         "CRC Error.\r\n\r\nPiece \"%P\\set.003\" is missing.", BeforeClosingReport, ""},
        {"a different file in the target", "set.crc", false, false, false, "other bytes", "Error",
         "CRC Error.\r\n\r\nA different file \"%T\\set.bin\" is already there; it was left as it is.",
         BeforeClosingReport, "set.bin"},
        {"pieces alone, from the first", "set.001", false, true, false, "", "Combine files",
         "File set combined from 3 pieces. It could not be verified: there is no checksum file set.crc beside the "
         "pieces.", AfterClosingReport, "set"},
        {"pieces alone, from the second", "set.002", false, true, false, "", "Combine files",
         "File set combined from 3 pieces. It could not be verified: there is no checksum file set.crc beside the "
         "pieces.", AfterClosingReport, "set"},
        {"pieces alone, the last missing", "set.002", true, true, false, "", "Combine files",
         "File set combined from 2 pieces. It could not be verified: there is no checksum file set.crc beside the "
         "pieces.", AfterClosingReport, "set"},
        {"pieces alone with a gap", "set.001", true, true, true, "", "Error", "Piece \"%P\\set.003\" is missing.",
         NoReport, ""},
        {"pieces alone, a file of their name there", "set.001", false, true, false, "x", "Error",
         "A file \"%T\\set\" is already there; it was left as it is.", NoReport, "set"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        testfiles::TempDir target;
        const std::string output = *c.output ? target.File(c.output) : "";
        if (c.pieceMissing) DeleteFileA(third.c_str());
        if (c.gap) testfiles::WriteFileBytes(pieces.File("set.004"), "gap");
        if (c.noDescriptor) DeleteFileA(descriptor.c_str());
        if (!c.existing.empty()) testfiles::WriteFileBytes(output, c.existing);
        THostWindow host;
        engineprobe::TProgressRecorder progress;
        TBox box;
        size_t callsAtBox = 0;
        bool otherBox = true;
        std::vector<std::string> filesAtBox;
        {
            TDriver driver([&](DWORD main) {
                HWND dialog = WaitForFormDialog(main, "Combine files");
                ASSERT_NE(dialog, nullptr);
                SetText(dialog, IDC_EDTARGETDIR, target.Path());
                PostClick(dialog, IDC_BTOK);
                // The combine's thread waits in the box: what it did before is done.
                HWND window = WaitForMessageBox(main, c.caption);
                ASSERT_NE(window, nullptr);
                callsAtBox = progress.Calls().size();
                filesAtBox = engineprobe::FileNames(target.Path());
                box = ReadAndCloseBox(main, c.caption, host.Get());
                otherBox = WaitForMessageBox(main, std::string(c.caption) == "Error" ? "Combine files" : "Error", 500) !=
                           nullptr;
            });
            ExecuteCombineDialog(host.Get(), pieces.File(c.selected), "", progress.Proc());
        }
        testfiles::WriteFileBytes(third, saved);
        testfiles::WriteFileBytes(descriptor, savedDescriptor);
        DeleteFileA(pieces.File("set.004").c_str());
        std::string text = c.text;
        for (size_t at; (at = text.find("%T")) != std::string::npos;) text.replace(at, 2, target.Path());
        for (size_t at; (at = text.find("%P")) != std::string::npos;) text.replace(at, 2, pieces.Path());
        ASSERT_TRUE(box.Found);
        EXPECT_FALSE(otherBox);
        EXPECT_EQ(box.Owner, host.Get());
        EXPECT_EQ(box.Text, text);
        EXPECT_EQ(box.Icon, std::string(c.caption) == "Error" ? ErrorIcon()
                            : c.noDescriptor                  ? WarningIcon()
                                                              : InformationIcon());
        // Only the final file, never a temporary one, and a failed output is gone before the box.
        const std::vector<std::string> expected = *c.output ? std::vector<std::string>{c.output}
                                                            : std::vector<std::string>{};
        EXPECT_EQ(filesAtBox, expected);
        EXPECT_EQ(engineprobe::FileNames(target.Path()), expected);
        switch (c.moment) {
        case AfterClosingReport: EXPECT_EQ(callsAtBox, progress.Calls().size()); break;
        case BeforeClosingReport: EXPECT_EQ(callsAtBox + 1, progress.Calls().size()); break;
        case NoReport: EXPECT_TRUE(progress.Calls().empty()); break;
        }
        if (c.moment != NoReport) {
            EXPECT_EQ(progress.Calls().back().FileName, target.File(c.noDescriptor ? "set" : "set.bin"));
        }
        if (!c.existing.empty()) {
            EXPECT_EQ(testfiles::ReadFileBytes(output), c.existing);
        } else if (*c.output) {
            EXPECT_EQ(testfiles::ReadFileBytes(output), c.pieceMissing ? content.substr(0, 20000) : content);
        }
    }
}

TEST(CombineDialog, UnreadableDescriptorRaisesAfterTheDialogAndTheOwnerIsRestored)
{
    testfiles::TempDir dir;
    THostWindow host;
    App::SetOwnerWindow(nullptr);
    std::string error;
    bool anyBox = true;
    {
        TDriver driver([&](DWORD main) {
            ASSERT_TRUE(PressOk(main, "Combine files"));
            anyBox = WaitForMessageBox(main, "Combine files", 500) != nullptr;
        });
        try {
            ExecuteCombineDialog(host.Get(), dir.File("absent.crc"), dir.Path(), nullptr);
        } catch (const EZandrelError& e) {
            error = e.what();
        }
    }
    EXPECT_EQ(error.rfind("Cannot open file \"" + dir.File("absent.crc") + "\".", 0), 0u) << error;
    EXPECT_FALSE(anyBox);
    EXPECT_EQ(App::OwnerWindow(), nullptr);
    EXPECT_TRUE(IsWindowEnabled(host.Get()));
}
