// The application object (thread-window disabling, owner window, cursor) and the folder chooser.
#include <gtest/gtest.h>

#include <windows.h>
#include <shlobj.h>

#include <commctrl.h>

#include <stdexcept>
#include <thread>
#include <string>

#include "App.h"
#include "BrowseForFolder.h"
#include "TestFiles.h"
#include "UiDriver.h"

using namespace ui;

// What the dialogs' own disabler does to the host's other windows, enabled or disabled before, is
// checked over both dialogs in formdialog_test: here the windows it must leave alone.
TEST(App, DisablerTakesOnlyVisibleEnabledWindowsOfThisThreadAndGivesBackThoseThatStillExist)
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

// The owner window's scope is checked on every dialog run (UiDriver), through a raised error too
// (formdialog_test).
TEST(App, CursorScopesNestAndRestoreAlsoWhenAnErrorPasses)
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

namespace {

// Wine's chooser finds a preselected folder by comparing the shell's item ids byte for byte, and
// an id carries the folder's last-access time in two-second steps. Listing a folder that changed
// since it was last listed moves that time (relatime), and the chooser lists the path's folders
// between parsing the path and walking its tree: when the move crosses a step, the walk stops and
// nothing is selected. Folders a test has just filled are listed once here, from the drive down,
// so that the chooser's own listings move nothing.
void SettleAccessTimes(const std::string& folder)
{
    for (size_t end = folder.find('\\');; end = folder.find('\\', end + 1)) {
        const std::string dir = end == std::string::npos ? folder + "\\" : folder.substr(0, end + 1);
        WIN32_FIND_DATAA entry;
        HANDLE find = FindFirstFileA((dir + "*").c_str(), &entry);
        if (find != INVALID_HANDLE_VALUE) {
            while (FindNextFileA(find, &entry)) {
            }
            FindClose(find);
        }
        if (end == std::string::npos) break;
    }
}

}  // namespace

// An existing folder is selected when the chooser opens, under the given root too, and OK returns
// it; a file or a missing folder is no preselection, and cancelling leaves it cleared; the
// desktop's "My Computer" is no file-system folder, so OK cannot confirm it.
TEST(BrowseForFolder, PreselectsAnExistingFolderUnderItsRootClearsAnythingElseAndReturnsOnlyFileSystemFolders)
{
    testfiles::TempDir temp;
    const std::string folder = temp.File("Chosen folder");
    ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr));
    testfiles::WriteFileBytes(temp.File("file.txt"), "x");
    SettleAccessTimes(folder);
    const struct {
        std::string start;
        bool rooted;           // the tree starts at temp
        const char* selected;  // the tree's selection, then OK; null: Cancel
        bool computer;         // "My Computer" selected first
    } cases[] = {
        {folder, false, "Chosen folder", false}, {folder, true, "Chosen folder", false},
        {temp.File("file.txt"), false, nullptr, false}, {temp.File("missing"), false, nullptr, false},
        {"", false, nullptr, true},
    };
    TUi ui;
    App::TOwnerWindowScope owner(ui.Host());
    const UINT modeBefore = GetErrorMode();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.start);
        std::string path = c.start;
        bool result = !c.selected;
        ui.Run(nullptr, [&](TDrive& t) {
            SCOPED_TRACE(c.start);
            if (c.selected) { EXPECT_TRUE(WaitUntil([&] { return TreeItemText(t.Dialog, TVGN_CARET) == c.selected; })); }
            if (c.rooted) { EXPECT_EQ(TreeItemText(t.Dialog, TVGN_ROOT), temp.Path().substr(temp.Path().rfind('\\') + 1)); }
            if (c.computer) {
                LPITEMIDLIST computer = nullptr;
                SHGetSpecialFolderLocation(nullptr, CSIDL_DRIVES, &computer);
                SendMessageA(t.Dialog, BFFM_SETSELECTIONA, FALSE, reinterpret_cast<LPARAM>(computer));
                CoTaskMemFree(computer);
                t.Sync();
                EXPECT_FALSE(IsWindowEnabled(GetDlgItem(t.Dialog, IDOK))) << "OK stays disabled on a virtual folder";
            }
            EXPECT_EQ(Owner(t.Dialog), t.Host);
            EXPECT_FALSE(IsWindowEnabled(t.Host));
            EXPECT_TRUE(GetErrorMode() & SEM_FAILCRITICALERRORS);
            PostMessageA(t.Dialog, WM_COMMAND, c.selected ? IDOK : IDCANCEL, 0);
        }, [&] { result = BrowseForFolder("Select directory", c.rooted ? std::wstring(temp.Path().begin(), temp.Path().end()) : std::wstring(), path); });
        EXPECT_EQ(result, c.selected != nullptr);
        EXPECT_EQ(path, c.selected ? c.start : "");
        EXPECT_EQ(GetErrorMode(), modeBefore);
    }
}
