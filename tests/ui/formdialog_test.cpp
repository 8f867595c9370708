// What the split and the combine dialog share, as one table over both: the designed layout, tab
// order, focus, owner and the windows disabled while a dialog is up, every way of closing it, the
// target directories they refuse, and the target directory a bare drive letter stands for.
#include <gtest/gtest.h>

#include <windows.h>

#include <array>
#include <string>
#include <vector>

#include "App.h"
#include "CombineDlg.h"
#include "CurrentDirectory.h"
#include "EngineProbe.h"
#include "Errors.h"
#include "SplitDlg.h"
#include "SplitFiles.h"
#include "TestFiles.h"
#include "UiDriver.h"
#include "resource.h"

using namespace ui;

namespace {

enum TDialogs { Split = 1, Combine = 2, Both = Split | Combine };

// The designed layout in pixels at 96 dots per inch, stated once for both dialogs (the product
// keeps its own tables inside the dialogs' sources, and the templates hold only dialog units): a
// row a control, with the dialogs that have it; a control that only the other dialog has must be
// missing.
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
    void (*execute)(HWND host, const std::string& file, const std::string& target, TPlugInProgressProc progress);
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
         &ExecuteSplitDialog, "Split file", false},
        {Combine, "Combine files", 125, {IDC_BTOK, IDC_BTCANCEL, IDC_EDTARGETDIR, IDC_BTOK}, "D:\\backup\\big.crc",
         "D:\\restore", "Combine big.crc and all files with ascending names to directory:", nullptr,
         &ExecuteCombineDialog, "Path not found", true},
    };
    return dialogs;
}

// The box that refuses the target dir (or the split's size): the split's has no owner, the
// combine's the host.
void ExpectRefusal(const TDialog& d, const TDrive& t, const std::string& dir, bool size = false)
{
    const TBox box = t.Box(d.refusalCaption);
    ExpectBox(box,
              d.which == Combine ? "Path not found. Please check it."
              : size             ? "Target file size is invalid. Please repeat input."
                                 : "Directory " + dir + " not found. Select other directory",
              d.which == Combine ? t.Host : nullptr, ErrorIcon());
    EXPECT_TRUE(box.DialogEnabledMeanwhile);
    // Closing the box must not hand the host back while the dialog is up.
    EXPECT_FALSE(box.HostEnabledAfter);
    EXPECT_TRUE(IsWindowVisible(t.Dialog) && IsWindowEnabled(t.Dialog));
}

bool Overlap(const std::array<int, 4>& a, const std::array<int, 4>& b)
{
    return a[0] < b[0] + b[2] && b[0] < a[0] + a[2] && a[1] < b[1] + b[3] && b[1] < a[1] + a[3];
}

}  // namespace

