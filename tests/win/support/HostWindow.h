// A visible top-level window on the calling thread, standing for the host's main window.
#pragma once
#include <windows.h>

class THostWindow {
public:
    explicit THostWindow(const char* title = "Host window");
    ~THostWindow();
    HWND Get() const { return window_; }
    THostWindow(const THostWindow&) = delete;
    THostWindow& operator=(const THostWindow&) = delete;

private:
    HWND window_;
};
