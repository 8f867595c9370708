// Drives the library's modal windows from a helper thread while the test's main thread sits in
// their modal loops: finds windows of the main thread, reads their state, posts input to them.
#pragma once
#include <windows.h>

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

// Waits until fn() holds; false on timeout.
bool WaitUntil(const std::function<bool()>& fn, DWORD timeoutMs = WaitMs);
// Waits until a visible top-level window of the thread satisfies the test; null on timeout.
HWND WaitForWindow(DWORD threadId, const std::function<bool(HWND)>& test, DWORD timeoutMs = WaitMs);
// Waits until the window is gone or hidden.
bool WaitGone(HWND window, DWORD timeoutMs = WaitMs);
// One of our dialogs (it has the target-directory field) with this caption.
HWND WaitForFormDialog(DWORD threadId, const char* caption);
// The shell's folder chooser (it holds a tree view).
HWND WaitForFolderChooser(DWORD threadId);
// The thread's message boxes, also those not shown yet: a box's loop shows it only once the
// thread has nothing else to do.
std::vector<HWND> MessageBoxes(DWORD threadId);
// The text of the chooser's tree item that TVM_GETNEXTITEM finds with flag (TVGN_CARET: the
// selected one, TVGN_ROOT: the top one); empty when there is none.
std::string TreeItemText(HWND chooser, WPARAM flag);

// text with every "%" followed by key replaced by with ("%T" for a target directory, say).
std::string Filled(std::string text, char key, const std::string& with);

// A key pressed on a control, through the modal loop.
void PostKey(HWND target, UINT vk);
// The focused window of another thread.
HWND FocusOf(DWORD threadId);

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
    HANDLE finished_;
    std::thread thread_;
};

// A message box that a script read and answered with OK. Owner is (HWND)-1 when no box came.
struct TBox : TSeenBox {
    bool Found = false;
};
// The box came and showed this text, owner and icon.
void ExpectBox(const TBox& box, const std::string& text, HWND owner, HICON icon);

// What a script works with: the main thread, the host window, the dialog it drives.
class TDrive {
public:
    DWORD Main = 0;
    HWND Host = nullptr;
    HWND Dialog = nullptr;  // the form dialog the run waited for, or the folder chooser

    HWND Item(int id) const { return GetDlgItem(Dialog, id); }
    void Set(int id, const std::string& text) const { SetDlgItemTextA(Dialog, id, text.c_str()); }
    // Presses a button by posting its BN_CLICKED, as a click does.
    void Click(int id) const;
    // Gives the control the focus and waits until it has it (its edit field, for a combo box).
    bool Focus(int id) const;
    // Returns once the main thread has handled everything posted to it before, through whatever
    // modal loop it runs, or has returned from the call under test.
    void Sync() const;
    // Waits for the main thread's message box with this caption, reads it, runs meanwhile (the
    // main thread waits in the box), answers OK and returns once the main thread has handled
    // the closing.
    TBox Box(const char* caption, const std::function<void()>& meanwhile = nullptr) const;
    // Waits until the main thread has returned from the call under test or shows a message box:
    // true when it returned and no box came.
    bool ReturnsWithoutBox() const;
    // Closes the dialog with its Cancel button and waits until it is gone.
    bool Cancel() const;

private:
    friend class TUi;
    std::atomic<bool> returned_{false};
};

// One host window and the runs of the command under test over it.
class TUi {
public:
    explicit TUi(const char* hostTitle = "Host window");
    HWND Host() const { return host_.Get(); }
    // Runs call on this thread while script drives it from a helper thread. The script starts
    // once the form dialog with this caption is up and has placed its focus (with none, once the
    // folder chooser is up) and fails when none comes. Afterwards the owner window is what it was
    // before and the host as enabled.
    void Run(const char* caption, const std::function<void(TDrive&)>& script, const std::function<void()>& call);

private:
    THostWindow host_;
};

}  // namespace ui
