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
#include "SplitDlg.h"
#include "TestFiles.h"
#include "UiDriver.h"
#include "resource.h"

using namespace ui;

// What the dialogs' own disabler does to the host's other windows, enabled or disabled before, is
// checked over both dialogs in formdialog_test: here the windows it must leave alone.
TEST(App, DisablerTakesOnlyVisibleEnabledWindowsOfThisThreadAndCursorScopesNest)
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

    // The cursor's scopes nest and restore, also when an error passes. (The owner window's scope
    // is checked on every dialog run, UiDriver, through a raised error too, formdialog_test.)
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

// An existing folder is selected when the chooser opens, under the given root too, and OK returns
// it; a file or a missing folder is no preselection, and cancelling leaves it cleared; the
// desktop's "My Computer" is no file-system folder, so OK cannot confirm it. The split dialog's
// speed button, pressed by a real click (down and up) or by BM_CLICK, opens it as well, owned by
// the host while the dialog waits disabled: Cancel leaves the field as typed, a choice replaces
// it, and the focus stays where it was.
TEST(BrowseForFolder, PreselectsAnExistingFolderUnderItsRootClearsAnythingElseAndReturnsOnlyFileSystemFolders)
{
    testfiles::TempDir temp;
    const std::string folder = temp.File("Chosen folder");
    ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr));
    testfiles::WriteFileBytes(temp.File("file.txt"), "x");
    // Wine's chooser finds a preselected folder by comparing the shell's item ids byte for byte, and
    // an id carries the folder's last-access time in two-second steps. Listing a folder that changed
    // since it was last listed moves that time (relatime), and the chooser lists the path's folders
    // between parsing the path and walking its tree: when the move crosses a step, the walk stops and
    // nothing is selected. Folders a test has just filled are listed once here, from the drive down,
    // so that the chooser's own listings move nothing.
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
    enum TOpen { Called, Clicked, BmClick };  // called here, or by the split dialog's button
    const struct {
        std::string start;     // the chooser's preselection; with the dialog, the folder then selected
        bool rooted;           // the tree starts at temp
        const char* selected;  // the tree's selection, then OK; null: Cancel
        bool computer;         // "My Computer" selected first
        TOpen open = Called;
    } cases[] = {
        {folder, false, "Chosen folder", false}, {folder, true, "Chosen folder", false},
        {temp.File("file.txt"), false, nullptr, false}, {temp.File("missing"), false, nullptr, false},
        {"", false, nullptr, true}, {"", false, nullptr, false, Clicked}, {folder, false, "Chosen folder", false, BmClick},
    };
    TUi ui;
    App::TOwnerWindowScope owner(ui.Host());
    const UINT modeBefore = GetErrorMode();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.start + " " + std::to_string(c.open));
        std::string path = c.start;
        bool result = !c.selected;
        ui.Run(c.open == Called ? nullptr : "Split file", [&](TDrive& t) {
            SCOPED_TRACE(c.start + " " + std::to_string(c.open));
            HWND chooser = t.Dialog, edit = t.Item(IDC_EDTARGETDIR), browse = t.Item(IDC_SBBROWSE);
            if (c.open != Called) {
                t.Set(IDC_EDTARGETDIR, "typed by the user");
                ASSERT_TRUE(t.Focus(IDC_EDTARGETDIR));
                if (c.open == BmClick) PostMessageA(browse, BM_CLICK, 0, 0);
                if (c.open == Clicked) PostMessageA(browse, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
                if (c.open == Clicked) PostMessageA(browse, WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
                chooser = WaitForFolderChooser(t.Main);
                ASSERT_NE(chooser, nullptr);
                EXPECT_FALSE(IsWindowEnabled(t.Dialog));
                // The chooser fills its tree and makes its own first selection while it opens,
                // which can overwrite one made before: select until it holds once the chooser
                // handled that.
                if (c.selected) {
                    EXPECT_TRUE(WaitUntil([&] {
                        SendMessageA(chooser, BFFM_SETSELECTIONA, TRUE, reinterpret_cast<LPARAM>(c.start.c_str()));
                        t.Sync();
                        return TreeItemText(chooser, TVGN_CARET) == c.selected;
                    }));
                }
            }
            if (c.selected) { EXPECT_TRUE(WaitUntil([&] { return TreeItemText(chooser, TVGN_CARET) == c.selected; })); }
            if (c.rooted) { EXPECT_EQ(TreeItemText(chooser, TVGN_ROOT), temp.Path().substr(temp.Path().rfind('\\') + 1)); }
            if (c.computer) {
                LPITEMIDLIST computer = nullptr;
                SHGetSpecialFolderLocation(nullptr, CSIDL_DRIVES, &computer);
                SendMessageA(chooser, BFFM_SETSELECTIONA, FALSE, reinterpret_cast<LPARAM>(computer));
                CoTaskMemFree(computer);
                t.Sync();
                EXPECT_FALSE(IsWindowEnabled(GetDlgItem(chooser, IDOK))) << "OK stays disabled on a virtual folder";
            }
            EXPECT_EQ(GetWindow(chooser, GW_OWNER), t.Host);
            EXPECT_FALSE(IsWindowEnabled(t.Host));
            EXPECT_TRUE(GetErrorMode() & SEM_FAILCRITICALERRORS);
            bool titled = false;
            for (HWND child = GetWindow(chooser, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
                titled |= WindowText(child) == "Select directory";
            EXPECT_TRUE(titled);
            PostMessageA(chooser, WM_COMMAND, c.selected ? IDOK : IDCANCEL, 0);
            if (c.open == Called) return;
            WaitGone(chooser);
            t.Sync();
            EXPECT_EQ(WindowText(edit), c.selected ? c.start : "typed by the user");
            EXPECT_EQ(FocusOf(t.Main), edit);
            EXPECT_TRUE(IsWindowEnabled(t.Dialog));
            EXPECT_FALSE(IsWindowEnabled(t.Host));
            EXPECT_TRUE(t.Cancel());
        }, [&] {
            const std::wstring root = c.rooted ? std::wstring(temp.Path().begin(), temp.Path().end()) : std::wstring();
            if (c.open == Called) result = BrowseForFolder("Select directory", root, path);
            else ExecuteSplitDialog(ui.Host(), "C:\\x.bin", "C:\\", nullptr);
        });
        EXPECT_EQ(GetErrorMode(), modeBefore);
        if (c.open != Called) continue;
        EXPECT_EQ(result, c.selected != nullptr);
        EXPECT_EQ(path, c.selected ? c.start : "");
    }
}
