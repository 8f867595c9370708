// The library's application object: the owner window, the message pump, the module instance,
// the disabling of the thread's windows around a modal window and the application-wide cursor.
#pragma once
#include <windows.h>

#include <functional>
#include <vector>

namespace App {

// The module whose resources (dialogs, icon, glyph) are loaded: the DLL, or a test program.
HINSTANCE Instance();
void SetInstance(HINSTANCE instance);

// The window that owns the library's dialogs, the message boxes that name it and the folder
// chooser. Null while no command runs.
HWND OwnerWindow();
void SetOwnerWindow(HWND window);

// Sets the owner window for one scope and restores the previous one on every path. A window that
// was disabled when the scope began is disabled again at its end: the system enables the owner
// of every modal dialog and message box when it closes, whatever its state before.
class TOwnerWindowScope {
public:
    explicit TOwnerWindowScope(HWND window)
        : old_(OwnerWindow()), window_(window), wasDisabled_(window && IsWindow(window) && !IsWindowEnabled(window))
    {
        SetOwnerWindow(window);
    }
    ~TOwnerWindowScope()
    {
        SetOwnerWindow(old_);
        if (wasDisabled_ && IsWindow(window_)) EnableWindow(window_, FALSE);
    }
    TOwnerWindowScope(const TOwnerWindowScope&) = delete;
    TOwnerWindowScope& operator=(const TOwnerWindowScope&) = delete;

private:
    HWND old_;
    HWND window_;
    bool wasDisabled_;
};

// Runs every pending message of the calling thread. A WM_QUIT is put back for the host.
void ProcessMessages();

// Seams for tests, which must not wait on the wall clock to see where messages run. The clock the
// block pumps read (GetTickCount unless set; nullptr restores it), and a function called on the
// calling thread each time ProcessMessages runs, before it reads the queue: every point where a
// host's message could be handled (nullptr removes it).
using TTickClock = unsigned long (*)();
void SetTickClock(TTickClock clock);
void SetPumpHook(std::function<void()> hook);

// The pump between the blocks of a long copy. Asking the queue costs little on Windows but a
// server round trip under Wine (tens of microseconds), which at memory speed rivals the copy of
// a block itself. So between blocks the queue runs after the first block and then at most once
// per clock tick: the host still sees its messages many times a second, and a cancel arrives as
// quickly as a person can notice. Every long pass uses one: the copy, the checksum passes over a
// whole file, the checks over the names a split will create.
class TBlockPump {
public:
    void AfterBlock();

private:
    bool pumped_ = false;
    unsigned long lastTick_ = 0;
};

// While a modal window of the library is up, every other visible and enabled top-level window of
// the calling thread (the host's among them) is disabled. Restore() enables again exactly the
// windows that were disabled here and still exist; the destructor does it on every path.
class TThreadWindowsDisabler {
public:
    // Except: a window left alone (the modal window itself, when it exists already).
    explicit TThreadWindowsDisabler(HWND except = nullptr);
    ~TThreadWindowsDisabler() { Restore(); }
    void Restore();
    const std::vector<HWND>& Windows() const { return windows_; }
    TThreadWindowsDisabler(const TThreadWindowsDisabler&) = delete;
    TThreadWindowsDisabler& operator=(const TThreadWindowsDisabler&) = delete;

private:
    std::vector<HWND> windows_;
};

// The application-wide cursor: null means each window shows its own. The library's dialogs show
// this cursor while it is set (their WM_SETCURSOR asks ApplyCursor).
HCURSOR ScreenCursor();
void SetScreenCursor(HCURSOR cursor);
// For a window procedure's WM_SETCURSOR: shows the application-wide cursor and returns true when
// one is set, false when the window should show its own.
bool ApplyCursor();

// Shows the hourglass for one scope and restores the previous application-wide cursor on every
// path, also when an exception passes.
class TWaitCursorScope {
public:
    TWaitCursorScope();
    ~TWaitCursorScope() { SetScreenCursor(old_); }
    TWaitCursorScope(const TWaitCursorScope&) = delete;
    TWaitCursorScope& operator=(const TWaitCursorScope&) = delete;

private:
    HCURSOR old_;
};

}  // namespace App
