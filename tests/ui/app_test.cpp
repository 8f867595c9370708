// The application object (thread-window disabling, cursor) and the folder chooser, called directly
// and from the split dialog's button.
#include <gtest/gtest.h>

#include <windows.h>
#include <shlobj.h>

#include <commctrl.h>

#include <stdexcept>
#include <thread>
#include <string>

#include "App.h"
#include "BrowseForFolder.h"
#include "Rows.h"
#include "SplitDlg.h"
#include "TestFiles.h"
#include "UiDriver.h"
#include "resource.h"

using namespace ui;

// What the dialogs' own disabler does to the host's other windows, enabled or disabled before, is
// checked over both dialogs in formdialog_test: here the windows it must leave alone.
TEST(App, DisablerTakesOnlyVisibleEnabledWindowsOfThisThread)
{
    THostWindow except("except"), doomed("doomed");
    HWND hidden = CreateWindowExA(0, "ZandrelTestHost", "hidden", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, nullptr,
                                  nullptr, GetModuleHandleA(nullptr), nullptr);
    // A window of another thread is not ours to disable.
    HWND foreign = nullptr;
    HANDLE ready = CreateEventA(nullptr, TRUE, FALSE, nullptr), quit = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    std::thread other([&] {
        THostWindow window("foreign");
        foreign = window.Get();
        SetEvent(ready);
        while (MsgWaitForMultipleObjects(1, &quit, FALSE, INFINITE, QS_ALLINPUT) != WAIT_OBJECT_0) {
            MSG msg;
            while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
        }
    });
    WaitForSingleObject(ready, INFINITE);
    {
        App::TThreadWindowsDisabler disabler(except.Get());
        EXPECT_FALSE(IsWindowEnabled(doomed.Get()));
        EXPECT_TRUE(IsWindowEnabled(except.Get()));
        EXPECT_TRUE(IsWindowEnabled(hidden));
        EXPECT_TRUE(IsWindowEnabled(foreign));
        EXPECT_EQ(disabler.Windows().size(), 1u);
        DestroyWindow(doomed.Get());  // gone before the end of the scope: skipped
    }
    SetEvent(quit);
    other.join();
    DestroyWindow(hidden);
    CloseHandle(ready);
    CloseHandle(quit);
}

// The cursor's scopes nest and restore, also when an error passes. (The owner window's scope is
// checked on every dialog run, UiDriver, through a raised error too, formdialog_test.)
TEST(App, WaitCursorScopesNestAndRestoreThroughAnError)
{
    const HCURSOR wait = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_WAIT));
    EXPECT_EQ(App::ScreenCursor(), nullptr);
    try {
        App::TWaitCursorScope cursor;
        EXPECT_EQ(App::ScreenCursor(), wait);
        {
            App::TWaitCursorScope nested;
            EXPECT_EQ(App::ScreenCursor(), wait);
        }
        EXPECT_EQ(App::ScreenCursor(), wait);
        throw std::runtime_error("passing");
    } catch (const std::runtime_error&) {
    }
    EXPECT_EQ(App::ScreenCursor(), nullptr);
}

// A run of the folder chooser in a scratch directory holding the folder "Chosen folder" and the file
// "file.txt", over a host window that owns it.
struct TChooserRow {
    const char* name;
    const char* start = "";  // the preselection in the scratch directory; with the dialog, the folder then selected
    bool ok = false;         // the start is selected, then OK; otherwise Cancel
    bool rooted = false;     // the tree starts at the scratch directory
    bool computer = false;   // "My Computer" selected first
    bool click = false;      // the split dialog's button gets a real click (down and up), not BM_CLICK
};
class ChooserTest : public testing::TestWithParam<TChooserRow> {
protected:
    void SetUp() override
    {
        const std::string folder = temp.File("Chosen folder");
        ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr));
        testfiles::WriteFileBytes(temp.File("file.txt"), "x");
        // Wine's chooser finds a preselected folder by comparing the shell's item ids byte for byte,
        // and an id carries the folder's last-access time in two-second steps. Listing a folder that
        // changed since it was last listed moves that time (relatime), and the chooser lists the
        // path's folders between parsing the path and walking its tree: when the move crosses a step,
        // the walk stops and nothing is selected. Folders a test has just filled are listed once here,
        // from the drive down, so that the chooser's own listings move nothing.
        for (size_t end = folder.find('\\');; end = folder.find('\\', end + 1)) {
            const std::string dir = end == std::string::npos ? folder + "\\" : folder.substr(0, end + 1);
            WIN32_FIND_DATAA entry;
            HANDLE find = FindFirstFileA((dir + "*").c_str(), &entry);
            if (find != INVALID_HANDLE_VALUE) {
                while (FindNextFileA(find, &entry)) {}
                FindClose(find);
            }
            if (end == std::string::npos) break;
        }
    }
    std::string Start() const { return *GetParam().start ? temp.File(GetParam().start) : ""; }

    testfiles::TempDir temp;
    TUi ui;
    App::TOwnerWindowScope owner{ui.Host()};
    const UINT modeBefore = GetErrorMode();
};
class FolderChooser : public ChooserTest {};
class SpeedButton : public ChooserTest {};