TEST(FormDialogs, OpenCentredWithTheirTextsDesignedLayoutTabOrderAndFocusOnOkAndEscOrTheCloseBoxCloses)
{
    ASSERT_EQ(ScreenDpi(), 96);
    for (const TDialog& d : Dialogs()) {
        SCOPED_TRACE(d.caption);
        TUi ui;
        THostWindow other("Another window of the host");
        App::TOwnerWindowScope owner(reinterpret_cast<HWND>(0x1234));
        ui.Run(d.caption, [&](TDrive& t) {
            // The focus is placed once the dialog is up; wait for it rather than race it.
            WaitUntil([&] { return FocusOf(t.Main) != nullptr; });
            EXPECT_EQ(WindowText(t.Item(IDC_LABEL1)), d.label1);
            if (d.label2) { EXPECT_EQ(WindowText(t.Item(IDC_LABEL2)), d.label2); }
            EXPECT_EQ(WindowText(t.Item(IDC_EDTARGETDIR)), d.target);
            EXPECT_EQ(Owner(t.Dialog), t.Host);
            EXPECT_EQ(FocusOf(t.Main), t.Item(IDC_BTOK));
            EXPECT_FALSE(IsWindowEnabled(t.Host));
            EXPECT_FALSE(IsWindowEnabled(other.Get()));
            EXPECT_TRUE(IsWindowEnabled(t.Dialog));
            RECT client{};
            GetClientRect(t.Dialog, &client);
            EXPECT_EQ(client.right, 328);
            EXPECT_EQ(client.bottom, d.clientHeight);
            std::vector<std::array<int, 4>> placed;
            for (const TPlace& p : Layout) {
                bool mine = false;
                for (const TPlace& q : Layout) mine |= q.id == p.id && (q.dialogs & d.which);
                if (!mine) { EXPECT_EQ(t.Item(p.id), nullptr) << "control " << p.id << " of the other dialog only"; }
                if (!(p.dialogs & d.which)) continue;
                placed.push_back(ControlRect(t.Dialog, p.id));
                EXPECT_EQ(placed.back(), p.rect) << "control " << p.id;
            }
            // Whatever the numbers: every control inside the client area, no two overlapping.
            for (size_t i = 0; i < placed.size(); ++i) {
                const auto& r = placed[i];
                EXPECT_TRUE(r[0] >= 0 && r[1] >= 0 && r[0] + r[2] <= client.right && r[1] + r[3] <= client.bottom) << i;
                for (size_t j = 0; j < i; ++j) EXPECT_FALSE(Overlap(r, placed[j])) << i << " and " << j;
            }
            HWND item = t.Item(IDC_BTOK);
            for (int id : d.tabOrder) {
                EXPECT_EQ(GetDlgCtrlID(item), id);
                item = GetNextDlgTabItem(t.Dialog, item, FALSE);
            }
            EXPECT_EQ(GetWindowLongA(t.Item(IDC_SBBROWSE), GWL_STYLE) & WS_TABSTOP, 0);
            EXPECT_NE(SendMessageA(t.Item(IDC_IMAGE1), STM_GETICON, 0, 0), 0);
            RECT rc;
            GetWindowRect(t.Dialog, &rc);
            EXPECT_NEAR((rc.left + rc.right) / 2, GetSystemMetrics(SM_CXSCREEN) / 2, 40);
            EXPECT_NEAR((rc.top + rc.bottom) / 2, GetSystemMetrics(SM_CYSCREEN) / 2, 40);
            PostClose(t.Dialog, FocusOf(t.Main), d.which == Split ? Esc : CloseBox);
            EXPECT_TRUE(WaitGone(t.Dialog));
        }, [&] { d.execute(ui.Host(), d.file, d.target, nullptr); });
        EXPECT_TRUE(IsWindowEnabled(other.Get()));
    }
}

TEST(FormDialogs, AMissingTargetOrABadSizeIsRefusedWithABoxAndTheDialogStaysOpen)
{
    testfiles::TempDir temp;
    testfiles::WriteFileBytes(temp.File("plain.txt"), "x");
    ASSERT_TRUE(CreateDirectoryA(temp.File("E").c_str(), nullptr));
    // A last name ending in a space or a dot would be tested as "E" and written as another
    // directory: refused as typed, although "E" exists. The sizes are the split's, valid ones
    // where the target is refused; with the existing target, the size is refused.
    const struct {
        int dialogs;
        std::string dir;
        const char* size;
    } cases[] = {
        {Both, temp.File("E "), "100000"},         {Both, temp.File("E..."), "100000"},
        {Both, temp.File("E."), "100000"},         {Both, temp.File("E \\"), "100000"},
        {Both, temp.File("E.\\"), "100000"},       {Both, "", "1.44 Mb (3.5\")"},
        {Both, temp.File("missing"), "720 Kb (3.5\")"}, {Both, temp.File("plain.txt"), "100000"},
        {Combine, "\\\\server\\", ""},             {Split, temp.Path(), "100 MB"},
        {Split, temp.Path(), ""},                  {Split, temp.Path(), "4096 Mb"},
        {Split, temp.Path(), "1 kb"},
    };
    for (const TDialog& d : Dialogs()) {
        TUi ui;
        ui.Run(d.caption, [&](TDrive& t) {
            for (const auto& c : cases) {
                if (!(c.dialogs & d.which)) continue;
                SCOPED_TRACE(std::string(d.caption) + ": " + c.dir + " | " + c.size);
                t.Set(IDC_EDTARGETDIR, c.dir);
                if (d.which == Split) t.Set(IDC_CBTRGSIZE, c.size);
                t.Click(IDC_BTOK);
                ExpectRefusal(d, t, c.dir, c.dir == temp.Path());
            }
            EXPECT_TRUE(t.Cancel());
        }, [&] { d.execute(ui.Host(), temp.File("plain.txt"), temp.Path(), nullptr); });
    }
    // Nothing got as far as splitting or combining.
    EXPECT_EQ(engineprobe::FileNames(temp.Path()), std::vector<std::string>{"plain.txt"});
    EXPECT_TRUE(RemoveDirectoryA(temp.File("E").c_str())) << "E is empty";
}

