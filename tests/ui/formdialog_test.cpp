// What the split and the combine dialog share, as one table over both: the designed layout, tab
// order, focus, owner and the windows disabled while a dialog is up, the target directories they
// refuse, the one a bare drive letter stands for, keys pressed under a box, and every way of
// closing them.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
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

// The controls only one dialog has: the other must not have them.
const int SplitOnly[] = {IDC_LABEL2, IDC_CBTRGSIZE};

// Ways of closing a dialog: the Cancel button, Esc, the close box, Alt+F4.
enum TWay { CancelButton, Esc, CloseBox, AltF4, OkAgain };

void PostClose(const TDrive& t, HWND focus, TWay way)
{
    if (way == CancelButton) t.Click(IDC_BTCANCEL);
    if (way == Esc) PostKey(focus, VK_ESCAPE);
    if (way == CloseBox) PostMessageA(t.Dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
    if (way == AltF4) PostMessageA(focus, WM_SYSKEYDOWN, VK_F4, 0x20000001);  // with KF_ALTDOWN
}

// One dialog, opened by its Execute function on a file of the test's directory.
struct TDialog {
    TDialogs which;
    const char* caption;
    std::vector<int> tabOrder;  // from OK round to OK
    const char* file;
    const char* label1;
    const char* label2;  // null: the dialog has none
    void (*execute)(HWND host, const std::string& file, const std::string& target, TPlugInProgressProc progress);
    const char* refusalCaption;  // of the box that refuses a missing target directory
    const char* success;         // the box once the command ran on file
    const char* failureCaption;  // of the box that OK with a valid target shows when file is missing
};

const TDialog Dialogs[] = {
    {Split, "Split file", {IDC_BTOK, IDC_BTCANCEL, IDC_EDTARGETDIR, IDC_CBTRGSIZE, IDC_BTOK}, "zandrel-letter.bin",
     "Split file zandrel-letter.bin to directory:", "Bytes per file:", &ExecuteSplitDialog, "Split file",
     "File zandrel-letter.bin succefully splitted.", "Split file"},
    {Combine, "Combine files", {IDC_BTOK, IDC_BTCANCEL, IDC_EDTARGETDIR, IDC_BTOK}, "zandrel-letter.crc",
     "Combine zandrel-letter.crc and all files with ascending names to directory:", nullptr, &ExecuteCombineDialog,
     "Path not found", "File zandrel-letter.crc succefully combined. CRC checksum - OK!", "Error"},
};

// The box that refuses the target dir (or the split's size): the split's has no owner, the
// combine's the host.
void ExpectRefusal(const TDialog& d, const TDrive& t, const std::string& dir, bool size)
{
    bool dialogEnabled = false;
    const TBox box = t.Box(d.refusalCaption, [&] { dialogEnabled = IsWindowEnabled(t.Dialog); });
    ExpectBox(box,
              d.which == Combine ? "Path not found. Please check it."
              : size             ? "Target file size is invalid. Please repeat input."
                                 : "Directory " + dir + " not found. Select other directory",
              d.which == Combine ? t.Host : nullptr, SystemIcon(IDI_ERROR));
    EXPECT_TRUE(dialogEnabled) << "while the box is up";
    // Closing the box must not hand the host back while the dialog is up.
    EXPECT_FALSE(IsWindowEnabled(t.Host));
    EXPECT_TRUE(IsWindowVisible(t.Dialog) && IsWindowEnabled(t.Dialog));
}

// A message filter put on top of the dialog's own while a box is up: it counts the calls made
// for the dialog's key presses and how deeply the calls nest inside each other.
struct TFilterProbe {
    HWND dialog = nullptr;
    HHOOK hook = nullptr;
    int depth = 0, deepest = 0, keyDowns = 0;
};
TFilterProbe gProbe;

LRESULT CALLBACK ProbeFilter(int code, WPARAM wParam, LPARAM lParam)
{
    const MSG* msg = reinterpret_cast<const MSG*>(lParam);
    const bool counted = code == MSGF_DIALOGBOX && msg && msg->message == WM_KEYDOWN && gProbe.dialog &&
                         (msg->hwnd == gProbe.dialog || IsChild(gProbe.dialog, msg->hwnd));
    if (counted) {
        ++gProbe.keyDowns;
        gProbe.deepest = std::max(gProbe.deepest, ++gProbe.depth);
    }
    const LRESULT result = CallNextHookEx(nullptr, code, wParam, lParam);
    if (counted) --gProbe.depth;
    return result;
}

// The split dialog's refused directory's box is up: Tab in the target field moves the focus one
// control on, Space on OK shows one more box (and Tab works under that one too). The probe goes on
// the main thread once the box is up, so that it is called before the dialog's filter.
void PressKeysUnderTheBox(const TDrive& t, HWND box)
{
    HWND combo = t.Item(IDC_CBTRGSIZE);
    const auto inCombo = [&] { return FocusOf(t.Main) == combo || GetParent(FocusOf(t.Main)) == combo; };
    gProbe = TFilterProbe{t.Dialog, SetWindowsHookExA(WH_MSGFILTER, &ProbeFilter, nullptr, t.Main)};
    ASSERT_NE(gProbe.hook, nullptr);
    // The user clicks into the target field and presses Tab.
    ASSERT_TRUE(t.Focus(IDC_EDTARGETDIR));
    PostKey(t.Item(IDC_EDTARGETDIR), VK_TAB);
    t.Sync();
    EXPECT_TRUE(inCombo()) << "one control on";
    // Space on OK: the target is still missing, so one more box, no third.
    ASSERT_TRUE(t.Focus(IDC_BTOK));
    PostKey(t.Item(IDC_BTOK), VK_SPACE);
    t.Sync();
    EXPECT_EQ(MessageBoxes(t.Main).size(), 2u);
    // That box was opened from inside the dialog's key handling: Tab still works under it.
    ASSERT_TRUE(t.Focus(IDC_EDTARGETDIR));
    PostKey(t.Item(IDC_EDTARGETDIR), VK_TAB);
    t.Sync();
    EXPECT_TRUE(inCombo()) << "under the second box";
    for (HWND w : MessageBoxes(t.Main))
        if (w != box) PostMessageA(w, WM_COMMAND, IDOK, 0);
    ASSERT_TRUE(WaitUntil([&] { return MessageBoxes(t.Main).size() == 1; }));
}

bool Overlap(const std::array<int, 4>& a, const std::array<int, 4>& b)
{
    return a[0] < b[0] + b[2] && b[0] < a[0] + a[2] && a[1] < b[1] + b[3] && b[1] < a[1] + a[3];
}

// What a dialog shows once it is up.
void ExpectOpened(const TDialog& d, const TDrive& t, const std::string& target)
{
    EXPECT_EQ(WindowText(t.Item(IDC_LABEL1)), d.label1);
    if (d.label2) { EXPECT_EQ(WindowText(t.Item(IDC_LABEL2)), d.label2); }
    EXPECT_EQ(WindowText(t.Item(IDC_EDTARGETDIR)), target);
    EXPECT_EQ(GetWindow(t.Dialog, GW_OWNER), t.Host);
    EXPECT_EQ(FocusOf(t.Main), t.Item(IDC_BTOK));
    EXPECT_FALSE(IsWindowEnabled(t.Host));
    EXPECT_TRUE(IsWindowEnabled(t.Dialog));
    RECT client{};
    GetClientRect(t.Dialog, &client);
    // The product's designed layout (pixels at 96 dots per inch), followed by the live dialog.
    const TFormLayout& layout = d.which == Split ? SplitLayout : CombineLayout;
    EXPECT_EQ(client.right, layout.clientWidth);
    EXPECT_EQ(client.bottom, layout.clientHeight);
    EXPECT_EQ(layout.controls.size(), d.which == Split ? 8u : 6u);
    std::vector<std::array<int, 4>> placed;
    for (const TControlRect& c : layout.controls) {
        // The control's left, top, width and height in the dialog's client area, in pixels.
        RECT rc{};
        GetWindowRect(GetDlgItem(t.Dialog, c.id), &rc);
        MapWindowPoints(nullptr, t.Dialog, reinterpret_cast<POINT*>(&rc), 2);
        placed.push_back({int(rc.left), int(rc.top), int(rc.right - rc.left), int(rc.bottom - rc.top)});
        EXPECT_EQ(placed.back(), (std::array<int, 4>{c.left, c.top, c.width, c.height})) << "control " << c.id;
    }
    if (d.which == Combine) {
        for (int id : SplitOnly) EXPECT_EQ(t.Item(id), nullptr) << "control " << id << " of the split dialog only";
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
}

}  // namespace

// Each dialog opens as designed; what is no target directory is refused with a box, as is a bad
// size, and the dialog stays open. The current directory holds a folder named after a letter that
// no drive has, and no folder "c": that letter is refused and nothing lands in the folder; "c" is
// the root "c:\", where the command's files then are.
TEST(FormDialogs, OpenAsDesignedRefuseWhatIsNoTargetAndTakeABareDriveLetterForItsRoot)
{
    HDC screen = GetDC(nullptr);
    const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    ASSERT_EQ(dpi, 96);
    const std::string letter(1, testfiles::UnmappedDriveLetter());
    ASSERT_NE(letter[0], 0);
    testfiles::TempDir temp;
    for (const std::string& name : {std::string("E"), letter}) ASSERT_TRUE(CreateDirectoryA(temp.File(name).c_str(), nullptr));
    testfiles::WriteFileBytes(temp.File("zandrel-letter.bin"), testfiles::PatternBytes(700));
    ASSERT_TRUE(SplitFile(temp.File("zandrel-letter.bin"), temp.Path(), 400, nullptr));
    const std::vector<std::string> files = engineprobe::FileNames(temp.Path());
    // A last name ending in a space would be tested as "E" and written as another directory:
    // refused as typed, although "E" exists. The sizes are the split's, valid ones where the target
    // is refused; with the existing target, the size is refused. Which other texts name no target
    // and no size is the nettools and core tests'.
    const struct {
        int dialogs;
        std::string dir;
        const char* size;
    } cases[] = {
        {Both, temp.File("E "), "100000"}, {Both, "", "1.44 Mb (3.5\")"}, {Both, temp.File("missing"), "720 Kb (3.5\")"},
        {Both, letter, "100000"},          {Combine, "\\\\server\\", ""},  {Split, temp.Path(), ""},
    };
    testfiles::TCurrentDirectoryScope current(temp.Path());
    for (const TDialog& d : Dialogs) {
        SCOPED_TRACE(d.caption);
        const std::vector<std::string> written =
            d.which == Split ? std::vector<std::string>{"c:\\zandrel-letter.001", "c:\\zandrel-letter.002", "c:\\zandrel-letter.crc",
                                                "c:\\zandrel-letter.sfv"}
                             : std::vector<std::string>{"c:\\zandrel-letter.bin"};
        for (const std::string& path : written) DeleteFileA(path.c_str());
        TUi ui;
        App::TOwnerWindowScope owner(reinterpret_cast<HWND>(0x1234));
        ui.Run(d.caption, [&](TDrive& t) {
            ExpectOpened(d, t, temp.Path());
            for (const auto& c : cases) {
                if (!(c.dialogs & d.which)) continue;
                SCOPED_TRACE(std::string(d.caption) + ": " + c.dir + " | " + c.size);
                t.Set(IDC_EDTARGETDIR, c.dir);
                if (d.which == Split) t.Set(IDC_CBTRGSIZE, c.size);
                t.Click(IDC_BTOK);
                ExpectRefusal(d, t, c.dir, c.dir == temp.Path());
            }
            t.Set(IDC_EDTARGETDIR, "c");
            if (d.which == Split) t.Set(IDC_CBTRGSIZE, "500");
            t.Click(IDC_BTOK);
            ExpectBox(t.Box(d.caption), d.success, t.Host, SystemIcon(IDI_INFORMATION));
        }, [&] { d.execute(ui.Host(), temp.File(d.file), temp.Path(), nullptr); });
        for (const std::string& path : written) {
            EXPECT_TRUE(testfiles::FileExists(path)) << path;
            DeleteFileA(path.c_str());
        }
    }
    EXPECT_EQ(engineprobe::FileNames(temp.Path()), files) << "nothing landed in the current directory";
    for (const std::string& name : {std::string("E"), letter}) EXPECT_TRUE(RemoveDirectoryA(temp.File(name).c_str())) << name << " is empty";
}

TEST(FormDialogs, EveryWayOfClosingWithOrWithoutABoxUpHandsBackExactlyTheWindowsItDisabled)
{
    // With the refusal's box up: Cancel, Esc, close box, Alt+F4, or OK again with a valid target
    // and a command that fails for want of its file (each with its box);
    // all five again with a host that had disabled its own window. With no box: Esc, close box.
    // Before the first Esc under the split's box, keys pressed there: each of them, and the Esc,
    // goes through the thread's filters once from the box's loop and once from the dialog's own
    // key handling, no deeper.
    testfiles::TempDir dir;
    for (const TDialog& d : Dialogs) {
        const std::string file = dir.File(d.which == Split ? "gone.bin" : "absent.crc");
        for (int run = 0; run < 12; ++run) {
            SCOPED_TRACE(std::string(d.caption) + " " + std::to_string(run));
            const bool boxUp = run < 10;
            const TWay way = static_cast<TWay>(boxUp ? run % 5 : run - 9);
            const bool keys = d.which == Split && boxUp && way == Esc && run < 5;
            TUi ui;
            THostWindow other, idle;
            EnableWindow(ui.Host(), run < 5 || !boxUp);
            EnableWindow(idle.Get(), FALSE);
            bool raised = false;
            ui.Run(d.caption, [&](TDrive& t) {
                HWND box = nullptr;
                if (boxUp) {
                    t.Set(IDC_EDTARGETDIR, dir.File("missing"));
                    t.Click(IDC_BTOK);
                    box = WaitForWindow(t.Main, [&](HWND w) { return IsMessageBox(w) && WindowText(w) == d.refusalCaption; });
                    ASSERT_NE(box, nullptr);
                }
                EXPECT_FALSE(IsWindowEnabled(other.Get()));
                if (keys) PressKeysUnderTheBox(t, box);
                if (way == OkAgain)
                    t.Set(IDC_EDTARGETDIR, dir.Path()), t.Click(IDC_BTOK);
                else
                    PostClose(t, box ? t.Item(IDC_EDTARGETDIR) : FocusOf(t.Main), way);
                EXPECT_TRUE(WaitGone(t.Dialog));
                if (!box) return;
                EXPECT_TRUE(IsWindowVisible(box)) << "the dialog goes, the box stays";
                PostMessageA(box, WM_COMMAND, IDOK, 0);
                if (way == OkAgain) { EXPECT_TRUE(t.Box(d.failureCaption).Found) << "its failure"; }
            }, [&] {
                try {
                    d.execute(ui.Host(), file, dir.Path(), nullptr);
                } catch (const EZandrelError&) {
                    raised = true;
                }
            });
            EXPECT_FALSE(raised) << "the dialog tells every ending itself";
            if (keys) {
                if (gProbe.hook) UnhookWindowsHookEx(gProbe.hook);
                // The second box's filter comes before the probe: the Tab under it passes the probe once.
                EXPECT_EQ(gProbe.keyDowns, 7) << "Tab, Space and Esc twice each, the second Tab once";
                EXPECT_EQ(gProbe.deepest, 2);
            }
            EXPECT_TRUE(IsWindowEnabled(other.Get()));
            EXPECT_FALSE(IsWindowEnabled(idle.Get()));
        }
    }
}
