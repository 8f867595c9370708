// The combine dialog driven through Win32 messages: texts, geometry, validation owned by the host,
// real combines, errors passing on, the owner window restored.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "App.h"
#include "CombineDlg.h"
#include "CurrentDirectory.h"
#include "Errors.h"
#include "SplitFiles.h"
#include "TestFiles.h"
#include "UiDriver.h"
#include "resource.h"

using namespace ui;

namespace {

struct TBox {
    bool found = false;
    std::string text;
    HWND owner = reinterpret_cast<HWND>(-1);
    TBoxIcon icon = TBoxIcon::None;
    bool hostEnabledAfter = true;
};

TBox ReadAndCloseBox(DWORD main, const char* caption, HWND host)
{
    TBox box;
    HWND window = WaitForMessageBox(main, caption);
    if (!window) return box;
    box.found = true;
    box.text = MessageBoxText(window);
    box.owner = Owner(window);
    box.icon = MessageBoxIcon(window);
    PostMessageA(window, WM_COMMAND, IDOK, 0);
    WaitGone(window);
    Sleep(50);
    box.hostEnabledAfter = IsWindowEnabled(host) != FALSE;
    return box;
}

}  // namespace

TEST(CombineDialog, OpensWithItsTextGeometryAndTabOrderAndTheCloseBoxCancels)
{
    THostWindow host;
    std::string label, target;
    RECT client{};
    std::vector<int> tabOrder;
    HWND owner = nullptr, focus = nullptr, ok = nullptr;
    bool hostEnabled = true, hasCombo = true, hasIcon = false;
    // Each control's rectangle in pixels at 96 dots per inch.
    const int ids[] = {IDC_IMAGE1, IDC_LABEL1, IDC_SBBROWSE, IDC_BTOK, IDC_BTCANCEL, IDC_EDTARGETDIR};
    const std::vector<std::array<int, 4>> designed = {{8, 8, 33, 33},    {56, 16, 265, 29}, {298, 55, 22, 22},
                                                      {168, 96, 75, 25}, {248, 96, 75, 25}, {8, 56, 289, 21}};
    std::vector<std::array<int, 4>> rects;
    const HWND before = reinterpret_cast<HWND>(0x4321);
    App::SetOwnerWindow(before);
    {
        TDriver driver([&](DWORD main) {
            HWND dialog = WaitForFormDialog(main, "Combine files");
            ASSERT_NE(dialog, nullptr);
            ok = GetDlgItem(dialog, IDC_BTOK);
            WaitUntil([&] { return FocusOf(main) == ok; });
            focus = FocusOf(main);
            label = WindowText(GetDlgItem(dialog, IDC_LABEL1));
            target = WindowText(GetDlgItem(dialog, IDC_EDTARGETDIR));
            GetClientRect(dialog, &client);
            for (int id : ids) rects.push_back(ControlRect(dialog, id));
            owner = Owner(dialog);
            hostEnabled = IsWindowEnabled(host.Get()) != FALSE;
            hasCombo = GetDlgItem(dialog, IDC_CBTRGSIZE) != nullptr;
            hasIcon = SendMessageA(GetDlgItem(dialog, IDC_IMAGE1), STM_GETICON, 0, 0) != 0;
            HWND item = ok;
            for (int i = 0; i < 4; ++i) {
                tabOrder.push_back(GetDlgCtrlID(item));
                item = GetNextDlgTabItem(dialog, item, FALSE);
            }
            PostMessageA(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
            WaitGone(dialog);
        });
        ExecuteCombineDialog(host.Get(), "D:\\backup\\big.crc", "D:\\restore", nullptr);
    }
    EXPECT_EQ(App::OwnerWindow(), before);
    App::SetOwnerWindow(nullptr);
    EXPECT_EQ(label, "Combine big.crc and all files with ascending names to directory:");
    EXPECT_EQ(target, "D:\\restore");
    ASSERT_EQ(ScreenDpi(), 96);
    EXPECT_EQ(client.right, 328);
    EXPECT_EQ(client.bottom, 125);
    ASSERT_EQ(rects.size(), designed.size());
    for (size_t i = 0; i < designed.size(); ++i) EXPECT_EQ(rects[i], designed[i]) << "control " << ids[i];
    EXPECT_EQ(tabOrder, (std::vector<int>{IDC_BTOK, IDC_BTCANCEL, IDC_EDTARGETDIR, IDC_BTOK}));
    EXPECT_EQ(owner, host.Get());
    EXPECT_EQ(focus, ok);
    EXPECT_FALSE(hostEnabled);
    EXPECT_FALSE(hasCombo);
    EXPECT_TRUE(hasIcon);
    EXPECT_TRUE(IsWindowEnabled(host.Get()));
}

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
        EXPECT_TRUE(boxes[i].found);
        EXPECT_EQ(boxes[i].text, "Path not found. Please check it.");
        EXPECT_EQ(boxes[i].owner, host.Get());
        EXPECT_EQ(boxes[i].icon, TBoxIcon::Error);
        // Closing the box owned by the host must not hand the host back while the dialog is up.
        EXPECT_FALSE(boxes[i].hostEnabledAfter);
        EXPECT_TRUE(stillOpen[i]);
    }
    ASSERT_TRUE(success.found);
    EXPECT_EQ(success.text, "File photo.crc succefully combined. CRC checksum - OK!");
    EXPECT_EQ(success.owner, host.Get());
    EXPECT_EQ(success.icon, TBoxIcon::Information);
    EXPECT_EQ(testfiles::ReadFileBytes(target.File("photo.jpg")), content);
    EXPECT_TRUE(IsWindowEnabled(host.Get()));
    EXPECT_TRUE(RemoveDirectoryA(target.File("E").c_str())) << "E is empty";
}

