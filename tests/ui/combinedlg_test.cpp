// The combine dialog driven through Win32 messages: validation owned by the host, real combines,
// errors passing on, the owner window restored. What it shares with the split dialog (layout, tab
// order, focus, closing) is checked over both dialogs in formdialog_test.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "App.h"
#include "CombineDlg.h"
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

    const std::vector<std::string> refused = {"", target.File("missing"), target.File("plain.txt"), "\\\\server\\"};
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
