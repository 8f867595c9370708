// What the split and the combine dialog share, as suites over both: the designed layout, tab
// order, focus, owner and the windows disabled while a dialog is up, the target directories they
// refuse, the one a bare drive letter stands for, keys pressed under a box, and every way of
// closing them.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <array>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "App.h"
#include "CombineDlg.h"
#include "CurrentDirectory.h"
#include "EngineProbe.h"
#include "Rows.h"
#include "SplitDlg.h"
#include "SplitFiles.h"
#include "TestFiles.h"
#include "UiDriver.h"
#include "resource.h"

using namespace ui;

namespace {

enum TDialogs { Split, Combine };

// The controls only one dialog has: the other must not have them.
const int SplitOnly[] = {IDC_LABEL2, IDC_CBTRGSIZE};

// Ways of closing a dialog: the Cancel button, Esc, the close box, Alt+F4; or OK again.
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
    const char* name;
    TDialogs which;
    const char* caption;
    void (*execute)(HWND host, const std::string& file, const std::string& target, TPlugInProgressProc progress);
    const char* file;
    std::vector<int> tabOrder;  // from OK round to OK
    const char* label1;
    const char* label2 = nullptr;
    const char* refusalCaption;  // of the box that refuses a missing target directory
    const char* failureCaption;  // of the box that OK with a valid target shows when file is missing
    const char* success;         // the box once the command ran on file
    std::vector<std::string> written;  // what the command on file writes into "c" (c:\\)
};

