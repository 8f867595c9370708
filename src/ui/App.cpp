#include "App.h"

namespace App {
namespace {
HINSTANCE gInstance = nullptr;
HWND gOwnerWindow = nullptr;
}  // namespace

HINSTANCE Instance() { return gInstance ? gInstance : GetModuleHandleA(nullptr); }
void SetInstance(HINSTANCE instance) { gInstance = instance; }

HWND OwnerWindow() { return gOwnerWindow; }
void SetOwnerWindow(HWND window) { gOwnerWindow = window; }

void ProcessMessages()
{
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

}  // namespace App
