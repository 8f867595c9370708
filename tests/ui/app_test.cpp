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

TEST(App, DisablerTakesOnlyVisibleEnabledWindowsOfThisThreadAndGivesBackThoseThatStillExist)
{
    THostWindow enabled("enabled"), alreadyDisabled("disabled"), except("except"), doomed("doomed");
    EnableWindow(alreadyDisabled.Get(), FALSE);
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
        EXPECT_FALSE(IsWindowEnabled(enabled.Get()));
        EXPECT_FALSE(IsWindowEnabled(doomed.Get()));
        EXPECT_TRUE(IsWindowEnabled(except.Get()));
        EXPECT_TRUE(IsWindowEnabled(hidden));
        EXPECT_TRUE(IsWindowEnabled(foreign));
        EXPECT_EQ(disabler.Windows().size(), 2u);
        DestroyWindow(doomed.Get());  // gone before the end of the scope: skipped
    }
    EXPECT_TRUE(IsWindowEnabled(enabled.Get()));
    EXPECT_FALSE(IsWindowEnabled(alreadyDisabled.Get()));  // it was not ours to enable
    SetEvent(quit);
    other.join();
    DestroyWindow(hidden);
    CloseHandle(ready);
    CloseHandle(quit);
}

TEST(App, OwnerWindowAndCursorScopesRestoreAlsoWhenAnErrorPasses)
{
    const HCURSOR wait = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_WAIT));
    HWND a = reinterpret_cast<HWND>(0x10), b = reinterpret_cast<HWND>(0x20);
    App::SetOwnerWindow(a);
    EXPECT_EQ(App::ScreenCursor(), nullptr);
    try {
        App::TOwnerWindowScope owner(b);
        App::TWaitCursorScope cursor;
        EXPECT_EQ(App::OwnerWindow(), b);
        EXPECT_EQ(App::ScreenCursor(), wait);
        {
            App::TWaitCursorScope nested;
            EXPECT_EQ(App::ScreenCursor(), wait);
        }
        EXPECT_EQ(App::ScreenCursor(), wait);
        throw std::runtime_error("passing");
    } catch (const std::runtime_error&) {
    }
    EXPECT_EQ(App::OwnerWindow(), a);
    EXPECT_EQ(App::ScreenCursor(), nullptr);
    App::SetOwnerWindow(nullptr);
}

namespace {

struct TChooser {
    bool found = false;
    HWND owner = nullptr;
    bool hostEnabled = true;
    UINT errorMode = 0;
    std::string selected;  // the tree's selected item text
};

// The text of the chooser's tree item that TVM_GETNEXTITEM finds with flag (TVGN_CARET: the
// selected one, TVGN_ROOT: the top one); empty when there is none.
std::string TreeItemText(HWND chooser, WPARAM flag)
{
    HWND tree = FindWindowExA(chooser, nullptr, "SysTreeView32", nullptr);
    HTREEITEM item = reinterpret_cast<HTREEITEM>(SendMessageA(tree, TVM_GETNEXTITEM, flag, 0));
    if (!item) return "";
    // The text travels through a buffer of the chooser's thread's process: the same process here.
    char text[MAX_PATH] = {};
    TVITEMA tv{};
    tv.mask = TVIF_TEXT;
    tv.hItem = item;
    tv.pszText = text;
    tv.cchTextMax = MAX_PATH;
    SendMessageA(tree, TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&tv));
    return text;
}

std::string SelectedTreeText(HWND chooser) { return TreeItemText(chooser, TVGN_CARET); }

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

UINT GetErrorModeNow()
{
    auto get = reinterpret_cast<UINT(WINAPI*)()>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "GetErrorMode")));
    return get ? get() : 0;
}

}  // namespace

