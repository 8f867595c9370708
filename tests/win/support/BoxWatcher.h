// Message boxes as every test reads them, and a watcher that answers them in the background.
// One rule: a message box is a dialog ("#32770") holding the static text control 0xFFFF; its text
// is that control's text, its icon the image of its first icon control.
#pragma once
#include <windows.h>

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

struct TSeenBox {
    std::string Caption, Text;  // Text: the message text (static control 0xFFFF)
    HWND Owner = nullptr;       // GW_OWNER
    HICON Icon = nullptr;       // the icon a message box shows, when it has one
};

// A window's text, asked for with a time limit so that a busy thread cannot hang the reader.
std::string WindowText(HWND window);
bool IsMessageBox(HWND window);
TSeenBox ReadBox(HWND box);

// Watches the process for dialogs (message boxes and any other "#32770"), records what they show
// and closes them, so tests can assert on message boxes and keep running headless.
class TBoxWatcher {
public:
    // closeCommand: the WM_COMMAND id posted to each dialog found (IDOK answers a message box).
    explicit TBoxWatcher(WPARAM closeCommand = IDOK);
    ~TBoxWatcher();
    TBoxWatcher(const TBoxWatcher&) = delete;
    TBoxWatcher& operator=(const TBoxWatcher&) = delete;

    std::vector<TSeenBox> Seen();

private:
    void Run();
    WPARAM closeCommand_;
    std::atomic<bool> stop_{false};
    std::mutex mutex_;
    std::vector<TSeenBox> seen_;
    std::vector<HWND> handled_;
    std::thread thread_;
};

// The icon a message box shows for one of the system's icons (IDI_INFORMATION for
// MB_ICONINFORMATION, IDI_ERROR, IDI_WARNING).
HICON SystemIcon(const void* id);