// The chooser is owned by the host, which waits disabled, with critical-error boxes off; it says what
// it is for.
void ExpectChooserOverTheHost(const TDrive& t, HWND chooser)
{
    EXPECT_EQ(GetWindow(chooser, GW_OWNER), t.Host);
    EXPECT_FALSE(IsWindowEnabled(t.Host));
    EXPECT_TRUE(GetErrorMode() & SEM_FAILCRITICALERRORS);
    bool titled = false;
    for (HWND child = GetWindow(chooser, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
        titled |= WindowText(child) == "Select directory";
    EXPECT_TRUE(titled);
}

// An existing folder is selected when the chooser opens, under the given root too, and OK returns
// it; a file or a missing folder is no preselection, and cancelling leaves it cleared; the
// desktop's "My Computer" is no file-system folder, so OK cannot confirm it.
TEST_P(FolderChooser, PreselectsAnExistingFolderReturnsFileSystemOnes)
{
    const TChooserRow& c = GetParam();
    std::string path = Start();
    bool result = !c.ok;
    ui.Run(nullptr, [&](TDrive& t) {
        HWND chooser = t.Dialog;
        if (c.ok) { EXPECT_TRUE(WaitUntil([&] { return TreeItemText(chooser, TVGN_CARET) == c.start; })); }
        if (c.rooted) { EXPECT_EQ(TreeItemText(chooser, TVGN_ROOT), temp.Path().substr(temp.Path().rfind('\\') + 1)); }
        if (c.computer) {
            LPITEMIDLIST computer = nullptr;
            SHGetSpecialFolderLocation(nullptr, CSIDL_DRIVES, &computer);
            SendMessageA(chooser, BFFM_SETSELECTIONA, FALSE, reinterpret_cast<LPARAM>(computer));
            CoTaskMemFree(computer);
            t.Sync();
            EXPECT_FALSE(IsWindowEnabled(GetDlgItem(chooser, IDOK))) << "OK stays disabled on a virtual folder";
        }
        ExpectChooserOverTheHost(t, chooser);
        PostMessageA(chooser, WM_COMMAND, c.ok ? IDOK : IDCANCEL, 0);
    }, [&] {
        const std::wstring root = c.rooted ? std::wstring(temp.Path().begin(), temp.Path().end()) : std::wstring();
        result = BrowseForFolder("Select directory", root, path);
    });
    EXPECT_EQ(GetErrorMode(), modeBefore);
    EXPECT_EQ(result, c.ok);
    EXPECT_EQ(path, c.ok ? Start() : "");
}
const TChooserRow Chooser[] = {
    {.name = "ExistingFolder", .start = "Chosen folder", .ok = true},
    {.name = "ExistingFolderUnderRoot", .start = "Chosen folder", .ok = true, .rooted = true},
    {.name = "File", .start = "file.txt"},
    {.name = "MissingFolder", .start = "missing"},
    {.name = "MyComputer", .computer = true},
};
ZANDREL_ROWS(FolderChooser, Chooser);

// The split dialog's speed button opens the chooser as well, owned by the host while the dialog
// waits disabled: Cancel leaves the field as typed, a choice replaces it, and the focus stays.
TEST_P(SpeedButton, OpensTheChooserOverTheDisabledSplitDialog)
{
    const TChooserRow& c = GetParam();
    ui.Run("Split file", [&](TDrive& t) {
        HWND edit = t.Item(IDC_EDTARGETDIR), browse = t.Item(IDC_SBBROWSE);
        t.Set(IDC_EDTARGETDIR, "typed by the user");
        ASSERT_TRUE(t.Focus(IDC_EDTARGETDIR));
        if (!c.click) PostMessageA(browse, BM_CLICK, 0, 0);
        if (c.click) PostMessageA(browse, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
        if (c.click) PostMessageA(browse, WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
        HWND chooser = WaitForFolderChooser(t.Main);
        ASSERT_NE(chooser, nullptr);
        EXPECT_FALSE(IsWindowEnabled(t.Dialog));
        // The chooser fills its tree and makes its own first selection while it opens, which can
        // overwrite one made before: select until it holds once the chooser handled that.
        if (c.ok) {
            EXPECT_TRUE(WaitUntil([&] {
                SendMessageA(chooser, BFFM_SETSELECTIONA, TRUE, reinterpret_cast<LPARAM>(Start().c_str()));
                t.Sync();
                return TreeItemText(chooser, TVGN_CARET) == c.start;
            }));
        }
        ExpectChooserOverTheHost(t, chooser);
        PostMessageA(chooser, WM_COMMAND, c.ok ? IDOK : IDCANCEL, 0);
        WaitGone(chooser);
        t.Sync();
        EXPECT_EQ(WindowText(edit), c.ok ? Start() : "typed by the user");
        EXPECT_EQ(FocusOf(t.Main), edit);
        EXPECT_TRUE(IsWindowEnabled(t.Dialog));
        EXPECT_FALSE(IsWindowEnabled(t.Host));
        EXPECT_TRUE(t.Cancel());
    }, [&] { ExecuteSplitDialog(ui.Host(), "C:\\x.bin", "C:\\", nullptr); });
    EXPECT_EQ(GetErrorMode(), modeBefore);
}
const TChooserRow Buttons[] = {
    {.name = "RealClickThenCancel", .click = true},
    {.name = "BmClickThenChoice", .start = "Chosen folder", .ok = true},
};
ZANDREL_ROWS(SpeedButton, Buttons);