TEST(BrowseForFolder, PreselectsAnExistingFolderClearsAnythingElseAndReportsCancel)
{
    testfiles::TempDir temp;
    const std::string folder = temp.File("Chosen folder");
    ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr));
    testfiles::WriteFileBytes(temp.File("file.txt"), "x");
    SettleAccessTimes(folder);
    THostWindow host;
    App::TOwnerWindowScope owner(host.Get());
    const UINT modeBefore = GetErrorModeNow();

    // An existing folder is selected when the chooser opens; OK returns it.
    TChooser seen;
    std::string path = folder;
    bool result;
    {
        TDriver driver([&](DWORD main) {
            HWND chooser = WaitForFolderChooser(main);
            ASSERT_NE(chooser, nullptr);
            seen.found = true;
            WaitUntil([&] { return SelectedTreeText(chooser) == "Chosen folder"; }, 5000);
            seen.selected = SelectedTreeText(chooser);
            seen.owner = Owner(chooser);
            seen.hostEnabled = IsWindowEnabled(host.Get()) != FALSE;
            seen.errorMode = GetErrorModeNow();
            PostMessageA(chooser, WM_COMMAND, IDOK, 0);
            WaitGone(chooser);
        });
        result = BrowseForFolder("Select directory", std::wstring(), path);
    }
    ASSERT_TRUE(seen.found);
    EXPECT_EQ(seen.selected, "Chosen folder");
    EXPECT_EQ(seen.owner, host.Get());
    EXPECT_FALSE(seen.hostEnabled);
    EXPECT_TRUE(seen.errorMode & SEM_FAILCRITICALERRORS);
    EXPECT_TRUE(result);
    EXPECT_EQ(path, folder);
    EXPECT_EQ(GetErrorModeNow(), modeBefore);
    EXPECT_TRUE(IsWindowEnabled(host.Get()));

    // A file or a missing folder is no preselection; cancelling leaves it cleared.
    for (const std::string& start : {temp.File("file.txt"), temp.File("missing")}) {
        SCOPED_TRACE(start);
        std::string p = start;
        bool opened = false;
        {
            TDriver driver([&](DWORD main) {
                HWND chooser = WaitForFolderChooser(main);
                opened = chooser != nullptr;
                PostMessageA(chooser, WM_COMMAND, IDCANCEL, 0);
                WaitGone(chooser);
            });
            result = BrowseForFolder("Select directory", std::wstring(), p);
        }
        EXPECT_TRUE(opened);
        EXPECT_FALSE(result);
        EXPECT_EQ(p, "");
        EXPECT_TRUE(IsWindowEnabled(host.Get()));
    }
}

TEST(BrowseForFolder, RootLimitsTheTreeAndOnlyFileSystemFoldersAreReturned)
{
    testfiles::TempDir temp;
    ASSERT_TRUE(CreateDirectoryA(temp.File("inner").c_str(), nullptr));
    const std::wstring root(temp.Path().begin(), temp.Path().end());
    std::string path = temp.File("inner");
    SettleAccessTimes(path);
    std::string topItem;
    bool result;
    {
        TDriver driver([&](DWORD main) {
            HWND chooser = WaitForFolderChooser(main);
            ASSERT_NE(chooser, nullptr);
            topItem = TreeItemText(chooser, TVGN_ROOT);
            WaitUntil([&] { return SelectedTreeText(chooser) == "inner"; }, 5000);
            PostMessageA(chooser, WM_COMMAND, IDOK, 0);
            WaitGone(chooser);
        });
        result = BrowseForFolder("Select directory", root, path);
    }
    const std::string rootName = temp.Path().substr(temp.Path().rfind('\\') + 1);
    EXPECT_EQ(topItem, rootName);
    EXPECT_TRUE(result);
    EXPECT_EQ(path, temp.File("inner"));

    // The desktop's "My Computer" is no file-system folder: OK cannot confirm it.
    path.clear();
    bool stillOpen = false;
    {
        TDriver driver([&](DWORD main) {
            HWND chooser = WaitForFolderChooser(main);
            ASSERT_NE(chooser, nullptr);
            LPITEMIDLIST computer = nullptr;
            SHGetSpecialFolderLocation(nullptr, CSIDL_DRIVES, &computer);
            SendMessageA(chooser, BFFM_SETSELECTIONA, FALSE, reinterpret_cast<LPARAM>(computer));
            Sleep(200);
            stillOpen = !IsWindowEnabled(GetDlgItem(chooser, IDOK));
            CoTaskMemFree(computer);
            PostMessageA(chooser, WM_COMMAND, IDCANCEL, 0);
            WaitGone(chooser);
        });
        result = BrowseForFolder("Select directory", std::wstring(), path);
    }
    EXPECT_TRUE(stillOpen) << "OK stays disabled on a virtual folder";
    EXPECT_FALSE(result);
}
