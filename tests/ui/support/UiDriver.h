// Drives the library's modal windows from a helper thread while the test's main thread sits in
// their modal loops: finds windows of the main thread, reads their state, posts input to them.
#pragma once
#include <windows.h>

#include <array>
#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "BoxWatcher.h"
#include "HostWindow.h"

namespace ui {

// How long a driver waits for a window to show up (the machine may emulate the CPU).
constexpr DWORD WaitMs = 20000;

std::string ClassName(HWND window);
HWND Owner(HWND window);
std::vector<HWND> ThreadWindows(DWORD threadId);  // visible top-level windows
// Waits until a visible top-level window of the thread satisfies the test; null on timeout.
HWND WaitForWindow(DWORD threadId, const std::function<bool(HWND)>& test, DWORD timeoutMs = WaitMs);
// Waits until the window is gone or hidden.
bool WaitGone(HWND window, DWORD timeoutMs = WaitMs);

// One of our dialogs (it has the target-directory field) with this caption.
HWND WaitForFormDialog(DWORD threadId, const char* caption);
// A message box (IsMessageBox) with this caption.
HWND WaitForMessageBox(DWORD threadId, const char* caption, DWORD timeoutMs = WaitMs);
// A message box that a driver script read and answered with OK. Owner is (HWND)-1 when no box came.
struct TBox : TSeenBox {
    bool Found = false;
    bool WatchedEnabledMeanwhile = false;  // the watched window, while the box was up
    bool WatchedEnabledAfter = true;       // the watched window, once the box was gone
};
// Waits for the thread's message box with this caption, reads it, answers OK and waits until it
// is gone. watched (optional): a window whose enabled state is read meanwhile and afterwards.
TBox ReadAndCloseBox(DWORD threadId, const char* caption, HWND watched = nullptr);
// The shell's folder chooser (it holds a tree view).
HWND WaitForFolderChooser(DWORD threadId);

// Presses a button of a dialog by posting its BN_CLICKED, as a click does.
void PostClick(HWND dialog, int id);
// Waits for the form dialog with this caption, types size into the size field (when given),
// presses OK and waits until the dialog is gone. False when no such dialog came.
bool PressOk(DWORD threadId, const char* caption, const char* size = nullptr);
// A key pressed on the thread's focused control, through the modal loop.
void PostKey(HWND target, UINT vk);
// The focused window of another thread.
HWND FocusOf(DWORD threadId);
// Waits until fn() holds.
bool WaitUntil(const std::function<bool()>& fn, DWORD timeoutMs = WaitMs);

// Runs a script on a helper thread. When the script ends (also through a failed ASSERT), the
// driver keeps cancelling whatever dialog the main thread still shows until Finish(), so a
// failing test ends instead of hanging in a modal loop.
class TDriver {
public:
    explicit TDriver(std::function<void(DWORD mainThread)> script);
    ~TDriver() { Finish(); }
    void Finish();
    TDriver(const TDriver&) = delete;
    TDriver& operator=(const TDriver&) = delete;

private:
    std::atomic<bool> done_{false};
    std::thread thread_;
};

// A control's left, top, width and height in its dialog's client area, in pixels.
std::array<int, 4> ControlRect(HWND dialog, int id);
// The screen's dots per inch.
int ScreenDpi();

// Sets the text of a dialog's control.
void SetText(HWND dialog, int id, const std::string& text);

// Sets the user's decimal separator for one scope.
class TDecimalSeparatorScope {
public:
    explicit TDecimalSeparatorScope(const char* separator);
    ~TDecimalSeparatorScope();
    TDecimalSeparatorScope(const TDecimalSeparatorScope&) = delete;
    TDecimalSeparatorScope& operator=(const TDecimalSeparatorScope&) = delete;

private:
    std::string old_;
};

}  // namespace ui
