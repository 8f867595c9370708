// The split dialog driven through Win32 messages: its presets in the user's locale, validation,
// Enter and Space, failures passing on, the folder chooser, the owner window restored. What it
// shares with the combine dialog (layout, tab order, focus, closing) is checked over both dialogs
// in formdialog_test.
#include <gtest/gtest.h>

#include <windows.h>
#include <shlobj.h>

#include <algorithm>
#include <clocale>
#include <cstdint>
#include <stdexcept>
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

std::vector<std::string> ComboItems(HWND combo)
{
    std::vector<std::string> items;
    const LRESULT count = SendMessageA(combo, CB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
        char text[256] = {};
        SendMessageA(combo, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(text));
        items.push_back(text);
    }
    return items;
}

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
        THostWindow host;
        std::vector<std::string> items;
        std::string text;
        LRESULT selection = 0;
        {
            TDriver driver([&](DWORD main) {
                HWND dialog = WaitForFormDialog(main, "Split file");
                ASSERT_NE(dialog, nullptr);
                HWND combo = GetDlgItem(dialog, IDC_CBTRGSIZE);
                items = ComboItems(combo);
                text = WindowText(combo);
                selection = SendMessageA(combo, CB_GETCURSEL, 0, 0);
                PostMessageA(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
                WaitGone(dialog);
            });
            ExecuteSplitDialog(host.Get(), "C:\\a.bin", "C:\\", nullptr);
        }
        ASSERT_EQ(items.size(), 8u);
        EXPECT_EQ(items, (std::vector<std::string>{c.item0, c.item1, "720 Kb (3.5\")", "360 Kb (5.25\")",
                                                    "100 Mb (ZIP)", "250 Mb (ZIP)", "650 Mb (CD)", "4095 Mb (FAT32)"}));
        EXPECT_EQ(text, c.item0);
        EXPECT_EQ(selection, CB_ERR);
        // The rendered presets read back as the preset sizes; a number with the other separator
        // is no size.
        EXPECT_EQ(ParseTargetSize(c.item0), 1509949u);
        EXPECT_EQ(ParseTargetSize(c.item1), 1258291u);
        EXPECT_EQ(ParseTargetSize("650 Mb (CD)"), 681574400u);
        EXPECT_EQ(ParseTargetSize(items[7]), 4293918720u);
        EXPECT_EQ(ParseTargetSize(c.separator[0] == ',' ? "1.5 Mb" : "1,5 Mb"), 0u);
        EXPECT_EQ(ParseTargetSize(c.separator[0] == ',' ? "2,5 b" : "2.5 b"), 2u);
    }
    std::setlocale(LC_NUMERIC, "C");
    // The scope put the user's own setting back.
    EXPECT_EQ(LocaleDecimalSeparator(), '.');
}

