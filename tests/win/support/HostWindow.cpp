#include "HostWindow.h"

THostWindow::THostWindow(const char* title)
{
    WNDCLASSA wc{};
    wc.lpfnWndProc = &DefWindowProcA;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_APPWORKSPACE + 1);
    wc.lpszClassName = "ZandrelTestHost";
    RegisterClassA(&wc);  // a second registration fails harmlessly
    window_ = CreateWindowExA(0, "ZandrelTestHost", title, WS_OVERLAPPEDWINDOW | WS_VISIBLE, 40, 40, 640, 400,
                              nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
}

THostWindow::~THostWindow() { DestroyWindow(window_); }
