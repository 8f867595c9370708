#include "UiDriver.h"

#include <commctrl.h>
#include <gtest/gtest.h>
#include <ole2.h>

#include <utility>

#include "App.h"
#include "resource.h"

namespace ui {
namespace {

BOOL CALLBACK Collect(HWND window, LPARAM list)
{
    reinterpret_cast<std::vector<HWND>*>(list)->push_back(window);
    return TRUE;
}

// The thread's top-level windows, also hidden ones.
std::vector<HWND> ThreadWindows(DWORD threadId)
{
    std::vector<HWND> windows;
    EnumThreadWindows(threadId, &Collect, reinterpret_cast<LPARAM>(&windows));
    return windows;
}

bool IsDialog(HWND window)
{
    char name[16] = {};
    GetClassNameA(window, name, sizeof name);
    return std::string(name) == "#32770";
}

// A message-only window of the main thread that notes the marks posted to it. The thread takes
// posted messages in the order they came, so once a mark is handled, so is everything before it.
HWND gMarker = nullptr;
std::atomic<WPARAM> gMarked{0}, gHandledMark{0};

LRESULT CALLBACK MarkerProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == WM_APP) gHandledMark = wParam;
    return msg == WM_APP ? 0 : DefWindowProcA(window, msg, wParam, lParam);
}

}  // namespace

bool WaitUntil(const std::function<bool()>& fn, DWORD timeoutMs)
{
    for (const DWORD start = GetTickCount(); !fn(); Sleep(20))
        if (GetTickCount() - start > timeoutMs) return false;
    return true;
}

HWND WaitForWindow(DWORD threadId, const std::function<bool(HWND)>& test, DWORD timeoutMs)
{
    HWND found = nullptr;
    WaitUntil([&] {
        for (HWND w : ThreadWindows(threadId))
            if (IsWindowVisible(w) && test(w)) return (found = w) != nullptr;
        return false;
    }, timeoutMs);
    return found;
}

bool WaitGone(HWND window, DWORD timeoutMs)
{
    return WaitUntil([&] { return !IsWindow(window) || !IsWindowVisible(window); }, timeoutMs);
}

HWND WaitForFormDialog(DWORD threadId, const char* caption)
{
    return WaitForWindow(threadId, [&](HWND w) {
        return IsDialog(w) && GetDlgItem(w, IDC_EDTARGETDIR) && WindowText(w) == caption;
    });
}

HWND WaitForFolderChooser(DWORD threadId)
{
    return WaitForWindow(threadId,
                         [](HWND w) { return IsDialog(w) && FindWindowExA(w, nullptr, WC_TREEVIEWA, nullptr); });
}

std::vector<HWND> MessageBoxes(DWORD threadId)
{
    std::vector<HWND> boxes;
    for (HWND w : ThreadWindows(threadId))
        if (IsMessageBox(w)) boxes.push_back(w);
    return boxes;
}

std::string TreeItemText(HWND chooser, WPARAM flag)
{
    HWND tree = FindWindowExA(chooser, nullptr, WC_TREEVIEWA, nullptr);
    HTREEITEM item = reinterpret_cast<HTREEITEM>(SendMessageA(tree, TVM_GETNEXTITEM, flag, 0));
    if (!item) return "";
    // The text travels through a buffer of the chooser's thread's process: the same process here.
    char text[MAX_PATH] = {};
    TVITEMA tv{TVIF_TEXT, item, 0, 0, text, MAX_PATH, 0, 0, 0, 0};
    SendMessageA(tree, TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&tv));
    return text;
}

std::string Filled(std::string text, char key, const std::string& with)
{
    for (size_t at; (at = text.find(std::string("%") + key)) != std::string::npos;) text.replace(at, 2, with);
    return text;
}

void PostKey(HWND target, UINT vk)
{
    PostMessageA(target, WM_KEYDOWN, vk, 1);
    PostMessageA(target, WM_KEYUP, vk, 0xC0000001);
}

HWND FocusOf(DWORD threadId)
{
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    return GetGUIThreadInfo(threadId, &info) ? info.hwndFocus : nullptr;
}

