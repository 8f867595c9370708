#include "BoxWatcher.h"

#include <algorithm>

std::string WindowText(HWND window)
{
    char text[2048] = {};
    DWORD_PTR length = 0;
    if (!window) return "";
    return SendMessageTimeoutA(window, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text), SMTO_NORMAL, 5000,
                               &length) ? text : "<no answer>";
}

bool IsMessageBox(HWND window)
{
    char cls[16] = {};
    GetClassNameA(window, cls, sizeof cls);
    return std::string(cls) == "#32770" && GetDlgItem(window, 0xFFFF) != nullptr;
}

TSeenBox ReadBox(HWND box)
{
    TSeenBox seen{.Caption = WindowText(box), .Text = WindowText(GetDlgItem(box, 0xFFFF)),
                  .Owner = GetWindow(box, GW_OWNER)};
    // The icon is the image of the first static control that shows one.
    for (HWND child = nullptr; !seen.Icon && (child = FindWindowExA(box, child, "Static", nullptr));)
        if ((GetWindowLongA(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON)
            seen.Icon = reinterpret_cast<HICON>(SendMessageA(child, STM_GETICON, 0, 0));
    return seen;
}

TBoxWatcher::TBoxWatcher(WPARAM closeCommand) : closeCommand_(closeCommand), thread_([this] { Run(); }) {}

TBoxWatcher::~TBoxWatcher()
{
    stop_ = true;
    thread_.join();
}

void TBoxWatcher::Run()
{
    while (!stop_) {
        // The visible dialogs of this process, each looked at once.
        for (HWND box = nullptr; (box = FindWindowExA(nullptr, box, "#32770", nullptr));) {
            DWORD pid = 0;
            GetWindowThreadProcessId(box, &pid);
            if (pid != GetCurrentProcessId() || !IsWindowVisible(box)) continue;
            if (std::find(handled_.begin(), handled_.end(), box) != handled_.end()) continue;
            // A dialog becomes visible only once its controls and their texts are made.
            const TSeenBox seen = ReadBox(box);
            handled_.push_back(box);
            {
                std::lock_guard<std::mutex> lock(mutex_);
                seen_.push_back(seen);
            }
            PostMessageA(box, WM_COMMAND, closeCommand_, 0);  // recorded first: the caller may look at once
        }
        Sleep(20);
    }
}

std::vector<TSeenBox> TBoxWatcher::Seen()
{
    std::lock_guard<std::mutex> lock(mutex_);
    return seen_;
}

HICON SystemIcon(const void* id) { return LoadIconA(nullptr, static_cast<LPCSTR>(id)); }