TEST(FormDialogs, EveryWayOfClosingWithABoxStillUpHandsBackExactlyTheWindowsItDisabled)
{
    // Cancel, Esc, close box, Alt+F4, or OK with a valid target and a command that fails for want
    // of its file (the split with its box, the combine raising); then all five again with a host
    // that had disabled its own window.
    testfiles::TempDir dir;
    for (const TDialog& d : Dialogs()) {
        const std::string file = dir.File(d.which == Split ? "gone.bin" : "absent.crc");
        for (int run = 0; run < 10; ++run) {
            SCOPED_TRACE(std::string(d.caption) + " " + std::to_string(run));
            TUi ui;
            THostWindow other, idle;
            EnableWindow(ui.Host(), run < 5);
            EnableWindow(idle.Get(), FALSE);
            const int way = run % 5;
            bool raised = false;
            ui.Run(d.caption, [&](TDrive& t) {
                t.Set(IDC_EDTARGETDIR, dir.File("missing"));
                t.Click(IDC_BTOK);
                HWND box = WaitForWindow(t.Main, [&](HWND w) { return IsMessageBox(w) && WindowText(w) == d.refusalCaption; });
                ASSERT_NE(box, nullptr);
                if (way < 4)
                    PostClose(t.Dialog, t.Item(IDC_EDTARGETDIR), static_cast<TWay>(way));
                else
                    t.Set(IDC_EDTARGETDIR, dir.Path()), t.Click(IDC_BTOK);
                EXPECT_TRUE(WaitGone(t.Dialog) && IsWindowVisible(box)) << "the dialog goes, the box stays";
                PostMessageA(box, WM_COMMAND, IDOK, 0);
                if (way == 4 && d.which == Split) { EXPECT_TRUE(t.Box("Split file").Found) << "its failure"; }
            }, [&] {
                try {
                    d.execute(ui.Host(), file, dir.Path(), nullptr);
                } catch (const EZandrelError&) {
                    raised = true;
                }
            });
            EXPECT_EQ(raised, d.raisesWithoutFile && way == 4);
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
    for (const TDialog& d : Dialogs()) {
        SCOPED_TRACE(d.caption);
        testfiles::TempDir temp;
        ASSERT_TRUE(CreateDirectoryA(temp.File(letter).c_str(), nullptr));
        std::string file = temp.File("zandrel-letter.bin");
        testfiles::WriteFileBytes(file, testfiles::PatternBytes(700));
        if (d.which == Combine) {
            ASSERT_TRUE(SplitFile(file, temp.Path(), 400, nullptr));
            DeleteFileA(file.c_str());
            file = temp.File("zandrel-letter.crc");
        }
        const std::vector<std::string> written =
            d.which == Split ? std::vector<std::string>{"c:\\zandrel-letter.001", "c:\\zandrel-letter.002", "c:\\zandrel-letter.crc"}
                             : std::vector<std::string>{"c:\\zandrel-letter.bin"};
        for (const std::string& path : written) DeleteFileA(path.c_str());
        TUi ui;
        testfiles::TCurrentDirectoryScope current(temp.Path());
        ui.Run(d.caption, [&](TDrive& t) {
            if (d.which == Split) t.Set(IDC_CBTRGSIZE, "500");
            t.Set(IDC_EDTARGETDIR, letter);
            t.Click(IDC_BTOK);
            ExpectRefusal(d, t, letter);
            t.Set(IDC_EDTARGETDIR, "c");
            t.Click(IDC_BTOK);
            ExpectBox(t.Box(d.caption),
                      d.which == Split ? "File zandrel-letter.bin succefully splitted."
                                       : "File zandrel-letter.crc succefully combined. CRC checksum - OK!",
                      t.Host, InformationIcon());
        }, [&] { d.execute(ui.Host(), file, "", nullptr); });
        EXPECT_TRUE(RemoveDirectoryA(temp.File(letter).c_str())) << "the folder is empty";
        for (const std::string& path : written) {
            EXPECT_TRUE(testfiles::FileExists(path)) << path;
            DeleteFileA(path.c_str());
        }
    }
}
