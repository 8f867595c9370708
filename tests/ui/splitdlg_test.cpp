// The split dialog driven through Win32 messages: its presets in the user's locale, Enter and
// Space, failures passing on, the folder chooser, keys pressed under a box. What it shares with
// the combine dialog (layout, tab order, focus, closing, refused input) is checked over both
// dialogs in formdialog_test; the pieces' bytes are the engine tests' (split_test).
#include <gtest/gtest.h>

#include <windows.h>
#include <shlobj.h>

#include <algorithm>
#include <clocale>
#include <cstdint>
#include <string>
#include <vector>

#include "App.h"
#include "EngineProbe.h"
#include "Errors.h"
#include "PathText.h"
#include "PieceNames.h"
#include "SplitDlg.h"
#include "SysError.h"
#include "TestFiles.h"
#include "UiDriver.h"
#include "UserLocale.h"
#include "resource.h"

using namespace ui;

namespace {

// The user's decimal separator for one scope.
struct TDecimalSeparatorScope {
    char old[8] = {};
    explicit TDecimalSeparatorScope(const char* separator)
    {
        GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, old, sizeof old);
        SetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, separator);
    }
    ~TDecimalSeparatorScope() { SetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, old); }
};

}  // namespace

TEST(SplitDialog, FormShowRendersTheFractionalPresetsWithTheUsersDecimalSeparator)
{
    // Each locale: items 0 and 1 as shown, and what the size parser makes of a few texts. The
    // C runtime's numeric locale, which a host may set, changes nothing.
    struct TCase {
        const char* separator;
        const char* crtLocale;
        const char* item0;
        const char* item1;
    };
    for (const TCase& c : {TCase{".", "C", "1.44 Mb (3.5\")", "1.2 Mb (5.25\")"},
                           TCase{",", "C", "1,44 Mb (3.5\")", "1,2 Mb (5.25\")"},
                           TCase{".", "German", "1.44 Mb (3.5\")", "1.2 Mb (5.25\")"}}) {
        SCOPED_TRACE(std::string(c.separator) + " " + c.crtLocale);
        TDecimalSeparatorScope locale(c.separator);
        ASSERT_NE(std::setlocale(LC_NUMERIC, c.crtLocale), nullptr);
        ASSERT_EQ(LocaleDecimalSeparator(), c.separator[0]);
        TUi ui;
        std::vector<std::string> items;
        ui.Run("Split file", [&](TDrive& t) {
            HWND combo = t.Item(IDC_CBTRGSIZE);
            for (LRESULT i = 0, count = SendMessageA(combo, CB_GETCOUNT, 0, 0); i < count; ++i) {
                char text[256] = {};
                SendMessageA(combo, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(text));
                items.push_back(text);
            }
            EXPECT_EQ(WindowText(combo), c.item0);
            EXPECT_EQ(SendMessageA(combo, CB_GETCURSEL, 0, 0), CB_ERR);
            PostMessageA(t.Dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
        }, [&] { ExecuteSplitDialog(ui.Host(), "C:\\a.bin", "C:\\", nullptr); });
        EXPECT_EQ(items, (std::vector<std::string>{c.item0, c.item1, "720 Kb (3.5\")", "360 Kb (5.25\")",
                                                    "100 Mb (ZIP)", "250 Mb (ZIP)", "650 Mb (CD)", "4095 Mb (FAT32)"}));
        // The size parser reads the user's separator (what it makes of each text is the core
        // tests'): the rendered preset is the preset's size, the other separator makes no size.
        EXPECT_EQ(ParseTargetSize(c.item0), 1509949u);
        EXPECT_EQ(ParseTargetSize(c.separator[0] == ',' ? "1.5 Mb" : "1,5 Mb"), 0u);
    }
    std::setlocale(LC_NUMERIC, "C");
    // The scope put the user's own setting back.
    EXPECT_EQ(LocaleDecimalSeparator(), '.');
}

TEST(SplitDialog, EnterInTheFieldsDoesNothingEnterOrSpaceOnOkSplitsWithThePickedOrTypedSize)
{
    // One run a key: pressed in the control given the focus, or (focus 0) on the OK button the
    // dialog opens with, right away. Enter works on a focused push button only.
    testfiles::TempDir source;
    testfiles::WriteFileBytes(source.File("report.txt"), testfiles::PatternBytes(800000));
    const struct {
        const char* what;
        int focus;
        UINT key;
        const char* size;  // typed; null: preset 3 picked from the list
        uint32_t piece;    // the first piece's size; 0: nothing happens
    } cases[] = {
        {"Enter in the target field", IDC_EDTARGETDIR, VK_RETURN, nullptr, 0},
        {"Enter in the size field", IDC_CBTRGSIZE, VK_RETURN, nullptr, 0},
        {"Enter on OK, 360 Kb picked", IDC_BTOK, VK_RETURN, nullptr, 368640},
        {"Space right after opening, a size typed", 0, VK_SPACE, "300000 bytes", 300000},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        testfiles::TempDir target;
        TUi ui;
        ui.Run("Split file", [&](TDrive& t) {
            SCOPED_TRACE(c.what);
            if (c.size) t.Set(IDC_CBTRGSIZE, c.size);
            else SendMessageA(t.Item(IDC_CBTRGSIZE), CB_SETCURSEL, 3, 0);
            if (c.focus) { ASSERT_TRUE(t.Focus(c.focus)); }
            ASSERT_TRUE(WaitUntil([&] { return FocusOf(t.Main) != nullptr; }));
            PostKey(FocusOf(t.Main), c.key);
            if (c.piece) return ExpectBox(t.Box("Split file"), "File report.txt succefully splitted.", t.Host, InformationIcon());
            t.Sync();
            EXPECT_TRUE(IsWindowVisible(t.Dialog));
            EXPECT_TRUE(MessageBoxes(t.Main).empty());
            EXPECT_TRUE(t.Cancel());
        }, [&] { ExecuteSplitDialog(ui.Host(), source.File("report.txt"), target.Path(), nullptr); });
        // Three pieces of the size the dialog read, the descriptor and the checksum list.
        EXPECT_EQ(engineprobe::FileNames(target.Path()),
                  c.piece ? (std::vector<std::string>{"report.001", "report.002", "report.003", "report.crc", "report.sfv"})
                          : std::vector<std::string>{});
        if (c.piece) { EXPECT_EQ(testfiles::ReadFileBytes(target.File("report.001")).size(), c.piece); }
    }
}

// A split that fails says why, in a box of its own after the last progress call, owned by the host
// window; a cancel shows nothing; an error raised before the first write passes on. The pieces
// written until the failure stay, and no descriptor is written.
TEST(SplitDialog, AFailedSplitSaysWhyACancelSaysNothingAnErrorPassesOn)
{
    testfiles::TempDir dir;
    testfiles::WriteFileBytes(dir.File("data.bin"), testfiles::PatternBytes(1000));
    engineprobe::MakeSparseFile(dir.File("huge.img"), 1234567890, "head");
    testfiles::WriteFileBytes(dir.File("src.bin"), testfiles::PatternBytes(1 << 20, 21));
    const bool small = engineprobe::SmallFilesystemMounted();
    const std::string smallDir = small ? *engineprobe::FixtureDir() + "\\small" : dir.Path();
    for (const auto& name : engineprobe::FileNames(smallDir))
        if (small) DeleteFileA((smallDir + "\\" + name).c_str());
    const std::string header = " was not split.\r\n\r\n";
    enum TEnd { Box, NoBox, Raises };
    const struct {
        const char* what;
        std::string file, targetDir;
        const char* size;
        TEnd end;
        std::string text;  // of the error box or the error
    } cases[] = {
        {"source gone after validation", dir.File("gone.bin"), dir.Path(), "300", Box,
         "File gone.bin" + header + "Cannot open file \"" + dir.File("gone.bin") + "\". " +
             SysErrorMessage(ERROR_FILE_NOT_FOUND)},
        {"too many pieces", dir.File("huge.img"), dir.Path(), "1000", Box,
         "File huge.img" + header +
             "Pieces of 1000 bytes are too small for a file of 1234567890 bytes: a split makes at most 1000 "
             "pieces. Choose pieces of at least 1234568 bytes."},
        {"full disk", dir.File("src.bin"), smallDir, "300000", Box,
         "File src.bin" + header + "Cannot write file \"" + smallDir + "\\src.002\". " +
             SysErrorMessage(ERROR_DISK_FULL)},
        {"cancelled by the host", dir.File("data.bin"), dir.Path(), "300", NoBox, ""},
        {"a directory at the descriptor's name", dir.File("data.bin"), dir.Path(), "300", Raises,
         "Cannot create file \"" + dir.File("data.crc") + "\". It is a device or a directory, not a file on disk."},
    };
    TUi ui;
    App::TOwnerWindowScope before(reinterpret_cast<HWND>(0x5678));
    for (const auto& c : cases) {
        if (!small && std::string(c.what) == "full disk") continue;  // needs the fixture's tmpfs (root, ctest)
        SCOPED_TRACE(c.what);
        if (c.end == Raises) { ASSERT_TRUE(CreateDirectoryA(dir.File("data.crc").c_str(), nullptr)); }
        engineprobe::TProgressRecorder progress;
        progress.OnCall = [&](size_t) { return c.end == NoBox; };
        size_t callsWhenShown = 0;
        std::string error;
        ui.Run("Split file", [&](TDrive& t) {
            t.Set(IDC_CBTRGSIZE, c.size);
            t.Click(IDC_BTOK);
            if (c.end != Box) {
                EXPECT_TRUE(t.ReturnsWithoutBox()) << c.what;
                return;
            }
            ExpectBox(t.Box("Split file", [&] { callsWhenShown = progress.Calls().size(); }), c.text, t.Host, ErrorIcon());
        }, [&] {
            try {
                ExecuteSplitDialog(ui.Host(), c.file, c.targetDir, progress.Proc());
            } catch (const EZandrelError& e) {
                error = e.what();
            }
        });
        EXPECT_EQ(error, c.end == Raises ? c.text : "");
        if (c.end == Raises) {
            EXPECT_TRUE(RemoveDirectoryA(dir.File("data.crc").c_str()));
            continue;
        }
        EXPECT_FALSE(testfiles::FileExists(DescriptorFileName(AddBackslash(c.targetDir) + ExtractFileName(c.file))));
        if (c.end == Box) { EXPECT_EQ(callsWhenShown, progress.Calls().size()) << "the box comes after the last progress call"; }
    }
    if (small) {
        // The pieces written until the disk was full stay.
        EXPECT_EQ(engineprobe::FileNames(smallDir), (std::vector<std::string>{"src.001", "src.002"}));
        for (const auto& name : engineprobe::FileNames(smallDir)) DeleteFileA((smallDir + "\\" + name).c_str());
    }
    EXPECT_EQ(engineprobe::FileNames(dir.Path()), (std::vector<std::string>{"data.001", "data.bin", "huge.img", "src.bin"}))
        << "the cancel left its first piece; nothing else was written";
}

// Opened by a real click on the speed button (down and up), then by BM_CLICK: the chooser, owned
// by the host, keeps the dialog disabled; Cancel leaves the field as typed, a choice replaces it,
// and the focus stays where it was.
TEST(SplitDialog, BrowseButtonKeepsTheFocusCancelLeavesTheFieldAChoiceReplacesIt)
{
    testfiles::TempDir chosen;
    const std::string leaf = chosen.Path().substr(chosen.Path().rfind('\\') + 1);
    TUi ui;
    ui.Run("Split file", [&](TDrive& t) {
        HWND edit = t.Item(IDC_EDTARGETDIR), browse = t.Item(IDC_SBBROWSE);
        t.Set(IDC_EDTARGETDIR, "typed by the user");
        ASSERT_TRUE(t.Focus(IDC_EDTARGETDIR));
        for (const bool choose : {false, true}) {
            SCOPED_TRACE(choose ? "choice" : "cancel");
            if (choose) PostMessageA(browse, BM_CLICK, 0, 0);
            if (!choose) PostMessageA(browse, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
            if (!choose) PostMessageA(browse, WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
            HWND chooser = WaitForFolderChooser(t.Main);
            ASSERT_NE(chooser, nullptr);
            EXPECT_EQ(Owner(chooser), t.Host);
            EXPECT_FALSE(IsWindowEnabled(t.Host));
            EXPECT_FALSE(IsWindowEnabled(t.Dialog));
            bool titled = false;
            for (HWND child = GetWindow(chooser, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
                titled |= WindowText(child) == "Select directory";
            EXPECT_TRUE(titled);
            // The chooser fills its tree and makes its own first selection while it opens, which
            // can overwrite one made before: select until it holds once the chooser handled that.
            if (choose) {
                EXPECT_TRUE(WaitUntil([&] {
                    SendMessageA(chooser, BFFM_SETSELECTIONA, TRUE, reinterpret_cast<LPARAM>(chosen.Path().c_str()));
                    t.Sync();
                    return TreeItemText(chooser, TVGN_CARET) == leaf;
                }));
            }
            PostMessageA(chooser, WM_COMMAND, choose ? IDOK : IDCANCEL, 0);
            WaitGone(chooser);
            t.Sync();
            EXPECT_EQ(WindowText(edit), choose ? chosen.Path() : "typed by the user");
            EXPECT_EQ(FocusOf(t.Main), edit);
            EXPECT_TRUE(IsWindowEnabled(t.Dialog));
            EXPECT_FALSE(IsWindowEnabled(t.Host));
        }
        EXPECT_TRUE(t.Cancel());
    }, [&] { ExecuteSplitDialog(ui.Host(), "C:\\x.bin", "C:\\", nullptr); });
}

namespace {

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

}  // namespace

TEST(SplitDialog, KeysPressedUnderABoxReachTheDialogOnceAndTheFilterDoesNotCallItself)
{
    // The refused directory's box is up. Tab in the target field moves the focus one control on,
    // Space on OK shows one more box (and Tab works under that one too), Esc closes the dialog;
    // each key goes through the thread's filters once from the box's loop and once from the
    // dialog's own key handling, no deeper.
    testfiles::TempDir dir;
    gProbe = TFilterProbe{};
    TUi ui;
    ui.Run("Split file", [&](TDrive& t) {
        HWND combo = t.Item(IDC_CBTRGSIZE);
        const auto inCombo = [&] { return FocusOf(t.Main) == combo || GetParent(FocusOf(t.Main)) == combo; };
        t.Set(IDC_EDTARGETDIR, dir.File("missing"));
        t.Click(IDC_BTOK);
        HWND box = WaitForWindow(t.Main, &IsMessageBox);
        ASSERT_NE(box, nullptr);
        // Installed from inside the box's loop, so that the probe is called before the dialog's filter.
        t.OnMain([&] {
            gProbe.dialog = t.Dialog;
            gProbe.hook = SetWindowsHookExA(WH_MSGFILTER, &ProbeFilter, nullptr, GetCurrentThreadId());
        });
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
        // Esc closes the dialog while the first box stays up.
        PostKey(t.Item(IDC_EDTARGETDIR), VK_ESCAPE);
        EXPECT_TRUE(WaitGone(t.Dialog) && IsWindowVisible(box));
        PostMessageA(box, WM_COMMAND, IDOK, 0);
    }, [&] { ExecuteSplitDialog(ui.Host(), dir.File("gone.bin"), dir.Path(), nullptr); });
    if (gProbe.hook) UnhookWindowsHookEx(gProbe.hook);
    // The second box's filter comes before the probe: the Tab under it passes the probe once.
    EXPECT_EQ(gProbe.keyDowns, 7) << "Tab, Space and Esc twice each, the second Tab once";
    EXPECT_EQ(gProbe.deepest, 2);
}