TEST(SplitDialog, RefusedInputShowsItsMessageWithoutOwnerAndTheDialogStaysOpen)
{
    testfiles::TempDir temp;
    testfiles::WriteFileBytes(temp.File("plain.txt"), "x");
    ASSERT_TRUE(CreateDirectoryA(temp.File("E").c_str(), nullptr));
    struct TCase {
        std::string dir, size, message;
    };
    // A last name ending in a space or a dot would be tested as "E" and written as another
    // directory: refused as typed, although "E" exists.
    const auto notFound = [](const std::string& dir) { return "Directory " + dir + " not found. Select other directory"; };
    const std::vector<TCase> cases = {
        {temp.File("E "), "100000", notFound(temp.File("E "))},
        {temp.File("E..."), "100000", notFound(temp.File("E..."))},
        {temp.File("E."), "100000", notFound(temp.File("E."))},
        {temp.File("E \\"), "100000", notFound(temp.File("E \\"))},
        {"", "1.44 Mb (3.5\")", "Directory  not found. Select other directory"},
        {temp.File("missing"), "720 Kb (3.5\")", "Directory " + temp.File("missing") + " not found. Select other directory"},
        {temp.File("plain.txt"), "100000", "Directory " + temp.File("plain.txt") + " not found. Select other directory"},
        {temp.Path(), "100 MB", "Target file size is invalid. Please repeat input."},
        {temp.Path(), "", "Target file size is invalid. Please repeat input."},
        {temp.Path(), "4096 Mb", "Target file size is invalid. Please repeat input."},
        {temp.Path(), "1 kb", "Target file size is invalid. Please repeat input."},
    };
    THostWindow host;
    std::vector<TBox> boxes;
    std::vector<bool> stillOpen;
    bool hostDisabledToTheEnd = false;
    HWND before = App::OwnerWindow();
    {
        TDriver driver([&](DWORD main) {
            HWND dialog = WaitForFormDialog(main, "Split file");
            ASSERT_NE(dialog, nullptr);
            for (const TCase& c : cases) {
                SetText(dialog, IDC_EDTARGETDIR, c.dir);
                SetText(dialog, IDC_CBTRGSIZE, c.size);
                PostClick(dialog, IDC_BTOK);
                boxes.push_back(ReadAndCloseBox(main, "Split file", dialog));
                stillOpen.push_back(IsWindowVisible(dialog) && IsWindowEnabled(dialog));
            }
            hostDisabledToTheEnd = !IsWindowEnabled(host.Get());
            PostClick(dialog, IDC_BTCANCEL);
            WaitGone(dialog);
        });
        // Nothing gets as far as splitting it.
        ExecuteSplitDialog(host.Get(), temp.File("plain.txt"), temp.Path(), nullptr);
    }
    EXPECT_EQ(App::OwnerWindow(), before);
    ASSERT_EQ(boxes.size(), cases.size());
    for (size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE(cases[i].dir + " | " + cases[i].size);
        EXPECT_TRUE(boxes[i].Found);
        EXPECT_EQ(boxes[i].Text, cases[i].message);
        EXPECT_EQ(boxes[i].Owner, nullptr);
        EXPECT_EQ(boxes[i].Icon, ErrorIcon());
        EXPECT_TRUE(boxes[i].WatchedEnabledMeanwhile);
        EXPECT_TRUE(stillOpen[i]);
    }
    EXPECT_TRUE(hostDisabledToTheEnd);
    EXPECT_TRUE(IsWindowEnabled(host.Get()));
    EXPECT_FALSE(testfiles::FileExists(temp.File("nothing.crc")));
    EXPECT_FALSE(testfiles::FileExists(temp.File("plain.crc")));
    EXPECT_FALSE(testfiles::FileExists(temp.File("plain.001")));
    EXPECT_TRUE(RemoveDirectoryA(temp.File("E").c_str())) << "E is empty";
}

TEST(SplitDialog, EnterInTheFieldsDoesNothingEnterOnOkSplitsAndReportsToTheHost)
{
    testfiles::TempDir source, target;
    const std::string content = testfiles::PatternBytes(800000);
    testfiles::WriteFileBytes(source.File("report.txt"), content);
    THostWindow host;
    bool openAfterEnterInEdit = false, openAfterEnterInCombo = false, noBoxMeanwhile = true;
    TBox box;
    HWND before = App::OwnerWindow();
    {
        TDriver driver([&](DWORD main) {
            HWND dialog = WaitForFormDialog(main, "Split file");
            ASSERT_NE(dialog, nullptr);
            SetText(dialog, IDC_EDTARGETDIR, target.Path());
            // Preset 3, 360 Kb: three pieces of this file.
            SendMessageA(GetDlgItem(dialog, IDC_CBTRGSIZE), CB_SETCURSEL, 3, 0);
            for (int id : {IDC_EDTARGETDIR, IDC_CBTRGSIZE}) {
                HWND control = GetDlgItem(dialog, id);
                PostMessageA(dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(control), TRUE);
                WaitUntil([&] { return FocusOf(main) == control || GetParent(FocusOf(main)) == control; });
                PostKey(FocusOf(main), VK_RETURN);
                Sleep(400);
                (id == IDC_EDTARGETDIR ? openAfterEnterInEdit : openAfterEnterInCombo) = IsWindowVisible(dialog) != FALSE;
            }
            noBoxMeanwhile = !WaitForMessageBox(main, "Split file", 0);
            HWND ok = GetDlgItem(dialog, IDC_BTOK);
            PostMessageA(dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(ok), TRUE);
            WaitUntil([&] { return FocusOf(main) == ok; });
            PostKey(ok, VK_RETURN);
            box = ReadAndCloseBox(main, "Split file");
        });
        ExecuteSplitDialog(host.Get(), source.File("report.txt"), "", nullptr);
    }
    EXPECT_EQ(App::OwnerWindow(), before);
    EXPECT_TRUE(openAfterEnterInEdit);
    EXPECT_TRUE(openAfterEnterInCombo);
    EXPECT_TRUE(noBoxMeanwhile);
    ASSERT_TRUE(box.Found);
    EXPECT_EQ(box.Text, "File report.txt succefully splitted.");
    EXPECT_EQ(box.Owner, host.Get());
    EXPECT_EQ(box.Icon, InformationIcon());
    // 360 Kb pieces: 368640 + 368640 + 62720 bytes, then the descriptor.
    ASSERT_TRUE(testfiles::FileExists(target.File("report.003")));
    EXPECT_FALSE(testfiles::FileExists(target.File("report.004")));
    EXPECT_EQ(testfiles::ReadFileBytes(target.File("report.001")) + testfiles::ReadFileBytes(target.File("report.002")) +
                  testfiles::ReadFileBytes(target.File("report.003")),
              content);
    EXPECT_EQ(testfiles::ReadFileBytes(target.File("report.001")).size(), 368640u);
    EXPECT_TRUE(testfiles::FileExists(target.File("report.crc")));
}