TDriver::TDriver(std::function<void(DWORD)> script) : finished_(CreateEventA(nullptr, TRUE, FALSE, nullptr))
{
    const DWORD mainThread = GetCurrentThreadId();
    thread_ = std::thread([this, mainThread, script] {
        script(mainThread);
        // Whatever the script left open is cancelled, until the main thread is back.
        do {
            for (HWND w : ThreadWindows(mainThread))
                if (IsDialog(w)) PostMessageA(w, WM_COMMAND, IDCANCEL, 0);
        } while (WaitForSingleObject(finished_, 100) == WAIT_TIMEOUT);
    });
}

void TDriver::Finish()
{
    SetEvent(finished_);
    if (thread_.joinable()) thread_.join();
    if (finished_) CloseHandle(std::exchange(finished_, nullptr));
}

void ExpectBox(const TBox& box, const std::string& text, HWND owner, HICON icon)
{
    ASSERT_TRUE(box.Found) << text;
    EXPECT_EQ(box.Text, text);
    EXPECT_EQ(box.Owner, owner) << text;
    EXPECT_EQ(box.Icon, icon) << text;
}

void TDrive::Click(int id) const
{
    PostMessageA(Dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(Item(id)));
}

bool TDrive::Focus(int id) const
{
    HWND control = Item(id);
    PostMessageA(Dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(control), TRUE);
    return WaitUntil([&] { return FocusOf(Main) == control || GetParent(FocusOf(Main)) == control; });
}

void TDrive::Sync() const
{
    const WPARAM mark = ++gMarked;
    PostMessageA(gMarker, WM_APP, mark, 0);
    WaitUntil([&] { return gHandledMark >= mark || returned_; });
}

TBox TDrive::Box(const char* caption, const std::function<void()>& meanwhile) const
{
    TBox box;
    box.Owner = reinterpret_cast<HWND>(-1);
    HWND window = WaitForWindow(Main, [&](HWND w) { return IsMessageBox(w) && WindowText(w) == caption; });
    if (!window) return box;
    static_cast<TSeenBox&>(box) = ReadBox(window);
    box.Found = true;
    if (meanwhile) meanwhile();
    PostMessageA(window, WM_COMMAND, IDOK, 0);
    WaitGone(window);
    // The box's loop ends right after the message that closed it: the mark is handled by the loop
    // the main thread runs next, after what closing the box handed back was taken again.
    Sync();
    return box;
}

bool TDrive::ReturnsWithoutBox() const
{
    // A box would hold the main thread until answered: it cannot return while one is up.
    WaitUntil([&] { return returned_ || !MessageBoxes(Main).empty(); });
    return returned_ && MessageBoxes(Main).empty();
}

bool TDrive::Cancel() const
{
    Click(IDC_BTCANCEL);
    return WaitGone(Dialog);
}

TUi::TUi(const char* hostTitle) : host_(hostTitle)
{
    if (gMarker) return;
    // The shell's folder chooser needs OLE on the thread that opens it; the library does this when
    // it is loaded, the test programs here, for as long as they run.
    OleInitialize(nullptr);
    WNDCLASSA wc{0, &MarkerProc, 0, 0, GetModuleHandleA(nullptr),
                 nullptr, nullptr, nullptr, nullptr, "ZandrelUiMarker"};
    RegisterClassA(&wc);
    gMarker = CreateWindowExA(0, wc.lpszClassName, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
}

void TUi::Run(const char* caption, const std::function<void(TDrive&)>& script, const std::function<void()>& call)
{
    const HWND ownerBefore = App::OwnerWindow();
    const bool hostEnabledBefore = IsWindowEnabled(Host()) != FALSE;
    TDrive d;
    d.Host = Host();
    {
        TDriver driver([&](DWORD main) {
            d.Main = main;
            d.Dialog = caption ? WaitForFormDialog(main, caption) : WaitForFolderChooser(main);
            ASSERT_NE(d.Dialog, nullptr) << (caption ? caption : "folder chooser");
            // A form dialog's focus lands once it is up: wait for it rather than race it.
            if (caption) { ASSERT_TRUE(WaitUntil([&] { return FocusOf(main) != nullptr; })); }
            script(d);
        });
        try {
            call();
        } catch (...) {
            d.returned_ = true;
            throw;
        }
        d.returned_ = true;
    }
    EXPECT_EQ(App::OwnerWindow(), ownerBefore);
    EXPECT_EQ(IsWindowEnabled(Host()) != FALSE, hostEnabledBefore);
}

}  // namespace ui
