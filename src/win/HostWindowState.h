// The enabled state of the host's window and of its top-level window, kept for one command.
#pragma once
#include <windows.h>

namespace App {

// Remembers whether the host window and its top-level window take input, and gives both exactly
// that state back when the scope ends, on every path. The host may pass its main window or a
// child window of it (a panel); a modal window owned by a child window is owned by the child's
// top-level window. The system enables the owner of a modal window when it closes, so without
// this a window the host had disabled would come back enabled after a dialog or a message box.
class THostEnabledScope {
public:
    explicit THostEnabledScope(HWND host) noexcept;
    ~THostEnabledScope();
    THostEnabledScope(const THostEnabledScope&) = delete;
    THostEnabledScope& operator=(const THostEnabledScope&) = delete;

private:
    struct TSaved {
        HWND window = nullptr;
        bool enabled = false;
    };
    TSaved host_, top_;
};

}  // namespace App
