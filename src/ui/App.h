// The library's application object: the owner window, the message pump, the module instance.
#pragma once
#include <windows.h>

namespace App {

// The module whose resources (dialogs, icon, glyph) are loaded: the DLL, or a test program.
HINSTANCE Instance();
void SetInstance(HINSTANCE instance);

// The window that owns the library's dialogs, the message boxes that name it and the folder
// chooser. Null while no command runs.
HWND OwnerWindow();
void SetOwnerWindow(HWND window);

// Sets the owner window for one scope and restores the previous one on every path.
class TOwnerWindowScope {
public:
    explicit TOwnerWindowScope(HWND window) : old_(OwnerWindow()) { SetOwnerWindow(window); }
    ~TOwnerWindowScope() { SetOwnerWindow(old_); }
    TOwnerWindowScope(const TOwnerWindowScope&) = delete;
    TOwnerWindowScope& operator=(const TOwnerWindowScope&) = delete;

private:
    HWND old_;
};

// Runs every pending message of the calling thread. A WM_QUIT is put back for the host.
void ProcessMessages();

}  // namespace App
