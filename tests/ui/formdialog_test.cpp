// What the split and the combine dialog share, as one table over both: the designed layout, tab
// order, focus, owner and the windows disabled while a dialog is up, every way of closing it, and
// the target directory a bare drive letter stands for.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <array>
#include <functional>
#include <string>
#include <vector>

#include "App.h"
#include "CombineDlg.h"
#include "CurrentDirectory.h"
#include "Errors.h"
#include "SplitDlg.h"
#include "SplitFiles.h"
#include "TestFiles.h"
#include "UiDriver.h"
#include "resource.h"

using namespace ui;

namespace {

enum TDialogs { Split = 1, Combine = 2, Both = Split | Combine };

// The designed layout in pixels at 96 dots per inch, kept once for both dialogs: a row a control,
// with the dialogs that have it; a control that only the other dialog has must be missing.
const struct TPlace {
    int dialogs, id;
    std::array<int, 4> rect;  // left, top, width, height
} Layout[] = {
    {Both, IDC_IMAGE1, {8, 8, 33, 33}},          {Both, IDC_SBBROWSE, {298, 55, 22, 22}},
    {Both, IDC_EDTARGETDIR, {8, 56, 289, 21}},   {Split, IDC_LABEL1, {56, 16, 241, 30}},
    {Split, IDC_LABEL2, {8, 88, 63, 13}},        {Split, IDC_CBTRGSIZE, {80, 80, 145, 21}},
    {Split, IDC_BTOK, {168, 120, 75, 25}},       {Split, IDC_BTCANCEL, {248, 120, 75, 25}},
    {Combine, IDC_LABEL1, {56, 16, 265, 29}},    {Combine, IDC_BTOK, {168, 96, 75, 25}},
    {Combine, IDC_BTCANCEL, {248, 96, 75, 25}},
};

// Ways of closing a dialog: the Cancel button, Esc, the close box, Alt+F4.
enum TWay { CancelButton, Esc, CloseBox, AltF4 };

void PostClose(HWND dialog, HWND focus, TWay way)
{
    if (way == CancelButton) PostClick(dialog, IDC_BTCANCEL);
    if (way == Esc) PostKey(focus, VK_ESCAPE);
    if (way == CloseBox) PostMessageA(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
    if (way == AltF4) PostMessageA(focus, WM_SYSKEYDOWN, VK_F4, 0x20000001);  // with KF_ALTDOWN
}

// One dialog, opened on a file and a proposed target by its Execute function.
struct TDialog {
    TDialogs which;
    const char* caption;
    int clientHeight;
    std::vector<int> tabOrder;  // from OK round to OK
    const char* file;
    const char* target;
    const char* label1;
    const char* label2;  // null: the dialog has none
    // Opens the dialog over host on file and target.
    std::function<void(HWND host, const std::string& file, const std::string& target)> execute;
    // The caption of the box that refuses a missing target directory.
    const char* refusalCaption;
    // Whether OK with a valid target raises when file is missing.
    bool raisesWithoutFile;
};

const std::vector<TDialog>& Dialogs()
{
    static const std::vector<TDialog> dialogs = {
        {Split, "Split file", 150, {IDC_BTOK, IDC_BTCANCEL, IDC_EDTARGETDIR, IDC_CBTRGSIZE, IDC_BTOK},
         "C:\\docs\\report.txt", "C:\\target dir", "Split file report.txt to directory:", "Bytes per file:",
         [](HWND host, const std::string& file, const std::string& target) {
             ExecuteSplitDialog(host, file, target, nullptr);
         },
         "Split file", false},
        {Combine, "Combine files", 125, {IDC_BTOK, IDC_BTCANCEL, IDC_EDTARGETDIR, IDC_BTOK}, "D:\\backup\\big.crc",
         "D:\\restore", "Combine big.crc and all files with ascending names to directory:", nullptr,
         [](HWND host, const std::string& file, const std::string& target) {
             ExecuteCombineDialog(host, file, target, nullptr);
         },
         "Path not found", true},
    };
    return dialogs;
}

// What a dialog showed while it was up.
struct TFormState {
    bool found = false;
    std::string label1, label2, target;
    HWND owner = nullptr, focus = nullptr, okButton = nullptr;
    bool hostEnabled = true, otherEnabled = true, dialogEnabled = false;
    RECT client{};
    POINT centre{};
    std::vector<int> tabOrder;
    LONG browseStyle = 0;
    bool hasIcon = false;
    std::vector<std::array<int, 4>> rects;     // of the controls the layout gives the dialog
    std::vector<int> present;                  // controls the layout gives only the other dialog
};

TFormState ReadForm(const TDialog& d, HWND dialog, DWORD mainThread, HWND host, HWND other)
{
    TFormState s;
    s.found = dialog != nullptr;
    if (!dialog) return s;
    // The focus is placed once the dialog is up; wait for it rather than race it.
    WaitUntil([&] { return FocusOf(mainThread) != nullptr; });
    s.label1 = WindowText(GetDlgItem(dialog, IDC_LABEL1));
    if (d.label2) s.label2 = WindowText(GetDlgItem(dialog, IDC_LABEL2));
    s.target = WindowText(GetDlgItem(dialog, IDC_EDTARGETDIR));
    s.owner = Owner(dialog);
    s.focus = FocusOf(mainThread);
    s.okButton = GetDlgItem(dialog, IDC_BTOK);
    s.hostEnabled = IsWindowEnabled(host) != FALSE;
    s.otherEnabled = IsWindowEnabled(other) != FALSE;
    s.dialogEnabled = IsWindowEnabled(dialog) != FALSE;
    GetClientRect(dialog, &s.client);
    RECT rc;
    GetWindowRect(dialog, &rc);
    s.centre = {(rc.left + rc.right) / 2, (rc.top + rc.bottom) / 2};
    HWND item = s.okButton;
    for (size_t i = 0; i < d.tabOrder.size(); ++i) {
        s.tabOrder.push_back(GetDlgCtrlID(item));
        item = GetNextDlgTabItem(dialog, item, FALSE);
    }
    s.browseStyle = GetWindowLongA(GetDlgItem(dialog, IDC_SBBROWSE), GWL_STYLE);
    s.hasIcon = SendMessageA(GetDlgItem(dialog, IDC_IMAGE1), STM_GETICON, 0, 0) != 0;
    std::vector<int> placed;
    for (const TPlace& p : Layout)
        if (p.dialogs & d.which) s.rects.push_back(ControlRect(dialog, p.id)), placed.push_back(p.id);
    for (const TPlace& p : Layout)
        if (std::find(placed.begin(), placed.end(), p.id) == placed.end() && GetDlgItem(dialog, p.id))
            s.present.push_back(p.id);
    return s;
}

// Runs d's dialog while a driver has OK refuse the target `refused` with a box and, the box still
// up, closes the dialog by `way`, or with way 4 presses OK again on the target `valid`; then
// answers the box. True when the dialog went while the box stayed up.
bool CloseWithBoxUp(const TDialog& d, int way, const std::string& refused, const std::string& valid,
                    const std::function<void()>& execute)
{
    bool goneFirst = false;
    TDriver driver([&](DWORD main) {
        HWND dialog = WaitForFormDialog(main, d.caption), edit = GetDlgItem(dialog, IDC_EDTARGETDIR);
        SetText(dialog, IDC_EDTARGETDIR, refused);
        PostClick(dialog, IDC_BTOK);
        HWND box = WaitForMessageBox(main, d.refusalCaption);
        if (way < 4)
            PostClose(dialog, edit, static_cast<TWay>(way));
        else
            SetText(dialog, IDC_EDTARGETDIR, valid), PostClick(dialog, IDC_BTOK);
        goneFirst = box && WaitGone(dialog, 5000) && IsWindowVisible(box);
        PostMessageA(box, WM_COMMAND, IDOK, 0);
        WaitGone(box);
    });
    execute();
    return goneFirst;
}

}  // namespace

TEST(FormDialogs, OpenCentredWithTheirTextsDesignedLayoutTabOrderAndFocusOnOkAndEscOrTheCloseBoxCloses)
{
    ASSERT_EQ(ScreenDpi(), 96);
    for (const TDialog& d : Dialogs()) {
        SCOPED_TRACE(d.caption);
        THostWindow host;
        THostWindow other("Another window of the host");
        TFormState s;
        bool closed = false;
        const HWND before = reinterpret_cast<HWND>(0x1234);
        App::SetOwnerWindow(before);
        {
            TDriver driver([&](DWORD main) {
                HWND dialog = WaitForFormDialog(main, d.caption);
                s = ReadForm(d, dialog, main, host.Get(), other.Get());
                if (!dialog) return;
                PostClose(dialog, FocusOf(main), d.which == Split ? Esc : CloseBox);
                closed = WaitGone(dialog);
            });
            d.execute(host.Get(), d.file, d.target);
        }
        EXPECT_EQ(App::OwnerWindow(), before);
        App::SetOwnerWindow(nullptr);
        ASSERT_TRUE(s.found);
        EXPECT_TRUE(closed);
        EXPECT_EQ(s.label1, d.label1);
        if (d.label2) { EXPECT_EQ(s.label2, d.label2); }
        EXPECT_EQ(s.target, d.target);
        EXPECT_EQ(s.owner, host.Get());
        EXPECT_EQ(s.focus, s.okButton);
        EXPECT_FALSE(s.hostEnabled);
        EXPECT_FALSE(s.otherEnabled);
        EXPECT_TRUE(s.dialogEnabled);
        EXPECT_TRUE(IsWindowEnabled(host.Get()));
        EXPECT_TRUE(IsWindowEnabled(other.Get()));
        EXPECT_EQ(s.client.right, 328);
        EXPECT_EQ(s.client.bottom, d.clientHeight);
        size_t i = 0;
        for (const TPlace& p : Layout)
            if (p.dialogs & d.which) {
                ASSERT_LT(i, s.rects.size());
                EXPECT_EQ(s.rects[i++], p.rect) << "control " << p.id;
            }
        EXPECT_EQ(s.present, std::vector<int>{}) << "controls of the other dialog only";
        EXPECT_EQ(s.tabOrder, d.tabOrder);
        EXPECT_EQ(s.browseStyle & WS_TABSTOP, 0);
        EXPECT_TRUE(s.hasIcon);
        const int screenX = GetSystemMetrics(SM_CXSCREEN) / 2, screenY = GetSystemMetrics(SM_CYSCREEN) / 2;
        EXPECT_NEAR(s.centre.x, screenX, 40);
        EXPECT_NEAR(s.centre.y, screenY, 40);
    }
}

TEST(FormDialogs, EveryWayOfClosingWithABoxStillUpHandsBackExactlyTheWindowsItDisabled)
{
    // Cancel, Esc, close box, Alt+F4, or OK with a valid target and a command that fails for want
    // of its file (the split quietly, the combine raising); then all five again with a host that
    // had disabled its own window.
    testfiles::TempDir dir;
    for (const TDialog& d : Dialogs()) {
        const std::string file = dir.File(d.which == Split ? "gone.bin" : "absent.crc");
        for (int run = 0; run < 10; ++run) {
            SCOPED_TRACE(std::string(d.caption) + " " + std::to_string(run));
            THostWindow host, other, idle;
            EnableWindow(host.Get(), run < 5);
            EnableWindow(idle.Get(), FALSE);
            bool raised = false;
            EXPECT_TRUE(CloseWithBoxUp(d, run % 5, dir.File("missing"), dir.Path(), [&] {
                try {
                    d.execute(host.Get(), file, dir.Path());
                } catch (const EZandrelError&) {
                    raised = true;
                }
            }));
            EXPECT_EQ(raised, d.raisesWithoutFile && run % 5 == 4);
            EXPECT_EQ(IsWindowEnabled(host.Get()) != FALSE, run < 5);
            EXPECT_TRUE(IsWindowEnabled(other.Get()));
            EXPECT_FALSE(IsWindowEnabled(idle.Get()));
        }
    }
}

TEST(FormDialogs, ABareDriveLetterIsThatDrivesRootWhateverTheCurrentDirectoryHolds)
{
    // The current directory holds a folder named after a letter that no drive has, and no folder
    // "c". That letter is refused and nothing lands in the folder; "c" is the root "c:\", where the
    // command's files then are.
    const std::string letter(1, testfiles::UnmappedDriveLetter());
    ASSERT_NE(letter[0], 0);
    const struct {
        TDialogs which;
        const char* refusalCaption;
        std::string refusal, success;
        std::vector<std::string> written;  // in c:\, the files the command writes
    } cases[] = {
        {Split, "Split file", "Directory " + letter + " not found. Select other directory",
         "File zandrel-letter.bin succefully splitted.",
         {"c:\\zandrel-letter.001", "c:\\zandrel-letter.002", "c:\\zandrel-letter.crc"}},
        {Combine, "Path not found", "Path not found. Please check it.",
         "File zandrel-letter.crc succefully combined. CRC checksum - OK!", {"c:\\zandrel-letter.bin"}},
    };
    for (const auto& c : cases) {
        const TDialog& d = Dialogs()[c.which == Split ? 0 : 1];
        SCOPED_TRACE(d.caption);
        testfiles::TempDir temp;
        ASSERT_TRUE(CreateDirectoryA(temp.File(letter).c_str(), nullptr));
        const std::string content = testfiles::PatternBytes(700);
        testfiles::WriteFileBytes(temp.File("zandrel-letter.bin"), content);
        std::string file = temp.File("zandrel-letter.bin");
        if (c.which == Combine) {
            ASSERT_TRUE(SplitFile(file, temp.Path(), 400, nullptr));
            DeleteFileA(file.c_str());
            file = temp.File("zandrel-letter.crc");
        }
        for (const std::string& path : c.written) DeleteFileA(path.c_str());
        THostWindow host;
        TBox refused, success;
        {
            testfiles::TCurrentDirectoryScope current(temp.Path());
            TDriver driver([&](DWORD main) {
                HWND dialog = WaitForFormDialog(main, d.caption);
                ASSERT_NE(dialog, nullptr);
                if (c.which == Split) SetText(dialog, IDC_CBTRGSIZE, "500");
                SetText(dialog, IDC_EDTARGETDIR, letter);
                PostClick(dialog, IDC_BTOK);
                refused = ReadAndCloseBox(main, c.refusalCaption);
                SetText(dialog, IDC_EDTARGETDIR, "c");
                PostClick(dialog, IDC_BTOK);
                success = ReadAndCloseBox(main, d.caption);
            });
            d.execute(host.Get(), file, "");
        }
        EXPECT_EQ(refused.Text, c.refusal);
        EXPECT_EQ(success.Text, c.success);
        EXPECT_TRUE(RemoveDirectoryA(temp.File(letter).c_str())) << "the folder is empty";
        std::string bytes;
        for (const std::string& path : c.written) {
            EXPECT_TRUE(testfiles::FileExists(path)) << path;
            if (path.compare(path.size() - 4, 4, ".crc") != 0 && testfiles::FileExists(path))
                bytes += testfiles::ReadFileBytes(path);
            DeleteFileA(path.c_str());
        }
        EXPECT_EQ(bytes, content);
    }
}
