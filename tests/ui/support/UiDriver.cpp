#include "UiDriver.h"

#include <commctrl.h>
#include <gtest/gtest.h>
#include <ole2.h>


#include "resource.h"

namespace ui {
namespace {

// The shell's folder chooser needs OLE on the thread that opens it; the library does this when it
// is loaded, the test programs here.
class TOleEnvironment : public ::testing::Environment {
public:
    void SetUp() override { OleInitialize(nullptr); }
    void TearDown() override { OleUninitialize(); }
};
[[maybe_unused]] ::testing::Environment* const OleEnvironment =
    ::testing::AddGlobalTestEnvironment(new TOleEnvironment);

BOOL CALLBACK Collect(HWND window, LPARAM param)
{
    if (IsWindowVisible(window)) reinterpret_cast<std::vector<HWND>*>(param)->push_back(window);
    return TRUE;
}

bool IsDialog(HWND window) { return ClassName(window) == "#32770"; }

}  // namespace

std::string ClassName(HWND window)
{
    char name[256] = {};
    GetClassNameA(window, name, sizeof name);
    return name;
}

HWND Owner(HWND window) { return GetWindow(window, GW_OWNER); }

std::vector<HWND> ThreadWindows(DWORD threadId)
{
    std::vector<HWND> windows;
    EnumThreadWindows(threadId, &Collect, reinterpret_cast<LPARAM>(&windows));
    return windows;
}

bool WaitUntil(const std::function<bool()>& fn, DWORD timeoutMs)
{
    const DWORD start = GetTickCount();
    for (;;) {
        if (fn()) return true;
        if (GetTickCount() - start > timeoutMs) return false;
        Sleep(20);
    }
}

HWND WaitForWindow(DWORD threadId, const std::function<bool(HWND)>& test, DWORD timeoutMs)
{
    HWND found = nullptr;
    WaitUntil(
        [&] {
            for (HWND window : ThreadWindows(threadId))
                if (test(window)) { found = window; return true; }
            return false;
        },
        timeoutMs);
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

HWND WaitForMessageBox(DWORD threadId, const char* caption, DWORD timeoutMs)
{
    return WaitForWindow(
        threadId,
        [&](HWND w) {
            return IsMessageBox(w) && WindowText(w) == caption;
        },
        timeoutMs);
}

HWND WaitForFolderChooser(DWORD threadId)
{
    return WaitForWindow(threadId, [](HWND w) { return IsDialog(w) && FindWindowExA(w, nullptr, WC_TREEVIEWA, nullptr); });
}

TBox ReadAndCloseBox(DWORD threadId, const char* caption, HWND watched)
{
    TBox box;
    box.Owner = reinterpret_cast<HWND>(-1);
    HWND window = WaitForMessageBox(threadId, caption);
    if (!window) return box;
    static_cast<TSeenBox&>(box) = ReadBox(window);
    box.Found = true;
    if (watched) box.WatchedEnabledMeanwhile = IsWindowEnabled(watched) != FALSE;
    PostMessageA(window, WM_COMMAND, IDOK, 0);
    WaitGone(window);
    if (watched) {
        Sleep(50);  // what closing the box hands back happens just after it went
        box.WatchedEnabledAfter = IsWindowEnabled(watched) != FALSE;
    }
    return box;
}

void PostClick(HWND dialog, int id)
{
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

bool PressOk(DWORD threadId, const char* caption, const char* size)
{
    HWND dialog = WaitForFormDialog(threadId, caption);
    if (!dialog) return false;
    if (size) SetText(dialog, IDC_CBTRGSIZE, size);
    PostClick(dialog, IDC_BTOK);
    WaitGone(dialog);
    return true;
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

TDriver::TDriver(std::function<void(DWORD)> script)
{
    const DWORD mainThread = GetCurrentThreadId();
    thread_ = std::thread([this, mainThread, script] {
        script(mainThread);
        // Whatever the script left open is cancelled, until the main thread is back.
        while (!done_) {
            for (HWND w : ThreadWindows(mainThread))
                if (IsDialog(w)) PostMessageA(w, WM_COMMAND, IDCANCEL, 0);
            Sleep(100);
        }
    });
}

void TDriver::Finish()
{
    done_ = true;
    if (thread_.joinable()) thread_.join();
}

std::array<int, 4> ControlRect(HWND dialog, int id)
{
    RECT rc{};
    GetWindowRect(GetDlgItem(dialog, id), &rc);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&rc), 2);
    return {int(rc.left), int(rc.top), int(rc.right - rc.left), int(rc.bottom - rc.top)};
}

int ScreenDpi()
{
    HDC screen = GetDC(nullptr);
    const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
    return ReleaseDC(nullptr, screen), dpi;
}

void SetText(HWND dialog, int id, const std::string& text)
{
    SendMessageA(GetDlgItem(dialog, id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

TDecimalSeparatorScope::TDecimalSeparatorScope(const char* separator)
{
    char text[8] = {};
    GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, text, sizeof text);
    old_ = text;
    SetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, separator);
}

TDecimalSeparatorScope::~TDecimalSeparatorScope()
{
    SetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, old_.c_str());
}

}  // namespace ui
