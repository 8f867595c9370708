#include "BoxWatcher.h"

#include <algorithm>

namespace {

struct TFindContext {
    DWORD pid;
    std::vector<HWND> found;
};

BOOL CALLBACK CollectDialogs(HWND hwnd, LPARAM lp)
{
    auto* ctx = reinterpret_cast<TFindContext*>(lp);
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    char cls[64] = {};
    GetClassNameA(hwnd, cls, sizeof cls);
    if (pid == ctx->pid && std::string(cls) == "#32770" && IsWindowVisible(hwnd)) ctx->found.push_back(hwnd);
    return TRUE;
}

BOOL CALLBACK FindIcon(HWND child, LPARAM lp)
{
    char cls[32] = {};
    GetClassNameA(child, cls, sizeof cls);
    if (lstrcmpiA(cls, "Static") != 0 || (GetWindowLongA(child, GWL_STYLE) & SS_TYPEMASK) != SS_ICON) return TRUE;
    auto* icon = reinterpret_cast<HICON*>(lp);
    *icon = reinterpret_cast<HICON>(SendMessageA(child, STM_GETICON, 0, 0));
    return *icon == nullptr;
}

}  // namespace

std::string WindowText(HWND window)
{
    char text[2048] = {};
    DWORD_PTR length = 0;
    if (!window) return "";
    if (!SendMessageTimeoutA(window, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text), SMTO_NORMAL, 5000,
                             &length))
        return "<no answer>";
    return text;
}

bool IsMessageBox(HWND window)
{
    char cls[16] = {};
    GetClassNameA(window, cls, sizeof cls);
    return std::string(cls) == "#32770" && GetDlgItem(window, 0xFFFF) != nullptr;
}

TSeenBox ReadBox(HWND box)
{
    TSeenBox seen;
    seen.Caption = WindowText(box);
    seen.Text = WindowText(GetDlgItem(box, 0xFFFF));
    seen.Owner = GetWindow(box, GW_OWNER);
    EnumChildWindows(box, FindIcon, reinterpret_cast<LPARAM>(&seen.Icon));
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
        TFindContext ctx{GetCurrentProcessId(), {}};
        EnumWindows(CollectDialogs, reinterpret_cast<LPARAM>(&ctx));
        for (HWND box : ctx.found) {
            {
                std::lock_guard<std::mutex> lock(mutex_);
                if (std::find(handled_.begin(), handled_.end(), box) != handled_.end()) continue;
            }
            // A dialog becomes visible only once its controls and their texts are made.
            const TSeenBox seen = ReadBox(box);
            {
                std::lock_guard<std::mutex> lock(mutex_);
                handled_.push_back(box);
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