TEST(SplitDialog, SpaceRightAfterOpeningPressesOkAndTheTypedSizeIsUsed)
{
    testfiles::TempDir dir;
    testfiles::WriteFileBytes(dir.File("data.bin"), testfiles::PatternBytes(250));
    THostWindow host;
    TBox box;
    {
        TDriver driver([&](DWORD main) {
            HWND dialog = WaitForFormDialog(main, "Split file");
            ASSERT_NE(dialog, nullptr);
            SetText(dialog, IDC_CBTRGSIZE, "100 bytes");
            HWND ok = GetDlgItem(dialog, IDC_BTOK);
            WaitUntil([&] { return FocusOf(main) == ok; });
            PostKey(ok, VK_SPACE);
            box = ReadAndCloseBox(main, "Split file");
        });
        ExecuteSplitDialog(host.Get(), dir.File("data.bin"), dir.Path(), nullptr);
    }
    EXPECT_EQ(box.Text, "File data.bin succefully splitted.");
    EXPECT_EQ(box.Owner, host.Get());
    EXPECT_EQ(testfiles::ReadFileBytes(dir.File("data.003")).size(), 50u);
}

// A split that fails says why, in a box of its own after the last progress call, owned by the host
// window; a cancel shows nothing; an error raised before the first write passes on. The pieces
// written until the failure stay, and no descriptor is written.
TEST(SplitDialog, AFailedSplitSaysWhyACancelSaysNothingAnErrorPassesOn)
{
    testfiles::TempDir dir;
    testfiles::WriteFileBytes(dir.File("data.bin"), testfiles::PatternBytes(1000));
    engineprobe::MakeSparseFile(dir.File("huge.img"), 1234567890, "head");
    const std::string bytes = testfiles::PatternBytes(1 << 20, 21);
    testfiles::WriteFileBytes(dir.File("src.bin"), bytes);
    const bool small = engineprobe::SmallFilesystemMounted();
    const std::string smallDir = small ? *engineprobe::FixtureDir() + "\\small" : dir.Path();
    for (const auto& name : engineprobe::FileNames(smallDir))
        if (small) DeleteFileA((smallDir + "\\" + name).c_str());
    const std::string header = " was not split.\r\n\r\n";
    const struct {
        const char* what;
        std::string file, targetDir;
        const char* size;
        bool cancel;
        std::string text;  // of the error box; empty: no box
    } cases[] = {
        {"source gone after validation", dir.File("gone.bin"), dir.Path(), "300", false,
         "File gone.bin" + header + "Cannot open file \"" + dir.File("gone.bin") + "\". " +
             SysErrorMessage(ERROR_FILE_NOT_FOUND)},
        {"too many pieces", dir.File("huge.img"), dir.Path(), "1000", false,
         "File huge.img" + header +
             "Pieces of 1000 bytes are too small for a file of 1234567890 bytes: a split makes at most 1000 "
             "pieces. Choose pieces of at least 1234568 bytes."},
        {"full disk", dir.File("src.bin"), smallDir, "300000", false,
         "File src.bin" + header + "Cannot write file \"" + smallDir + "\\src.002\". " +
             SysErrorMessage(ERROR_DISK_FULL)},
        {"cancelled by the host", dir.File("data.bin"), dir.Path(), "300", true, ""},
    };
    THostWindow host;
    const HWND before = reinterpret_cast<HWND>(0x5678);
    App::SetOwnerWindow(before);
    for (const auto& c : cases) {
        if (!small && std::string(c.what) == "full disk") continue;  // needs the fixture's tmpfs (root, ctest)
        SCOPED_TRACE(c.what);
        engineprobe::TProgressRecorder progress;
        progress.OnCall = [&](size_t) { return c.cancel; };
        TBox box;
        size_t callsWhenShown = 0;
        {
            TDriver driver([&](DWORD main) {
                ASSERT_TRUE(PressOk(main, "Split file", c.size));
                if (c.text.empty()) {
                    EXPECT_EQ(WaitForMessageBox(main, "Split file", 1000), nullptr);
                    return;
                }
                box = ReadAndCloseBox(main, "Split file");
                callsWhenShown = progress.Calls().size();  // the main thread waits in the box
            });
            ExecuteSplitDialog(host.Get(), c.file, c.targetDir, progress.Proc());
        }
        EXPECT_EQ(App::OwnerWindow(), before);
        EXPECT_TRUE(IsWindowEnabled(host.Get()));
        EXPECT_FALSE(testfiles::FileExists(DescriptorFileName(AddBackslash(c.targetDir) + ExtractFileName(c.file))));
        if (c.text.empty()) continue;
        ASSERT_TRUE(box.Found);
        EXPECT_EQ(box.Text, c.text);
        EXPECT_EQ(box.Owner, host.Get());
        EXPECT_EQ(box.Icon, ErrorIcon());
        EXPECT_EQ(callsWhenShown, progress.Calls().size()) << "the box comes after the last progress call";
    }
    if (small) {
        // The pieces written until the disk was full stay: the first whole, the second cut short.
        EXPECT_EQ(testfiles::ReadFileBytes(smallDir + "\\src.001"), bytes.substr(0, 300000));
        EXPECT_LT(testfiles::ReadFileBytes(smallDir + "\\src.002").size(), 300000u);
        EXPECT_FALSE(testfiles::FileExists(smallDir + "\\src.003"));
        for (const auto& name : engineprobe::FileNames(smallDir)) DeleteFileA((smallDir + "\\" + name).c_str());
    }
    EXPECT_EQ(engineprobe::FileNames(dir.Path()), (std::vector<std::string>{"data.001", "data.bin", "huge.img", "src.bin"}))
        << "the cancel left its first piece; nothing else was written";
    DeleteFileA(dir.File("huge.img").c_str());

    // A directory stands where the descriptor should go: the split raises an error before it writes.
    ASSERT_TRUE(CreateDirectoryA(dir.File("data.crc").c_str(), nullptr));
    std::string error;
    {
        TDriver driver([&](DWORD main) { ASSERT_TRUE(PressOk(main, "Split file", "300")); });
        try {
            ExecuteSplitDialog(host.Get(), dir.File("data.bin"), dir.Path(), nullptr);
        } catch (const EZandrelError& e) {
            error = e.what();
        }
    }
    RemoveDirectoryA(dir.File("data.crc").c_str());
    EXPECT_EQ(error, "Cannot create file \"" + dir.File("data.crc") + "\". It is a device or a directory, not a file on disk.");
    EXPECT_EQ(App::OwnerWindow(), before);
    EXPECT_TRUE(IsWindowEnabled(host.Get()));
    App::SetOwnerWindow(nullptr);
}

