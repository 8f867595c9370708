// A visible top-level window on the calling thread, standing for the host's main window.
#pragma once
#include <windows.h>

class THostWindow {
public:
    explicit THostWindow(const char* title = "Host window")
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
    ~THostWindow() { DestroyWindow(window_); }
    HWND Get() const { return window_; }
    THostWindow(const THostWindow&) = delete;
    THostWindow& operator=(const THostWindow&) = delete;

private:
    HWND window_;
};