TEST(CombineDialog, ABareDriveLetterIsThatDrivesRootWhateverTheCurrentDirectoryHolds)
{
    // The current directory holds a folder named after a letter that no drive has, and no
    // folder "c". That letter is refused and nothing lands in the folder; "c" is the root "c:\",
    // where the rebuilt file then is.
    testfiles::TempDir pieces;
    const std::string letter(1, testfiles::UnmappedDriveLetter());
    ASSERT_NE(letter[0], 0);
    ASSERT_TRUE(CreateDirectoryA(pieces.File(letter).c_str(), nullptr));
    const std::string content = testfiles::PatternBytes(1000);
    testfiles::WriteFileBytes(pieces.File("zandrel-letter.dat"), content);
    ASSERT_TRUE(SplitFile(pieces.File("zandrel-letter.dat"), pieces.Path(), 400, nullptr));
    const std::string rebuilt = "c:\\zandrel-letter.dat";
    DeleteFileA(rebuilt.c_str());
    THostWindow host;
    TBox refused, success;
    {
        testfiles::TCurrentDirectoryScope current(pieces.Path());
        TDriver driver([&](DWORD main) {
            HWND dialog = WaitForFormDialog(main, "Combine files");
            ASSERT_NE(dialog, nullptr);
            SetText(dialog, IDC_EDTARGETDIR, letter);
            PostClick(dialog, IDC_BTOK);
            refused = ReadAndCloseBox(main, "Path not found", host.Get());
            SetText(dialog, IDC_EDTARGETDIR, "c");
            PostClick(dialog, IDC_BTOK);
            success = ReadAndCloseBox(main, "Combine files", host.Get());
        });
        ExecuteCombineDialog(host.Get(), pieces.File("zandrel-letter.crc"), "", nullptr);
    }
    EXPECT_EQ(refused.text, "Path not found. Please check it.");
    EXPECT_EQ(success.text, "File zandrel-letter.crc succefully combined. CRC checksum - OK!");
    EXPECT_TRUE(RemoveDirectoryA(pieces.File(letter).c_str())) << "the folder is empty";
    ASSERT_TRUE(FileExists(rebuilt));
    EXPECT_EQ(testfiles::ReadFileBytes(rebuilt), content);
    DeleteFileA(rebuilt.c_str());
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
            HWND dialog = WaitForFormDialog(main, "Combine files");
            ASSERT_NE(dialog, nullptr);
            PostClick(dialog, IDC_BTOK);
            WaitGone(dialog);
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

TEST(CombineDialog, EveryWayOfClosingWithABoxStillUpHandsBackExactlyTheWindowsItDisabled)
{
    // Cancel, Esc, close box, Alt+F4, or OK with a valid target and a combine that raises (no
    // descriptor); then all five again with a host that had disabled its own window.
    testfiles::TempDir dir;
    for (int run = 0; run < 10; ++run) {
        SCOPED_TRACE(run);
        THostWindow host, other, idle;
        EnableWindow(host.Get(), run < 5);
        EnableWindow(idle.Get(), FALSE);
        bool raised = false;
        EXPECT_TRUE(CloseWithBoxUp("Combine files", "Path not found", run % 5, dir.File("missing"), dir.Path(), [&] {
            try {
                ExecuteCombineDialog(host.Get(), dir.File("absent.crc"), dir.Path(), nullptr);
            } catch (const EZandrelError&) {
                raised = true;
            }
        }));
        EXPECT_EQ(raised, run % 5 == 4);
        EXPECT_EQ(IsWindowEnabled(host.Get()) != FALSE, run < 5);
        EXPECT_TRUE(IsWindowEnabled(other.Get()));
        EXPECT_FALSE(IsWindowEnabled(idle.Get()));
    }
}
