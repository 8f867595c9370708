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

#include "HostWindow.h"

namespace ui {

// How long a driver waits for a window to show up (the machine may emulate the CPU).
constexpr DWORD WaitMs = 20000;

std::string WindowText(HWND window);
std::string ClassName(HWND window);
HWND Owner(HWND window);
std::vector<HWND> ThreadWindows(DWORD threadId);  // visible top-level windows
// Waits until a visible top-level window of the thread satisfies the test; null on timeout.
HWND WaitForWindow(DWORD threadId, const std::function<bool(HWND)>& test, DWORD timeoutMs = WaitMs);
// Waits until the window is gone or hidden.
bool WaitGone(HWND window, DWORD timeoutMs = WaitMs);

// One of our dialogs (it has the target-directory field) with this caption.
HWND WaitForFormDialog(DWORD threadId, const char* caption);
// A message box (a "#32770" without the target-directory field) with this caption.
HWND WaitForMessageBox(DWORD threadId, const char* caption, DWORD timeoutMs = WaitMs);
// The text a message box shows, and whether it shows the error or the information icon.
std::string MessageBoxText(HWND box);
enum class TBoxIcon { None, Error, Information, Other };
TBoxIcon MessageBoxIcon(HWND box);
// The shell's folder chooser (it holds a tree view).
HWND WaitForFolderChooser(DWORD threadId);

// Presses a button of a dialog by posting its BN_CLICKED, as a click does.
void PostClick(HWND dialog, int id);
// A key pressed on the thread's focused control, through the modal loop.
void PostKey(HWND target, UINT vk);
// The ways a user closes one of our dialogs, as the input arrives at the dialog.
enum class TCloseBy { Cancel, Esc, CloseBox, AltF4 };
constexpr TCloseBy AllCloseWays[] = {TCloseBy::Cancel, TCloseBy::Esc, TCloseBy::CloseBox, TCloseBy::AltF4};
const char* CloseName(TCloseBy how);
void PostClose(HWND dialog, TCloseBy how);
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
bool FileExists(const std::string& path);

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