const TDialog Dialogs[] = {
    {.name = "Split", .which = Split, .caption = "Split file", .execute = &ExecuteSplitDialog,
     .file = "zandrel-letter.bin", .tabOrder = {IDC_BTOK, IDC_BTCANCEL, IDC_EDTARGETDIR, IDC_CBTRGSIZE, IDC_BTOK},
     .label1 = "Split file zandrel-letter.bin to directory:", .label2 = "Bytes per file:",
     .refusalCaption = "Split file", .failureCaption = "Split file",
     .success = "File zandrel-letter.bin succefully splitted.",
     .written = {"zandrel-letter.001", "zandrel-letter.002", "zandrel-letter.crc", "zandrel-letter.sfv"}},
    {.name = "Combine", .which = Combine, .caption = "Combine files", .execute = &ExecuteCombineDialog,
     .file = "zandrel-letter.crc", .tabOrder = {IDC_BTOK, IDC_BTCANCEL, IDC_EDTARGETDIR, IDC_BTOK},
     .label1 = "Combine zandrel-letter.crc and all files with ascending names to directory:",
     .refusalCaption = "Path not found", .failureCaption = "Error",
     .success = "File zandrel-letter.crc succefully combined. CRC checksum - OK!", .written = {"zandrel-letter.bin"}},
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

// The product's designed layout (pixels at 96 dots per inch), followed by the live dialog; whatever
// the numbers, every control inside the client area and no two overlapping.
void ExpectLayout(const TDialog& d, const TDrive& t)
{
    HDC screen = GetDC(nullptr);
    const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    ASSERT_EQ(dpi, 96);
    RECT client{};
    GetClientRect(t.Dialog, &client);
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
    for (size_t i = 0; i < placed.size(); ++i) {
        const auto& r = placed[i];
        EXPECT_TRUE(r[0] >= 0 && r[1] >= 0 && r[0] + r[2] <= client.right && r[1] + r[3] <= client.bottom) << i;
        for (size_t j = 0; j < i; ++j) EXPECT_FALSE(Overlap(r, placed[j])) << i << " and " << j;
    }
}

// The dialogs opened on the pieces of zandrel-letter.bin in a temporary directory that is the
// current one: it holds a folder named after a letter that no drive has, a folder "E" and no
// folder "c". Nothing lands in it, nor in its folders.
template <class Row>
class FormDialogTarget : public testing::TestWithParam<Row> {
protected:
    void SetUp() override
    {
        ASSERT_NE(letter[0], 0);
        for (const std::string& name : {std::string("E"), letter})
            ASSERT_TRUE(CreateDirectoryA(temp.File(name).c_str(), nullptr));
        testfiles::WriteFileBytes(temp.File("zandrel-letter.bin"), testfiles::PatternBytes(700));
        ASSERT_TRUE(SplitFile(temp.File("zandrel-letter.bin"), temp.Path(), 400, nullptr));
        files = engineprobe::FileNames(temp.Path());
        current.emplace(temp.Path());
    }
    void TearDown() override
    {
        current.reset();
        EXPECT_EQ(engineprobe::FileNames(temp.Path()), files) << "nothing landed in the current directory";
        for (const std::string& name : {std::string("E"), letter})
            EXPECT_TRUE(RemoveDirectoryA(temp.File(name).c_str())) << name << " is empty";
    }
    void Run(const TDialog& d, const std::function<void(TDrive&)>& script)
    {
        ui.Run(d.caption, script, [&] { d.execute(ui.Host(), temp.File(d.file), temp.Path(), nullptr); });
    }

    const std::string letter = std::string(1, testfiles::UnmappedDriveLetter());
    testfiles::TempDir temp;
    std::vector<std::string> files;
    std::optional<testfiles::TCurrentDirectoryScope> current;
    TUi ui;
    App::TOwnerWindowScope owner{reinterpret_cast<HWND>(0x1234)};
};

using FormDialogOpening = FormDialogTarget<TDialog>;

TEST_P(FormDialogOpening, OpensAsDesignedAroundTheTargetGiven)
{
    const TDialog& d = GetParam();
    Run(d, [&](TDrive& t) {
        EXPECT_EQ(WindowText(t.Item(IDC_LABEL1)), d.label1);
        if (d.label2) { EXPECT_EQ(WindowText(t.Item(IDC_LABEL2)), d.label2); }
        EXPECT_EQ(WindowText(t.Item(IDC_EDTARGETDIR)), temp.Path());
        EXPECT_EQ(GetWindow(t.Dialog, GW_OWNER), t.Host);
        EXPECT_EQ(FocusOf(t.Main), t.Item(IDC_BTOK));
        EXPECT_FALSE(IsWindowEnabled(t.Host));
        EXPECT_TRUE(IsWindowEnabled(t.Dialog));
        ExpectLayout(d, t);
        if (d.which == Combine) {
            for (int id : SplitOnly) EXPECT_EQ(t.Item(id), nullptr) << "control " << id << " of the split dialog only";
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
        EXPECT_TRUE(t.Cancel());
    });
}
ZANDREL_ROWS(FormDialogOpening, Dialogs);

// Targets typed (%D: the current directory, %L: the letter no drive has), each refused alike, and
// in the split a size: a valid one where the target is refused; with the existing target, the size
// is refused.
struct TRefusalRow {
    const char* name;
    TDialogs dialog;
    std::vector<std::string> targets;
    const char* size = "";
};
using FormDialogRefusal = FormDialogTarget<TRefusalRow>;

// What is no target directory is refused with a box, as is a bad size, and the dialog stays open.
// Which other texts name no target and no size is the nettools and core tests'.
TEST_P(FormDialogRefusal, RefusesWhatIsNoTargetAndStaysOpen)
{
    const TRefusalRow& c = GetParam();
    const TDialog& d = Dialogs[c.dialog];
    Run(d, [&](TDrive& t) {
        for (const std::string& typed : c.targets) {
            const std::string dir = Filled(Filled(typed, 'D', temp.Path()), 'L', letter);
            SCOPED_TRACE(dir);
            t.Set(IDC_EDTARGETDIR, dir);
            if (d.which == Split) t.Set(IDC_CBTRGSIZE, c.size);
            t.Click(IDC_BTOK);
            ExpectRefusal(d, t, dir, dir == temp.Path());
        }
        EXPECT_TRUE(t.Cancel());
    });
}

// A last name ending in a space would be tested as "E" and written as another directory: refused
// as typed, although "E" exists.
const TRefusalRow Refusals[] = {
    {.name = "SplitANameEndingInASpace", .dialog = Split, .targets = {"%D\\E "}, .size = "100000"},
    {.name = "SplitNothing", .dialog = Split, .targets = {""}, .size = "1.44 Mb (3.5\")"},
    {.name = "SplitAMissingFolder", .dialog = Split, .targets = {"%D\\missing"}, .size = "720 Kb (3.5\")"},
    {.name = "SplitALetterNoDriveHas", .dialog = Split, .targets = {"%L"}, .size = "100000"},
    {.name = "SplitAnExistingTargetAndNoSize", .dialog = Split, .targets = {"%D"}},
    {.name = "CombineNoDirectory", .dialog = Combine, .targets = {"%D\\E ", "", "%D\\missing", "%L", "\\\\server\\"}},
};
ZANDREL_ROWS(FormDialogRefusal, Refusals);

using FormDialogDriveLetter = FormDialogTarget<TDialog>;

// "c" is the root "c:\", where the command's files then are, and no folder "c".
TEST_P(FormDialogDriveLetter, TakesABareDriveLetterForItsRoot)
{
    const TDialog& d = GetParam();
    for (const std::string& name : d.written) DeleteFileA(("c:\\" + name).c_str());
    Run(d, [&](TDrive& t) {
        t.Set(IDC_EDTARGETDIR, "c");
        if (d.which == Split) t.Set(IDC_CBTRGSIZE, "500");
        t.Click(IDC_BTOK);
        ExpectBox(t.Box(d.caption), d.success, t.Host, SystemIcon(IDI_INFORMATION));
    });
    for (const std::string& name : d.written) {
        EXPECT_TRUE(testfiles::FileExists("c:\\" + name)) << name;
        DeleteFileA(("c:\\" + name).c_str());
    }
}
ZANDREL_ROWS(FormDialogDriveLetter, Dialogs);

// Ways of closing, each on a dialog of its own, with the refusal's box up or none. With the box
// up, OK again with a valid target runs a command that fails for want of its file: its box comes.
struct TClosingRow {
    const char* name;
    std::vector<TWay> ways;
    bool boxUp = true;
    bool hostEnabled = true;  // false: a host that had disabled its own window
};

class FormDialogClosing : public testing::TestWithParam<std::tuple<TDialog, TClosingRow>> {
protected:
    testfiles::TempDir dir;
    TUi ui;
    THostWindow other, idle;
};

TEST_P(FormDialogClosing, HandsBackExactlyTheWindowsItDisabled)
{
    const auto& [d, c] = GetParam();
    const std::string file = dir.File(d.which == Split ? "gone.bin" : "absent.crc");
    EnableWindow(idle.Get(), FALSE);
    for (const TWay way : c.ways) {
        SCOPED_TRACE(way);
        EnableWindow(ui.Host(), c.hostEnabled);
        ui.Run(d.caption, [&](TDrive& t) {
            HWND box = nullptr;
            if (c.boxUp) {
                t.Set(IDC_EDTARGETDIR, dir.File("missing"));
                t.Click(IDC_BTOK);
                const std::string caption = d.refusalCaption;
                box = WaitForWindow(t.Main, [&](HWND w) { return IsMessageBox(w) && WindowText(w) == caption; });
                ASSERT_NE(box, nullptr);
            }
            EXPECT_FALSE(IsWindowEnabled(other.Get()));
            if (way == OkAgain)
                t.Set(IDC_EDTARGETDIR, dir.Path()), t.Click(IDC_BTOK);
            else
                PostClose(t, box ? t.Item(IDC_EDTARGETDIR) : FocusOf(t.Main), way);
            EXPECT_TRUE(WaitGone(t.Dialog));
            if (!box) return;
            EXPECT_TRUE(IsWindowVisible(box)) << "the dialog goes, the box stays";
            PostMessageA(box, WM_COMMAND, IDOK, 0);
            if (way == OkAgain) { EXPECT_TRUE(t.Box(d.failureCaption).Found) << "its failure"; }
        }, [&] { EXPECT_NO_THROW(d.execute(ui.Host(), file, dir.Path(), nullptr)) << "the dialog tells it"; });
        EXPECT_TRUE(IsWindowEnabled(other.Get()));
        EXPECT_FALSE(IsWindowEnabled(idle.Get()));
    }
}

const TClosingRow Closings[] = {
    {.name = "UnderTheBox", .ways = {CancelButton, Esc, CloseBox, AltF4}},
    {.name = "OkAgainUnderTheBox", .ways = {OkAgain}},
    {.name = "UnderTheBoxHostDisabled", .ways = {CancelButton, Esc, CloseBox, AltF4}, .hostEnabled = false},
    {.name = "OkAgainUnderTheBoxHostDisabled", .ways = {OkAgain}, .hostEnabled = false},
    {.name = "WithoutABox", .ways = {Esc, CloseBox}, .boxUp = false},
};
INSTANTIATE_TEST_SUITE_P(Rows, FormDialogClosing,
    testing::Combine(testing::ValuesIn(Dialogs), testing::ValuesIn(Closings)),
    [](const auto& row) { return std::string(std::get<0>(row.param).name) + "_" + std::get<1>(row.param).name; });

// Keys pressed under the split's refusal box, and the Esc that then closes it: each goes through
// the thread's filters once from the box's loop and once from the dialog's own key handling, no
// deeper.
TEST(FormDialogKeys, KeysUnderTheBoxPassTheFiltersTwiceNoDeeper)
{
    testfiles::TempDir dir;
    TUi ui;
    ui.Run("Split file", [&](TDrive& t) {
        t.Set(IDC_EDTARGETDIR, dir.File("missing"));
        t.Click(IDC_BTOK);
        HWND box = WaitForWindow(t.Main, [&](HWND w) { return IsMessageBox(w) && WindowText(w) == "Split file"; });
        ASSERT_NE(box, nullptr);
        PressKeysUnderTheBox(t, box);
        PostClose(t, t.Item(IDC_EDTARGETDIR), Esc);
        EXPECT_TRUE(WaitGone(t.Dialog));
        PostMessageA(box, WM_COMMAND, IDOK, 0);
    }, [&] { ExecuteSplitDialog(ui.Host(), dir.File("gone.bin"), dir.Path(), nullptr); });
    if (gProbe.hook) UnhookWindowsHookEx(gProbe.hook);
    // The second box's filter comes before the probe: the Tab under it passes the probe once.
    EXPECT_EQ(gProbe.keyDowns, 7) << "Tab, Space and Esc twice each, the second Tab once";
    EXPECT_EQ(gProbe.deepest, 2);
}

}  // namespace
