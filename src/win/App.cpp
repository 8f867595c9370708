#include "App.h"


namespace App {
namespace {
HINSTANCE gInstance = nullptr;
HWND gOwnerWindow = nullptr;
HCURSOR gCursor = nullptr;
App::TTickClock gTickClock = nullptr;
std::function<void()> gPumpHook;

struct TEnumState {
    HWND except;
    std::vector<HWND>* windows;
};

BOOL CALLBACK CollectWindow(HWND window, LPARAM param)
{
    auto* state = reinterpret_cast<TEnumState*>(param);
    if (window != state->except && IsWindowVisible(window) && IsWindowEnabled(window))
        state->windows->push_back(window);
    return TRUE;
}
}  // namespace

HINSTANCE Instance() { return gInstance ? gInstance : GetModuleHandleA(nullptr); }
void SetInstance(HINSTANCE instance) { gInstance = instance; }

HWND OwnerWindow() { return gOwnerWindow; }
void SetOwnerWindow(HWND window) { gOwnerWindow = window; }

void SetTickClock(TTickClock clock) { gTickClock = clock; }
void SetPumpHook(std::function<void()> hook) { gPumpHook = std::move(hook); }

void ProcessMessages()
{
    if (gPumpHook) gPumpHook();
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            // The quit request belongs to the host's own loop: leave it for that loop.
            PostQuitMessage(static_cast<int>(msg.wParam));
            return;
        }
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

TThreadWindowsDisabler::TThreadWindowsDisabler(HWND except)
{
    TEnumState state{except, &windows_};
    EnumThreadWindows(GetCurrentThreadId(), &CollectWindow, reinterpret_cast<LPARAM>(&state));
    for (HWND window : windows_) EnableWindow(window, FALSE);
}

void TThreadWindowsDisabler::Restore()
{
    // In the order they were found; a window destroyed meanwhile (its handle no longer valid)
    // is skipped.
    for (HWND window : windows_)
        if (IsWindow(window)) EnableWindow(window, TRUE);
    windows_.clear();
}

HCURSOR ScreenCursor() { return gCursor; }

void SetScreenCursor(HCURSOR cursor)
{
    gCursor = cursor;
    ::SetCursor(cursor ? cursor : LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW)));
}

bool ApplyCursor()
{
    if (!gCursor) return false;
    ::SetCursor(gCursor);
    return true;
}

TWaitCursorScope::TWaitCursorScope() : old_(ScreenCursor())
{
    SetScreenCursor(LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_WAIT)));
}

void TBlockPump::AfterBlock()
{
    const unsigned long now = gTickClock ? gTickClock() : GetTickCount();
    if (pumped_ && now == lastTick_) return;
    pumped_ = true;
    lastTick_ = now;
    ProcessMessages();
}

}  // namespace App