TEST(SplitDialog, BrowseButtonKeepsTheFocusCancelLeavesTheFieldAChoiceReplacesIt)
{
    testfiles::TempDir chosen;
    THostWindow host;
    struct TChooserState {
        bool found = false;
        HWND owner = nullptr;
        bool hostEnabled = true, dialogEnabled = true;
        std::string title;
        UINT errorMode = 0;
    } first;
    std::string afterCancel, afterChoice;
    HWND focusBefore = nullptr, focusAfter = nullptr, edit = nullptr;
    bool dialogEnabledAfter = false, hostDisabledAfter = false;
    auto getErrorMode = reinterpret_cast<UINT(WINAPI*)()>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "GetErrorMode")));
    ASSERT_NE(getErrorMode, nullptr);
    const UINT modeBefore = getErrorMode();
    {
        TDriver driver([&](DWORD main) {
            HWND dialog = WaitForFormDialog(main, "Split file");
            ASSERT_NE(dialog, nullptr);
            edit = GetDlgItem(dialog, IDC_EDTARGETDIR);
            SetText(dialog, IDC_EDTARGETDIR, "typed by the user");
            PostMessageA(dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(edit), TRUE);
            WaitUntil([&] { return FocusOf(main) == edit; });
            focusBefore = FocusOf(main);
            // A real click on the speed button: down and up.
            HWND browse = GetDlgItem(dialog, IDC_SBBROWSE);
            PostMessageA(browse, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
            PostMessageA(browse, WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
            HWND chooser = WaitForFolderChooser(main);
            ASSERT_NE(chooser, nullptr);
            first.found = true;
            first.owner = Owner(chooser);
            first.hostEnabled = IsWindowEnabled(host.Get()) != FALSE;
            first.dialogEnabled = IsWindowEnabled(dialog) != FALSE;
            for (HWND child = GetWindow(chooser, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
                if (WindowText(child) == "Select directory") first.title = "Select directory";
            first.errorMode = getErrorMode();
            PostMessageA(chooser, WM_COMMAND, IDCANCEL, 0);
            WaitGone(chooser);
            WaitUntil([&] { return IsWindowEnabled(dialog) != FALSE; });
            afterCancel = WindowText(edit);

            PostMessageA(GetDlgItem(dialog, IDC_SBBROWSE), BM_CLICK, 0, 0);
            chooser = WaitForFolderChooser(main);
            ASSERT_NE(chooser, nullptr);
            // The chooser fills its tree and makes its own first selection while it opens; a
            // selection made before that settles can be overwritten, so make it again after a pause.
            for (int round = 0; round < 2; ++round) {
                Sleep(150);
                SendMessageA(chooser, BFFM_SETSELECTIONA, TRUE, reinterpret_cast<LPARAM>(chosen.Path().c_str()));
            }
            PostMessageA(chooser, WM_COMMAND, IDOK, 0);
            WaitGone(chooser);
            WaitUntil([&] { return IsWindowEnabled(dialog) != FALSE; });
            afterChoice = WindowText(edit);
            focusAfter = FocusOf(main);
            dialogEnabledAfter = IsWindowEnabled(dialog) != FALSE;
            hostDisabledAfter = !IsWindowEnabled(host.Get());
            PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
            WaitGone(dialog);
        });
        ExecuteSplitDialog(host.Get(), "C:\\x.bin", "C:\\", nullptr);
    }
    ASSERT_TRUE(first.found);
    EXPECT_EQ(first.owner, host.Get());
    EXPECT_FALSE(first.hostEnabled);
    EXPECT_FALSE(first.dialogEnabled);
    EXPECT_EQ(first.title, "Select directory");
    EXPECT_TRUE(first.errorMode & SEM_FAILCRITICALERRORS);
    EXPECT_EQ(getErrorMode(), modeBefore);
    EXPECT_EQ(afterCancel, "typed by the user");
    EXPECT_EQ(afterChoice, chosen.Path());
    EXPECT_EQ(focusBefore, edit);
    EXPECT_EQ(focusAfter, edit);
    EXPECT_TRUE(dialogEnabledAfter);
    EXPECT_TRUE(hostDisabledAfter);
    EXPECT_TRUE(IsWindowEnabled(host.Get()));
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

// A message-only window of the main thread: a message sent to it installs the probe from inside
// whatever modal loop the thread runs, so that the probe is called before the dialog's filter.
LRESULT CALLBACK ProbeWindowProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == WM_APP) {
        gProbe.dialog = reinterpret_cast<HWND>(wParam);
        gProbe.hook = SetWindowsHookExA(WH_MSGFILTER, &ProbeFilter, nullptr, GetCurrentThreadId());
        return gProbe.hook != nullptr;
    }
    return DefWindowProcA(window, msg, wParam, lParam);
}

}  // namespace

TEST(SplitDialog, KeysPressedUnderABoxReachTheDialogOnceAndTheFilterDoesNotCallItself)
{
    // The refused directory's box is up. Tab in the target field moves the focus one control on,
    // Space on OK shows one more box (and Tab works under that one too), Esc closes the dialog;
    // each key goes through the thread's filters once from the box's loop and once from the
    // dialog's own key handling, no deeper.
    testfiles::TempDir dir;
    WNDCLASSA wc{};
    wc.lpfnWndProc = &ProbeWindowProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "ZandrelFilterProbe";
    RegisterClassA(&wc);
    HWND probe = CreateWindowExA(0, wc.lpszClassName, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
    ASSERT_NE(probe, nullptr);
    gProbe = TFilterProbe{};
    THostWindow host;
    bool probed = false, tabbedOnce = false, oneMoreBox = false, tabbedUnderTheSecondBox = false,
         closedUnderTheBox = false;
    {
        TDriver driver([&](DWORD main) {
            HWND dialog = WaitForFormDialog(main, "Split file");
            ASSERT_NE(dialog, nullptr);
            HWND edit = GetDlgItem(dialog, IDC_EDTARGETDIR), combo = GetDlgItem(dialog, IDC_CBTRGSIZE),
                 ok = GetDlgItem(dialog, IDC_BTOK);
            SetText(dialog, IDC_EDTARGETDIR, dir.File("missing"));
            PostClick(dialog, IDC_BTOK);
            HWND box = WaitForMessageBox(main, "Split file");
            ASSERT_NE(box, nullptr);
            DWORD_PTR installed = 0;
            probed = SendMessageTimeoutA(probe, WM_APP, reinterpret_cast<WPARAM>(dialog), 0, SMTO_NORMAL, 5000,
                                         &installed) &&
                     installed;
            // The user clicks into the target field and presses Tab.
            PostMessageA(dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(edit), TRUE);
            WaitUntil([&] { return FocusOf(main) == edit; });
            PostKey(edit, VK_TAB);
            const auto inCombo = [&] { return FocusOf(main) == combo || GetParent(FocusOf(main)) == combo; };
            WaitUntil(inCombo, 5000);
            Sleep(300);
            tabbedOnce = inCombo();
            // Space on OK: the target is still missing, so one more box, no third.
            PostMessageA(dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(ok), TRUE);
            WaitUntil([&] { return FocusOf(main) == ok; });
            PostKey(ok, VK_SPACE);
            const auto boxes = [&] {
                int n = 0;
                for (HWND w : ThreadWindows(main))
                    if (w != dialog && ClassName(w) == "#32770" && WindowText(w) == "Split file") ++n;
                return n;
            };
            WaitUntil([&] { return boxes() >= 2; }, 5000);
            Sleep(300);
            oneMoreBox = boxes() == 2;
            // That box was opened from inside the dialog's key handling: Tab still works under it.
            PostMessageA(dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(edit), TRUE);
            WaitUntil([&] { return FocusOf(main) == edit; });
            PostKey(edit, VK_TAB);
            tabbedUnderTheSecondBox = WaitUntil(inCombo, 5000);
            for (HWND w : ThreadWindows(main))
                if (w != dialog && w != box && ClassName(w) == "#32770") PostMessageA(w, WM_COMMAND, IDOK, 0);
            WaitUntil([&] { return boxes() == 1; }, 5000);
            // Esc closes the dialog while the first box stays up.
            PostKey(edit, VK_ESCAPE);
            closedUnderTheBox = WaitGone(dialog, 5000) && IsWindowVisible(box);
            PostMessageA(box, WM_COMMAND, IDOK, 0);
            WaitGone(box);
        });
        ExecuteSplitDialog(host.Get(), dir.File("gone.bin"), dir.Path(), nullptr);
    }
    if (gProbe.hook) UnhookWindowsHookEx(gProbe.hook);
    DestroyWindow(probe);
    ASSERT_TRUE(probed);
    EXPECT_TRUE(tabbedOnce);
    EXPECT_TRUE(oneMoreBox);
    EXPECT_TRUE(tabbedUnderTheSecondBox);
    EXPECT_TRUE(closedUnderTheBox);
    // The second box's filter comes before the probe: the Tab under it passes the probe once.
    EXPECT_EQ(gProbe.keyDowns, 7) << "Tab, Space and Esc twice each, the second Tab once";
    EXPECT_EQ(gProbe.deepest, 2);
    EXPECT_TRUE(IsWindowEnabled(host.Get()));
}
