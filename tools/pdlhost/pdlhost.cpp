// pdlhost - a small reference host for Ferncove Trellisan plug-in libraries.
//
//   pdlhost info LIB                          descriptors and the function codes that answer
//   pdlhost about LIB N                       plug-in N's About box over a host window
//   pdlhost split LIB FILE TARGETDIR [--auto [SIZE]] [--child] [--disabled] [--gaps]
//   pdlhost combine LIB CRCFILE TARGETDIR [--auto] [--child] [--disabled] [--gaps]
//
// split and combine run the plug-in's Execute entry over a host window with a progress callback
// that draws a console bar; Ctrl+C asks the plug-in to stop through the callback's cancel pointer.
// With --auto the host answers the dialogs itself (fills SIZE, presses OK, answers and prints
// message boxes), so it runs headless, and prints the seconds from pressing OK to the last progress
// report ("busy_seconds"): the command's own time, without Wine's start-up or the auto-pilot's waits.
// --child hands the plug-in a child window of the host's main window (a panel) instead of the main
// window; --disabled disables the window handed over and its top-level window before the call.
// After the call the host prints whether both take input.
// With --gaps a thread posts a message to the host window every 10 ms, and the host prints the
// longest time from pressing OK to the return of Execute during which none of them was handled
// ("longest_gap_ms"): how long the host's window went without its messages.
#include <windows.h>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "HostLibrary.h"

namespace {

int Usage()
{
    std::fprintf(stderr,
                 "usage: pdlhost info LIB\n"
                 "       pdlhost about LIB N\n"
                 "       pdlhost split LIB FILE TARGETDIR [--auto [SIZE]] [--child] [--disabled] [--gaps]\n"
                 "       pdlhost combine LIB CRCFILE TARGETDIR [--auto] [--child] [--disabled] [--gaps]\n");
    return 2;
}

// Loads the library through the host's walk; says on stderr why it cannot be used.
bool Load(THostLibrary& p, const char* path)
{
    switch (p.Load(path)) {
    case THostLibrary::NotLoaded:
        std::fprintf(stderr, "pdlhost: cannot load %s (error %lu)\n", path, p.LoadError());
        return false;
    case THostLibrary::NoInitPlugInLib:
        std::fprintf(stderr, "pdlhost: %s exports no InitPlugInLib\n", path);
        return false;
    case THostLibrary::Loaded:
        break;
    }
    return p.Lib().PlugInInfoProc != nullptr;
}

int RunInfo(const char* path)
{
    THostLibrary p;
    if (!Load(p, path)) return 1;
    const TLibInfo& lib = p.Lib();
    std::printf("library   %s\n", lib.LibName);
    std::printf("version   %d.%d\n", lib.LibVersionMajor, lib.LibVersionMinor);
    std::printf("copyright %s\n", lib.LibCopyright);
    std::printf("params    %d %d  flags 0x%X\n", lib.LibParam1, lib.LibParam2, lib.LibFlags);
    for (int32_t index = 1; index <= 3; ++index) {
        TInfo info{};
        const int32_t r = lib.PlugInInfoProc(index, &info);
        if (r != 3) {
            std::printf("plug-in %d: none (result %d)\n", index, r);
            continue;
        }
        std::printf("plug-in %d: %s\n", index, info.PlugInName);
        std::printf("  description %s\n", info.PlugInDescription);
        std::printf("  command     %s\n", info.CaptionArea);
        std::printf("  params      %d %d  flags 0x%X\n", info.PlugInParam1, info.PlugInParam2, info.PlugInFlags);
        std::printf("  functions  ");
        for (int32_t code = 1; code <= 17; ++code)
            if (info.FunctionProc(code)) std::printf(" %d%s", code, code == 2 ? "(About)" : code == 4 ? "(Execute)" : "");
        std::printf("\n");
    }
    return 0;
}

long long Ticks()
{
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return t.QuadPart;
}

// Performance-counter ticks when the auto-pilot pressed OK and at the latest progress report.
std::atomic<long long> gOkPressedAt{0};
std::atomic<long long> gLastReportAt{0};
std::atomic<int> gLastPercent{-1};
std::atomic<int> gReports{0};

// --gaps: the message that a ticker thread posts every 10 ms, and what the host window saw of it.
const UINT GapTickMessage = WM_APP + 0x47;
struct TGaps {
    long long lastHandled = 0;  // ticks when the window last handled a tick (or OK was pressed)
    long long longest = 0;
    int percentBefore = -1, percentAfter = -1;  // the progress shown at either end of the longest
    int reportsBefore = 0, reportsAfter = 0;    // and the number of progress reports made by then
    int handled = 0;
    int percentAtLast = -1, reportsAtLast = 0;

    // Counts the time since the last handled tick as a gap ending now.
    void Mark(long long now)
    {
        const long long ok = gOkPressedAt;
        if (ok == 0 || now < ok) return;  // only the command's own time counts
        const long long from = lastHandled > ok ? lastHandled : ok;
        if (now - from > longest) {
            longest = now - from;
            percentBefore = percentAtLast;
            percentAfter = gLastPercent;
            reportsBefore = reportsAtLast;
            reportsAfter = gReports;
        }
        lastHandled = now;
        percentAtLast = gLastPercent;
        reportsAtLast = gReports;
    }
};
TGaps gGaps;

struct TGapTicker {
    HWND window = nullptr;
    std::atomic<bool> stop{false};
    HANDLE thread = nullptr;
};

DWORD WINAPI GapTickerThread(LPVOID arg)
{
    auto* ticker = static_cast<TGapTicker*>(arg);
    while (!ticker->stop) {
        PostMessageA(ticker->window, GapTickMessage, 0, 0);
        Sleep(10);
    }
    return 0;
}

// The host's main window: an ordinary top-level window that the plug-in's dialogs belong to.
LRESULT CALLBACK HostWndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp)
{
    if (msg == WM_CLOSE) return 0;  // the host closes when its command ends, not before
    if (msg == GapTickMessage) {
        ++gGaps.handled;
        gGaps.Mark(Ticks());
        return 0;
    }
    return DefWindowProcA(hwnd, msg, wp, lp);
}

class THostWindow {
public:
    THostWindow()
    {
        WNDCLASSA wc{};
        wc.lpfnWndProc = HostWndProc;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_APPWORKSPACE + 1);
        wc.lpszClassName = "TrellisanHostWindow";
        wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
        RegisterClassA(&wc);
        hwnd_ = CreateWindowExA(0, wc.lpszClassName, "Ferncove Trellisan (pdlhost)", WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                                20, 20, 640, 420, nullptr, nullptr, wc.hInstance, nullptr);
    }
    ~THostWindow()
    {
        if (hwnd_) DestroyWindow(hwnd_);
    }
    HWND Get() const { return hwnd_; }

private:
    HWND hwnd_ = nullptr;
};

int RunAbout(const char* path, int32_t index)
{
    THostLibrary p;
    if (!Load(p, path)) return 1;
    TFunctionProc functions = p.Functions(index);
    if (!functions) {
        std::fprintf(stderr, "pdlhost: no plug-in %d\n", index);
        return 1;
    }
    auto about = reinterpret_cast<TAboutProc>(functions(THostLibrary::FunctionAbout));
    if (!about) return 1;
    THostWindow host;
    about(0, host.Get());
    return 0;
}

// ------------------------------------------------------------------ progress and cancel
std::atomic<bool> gStopRequested{false};
// On a console the bar is redrawn in place; into a file or pipe it is written as a line every
// quarter, so a log stays readable.
bool gConsoleOut = false;
int gLastLogged = -1;

BOOL WINAPI OnConsoleCtrl(DWORD type)
{
    if (type == CTRL_C_EVENT || type == CTRL_BREAK_EVENT) {
        gStopRequested = true;
        return TRUE;
    }
    return FALSE;
}

void __stdcall ConsoleProgress(int32_t percent, const char* status, const char* fileName, const char*,
                               const char*, uint8_t* cancel)
{
    ++gReports;
    gLastReportAt = Ticks();
    gLastPercent = percent;
    const int shown = percent < 0 ? 0 : percent > 100 ? 100 : percent;
    char bar[41];
    std::memset(bar, '.', 40);
    std::memset(bar, '#', shown * 40 / 100);
    bar[40] = 0;
    if (gConsoleOut) {
        std::printf("\r[%s] %3d%% %s %s", bar, percent, status ? status : "", fileName ? fileName : "");
    } else if (shown / 25 != gLastLogged / 25 || shown == 100) {
        if (shown != gLastLogged) std::printf("[%s] %3d%% %s %s\n", bar, percent, status ? status : "", fileName ? fileName : "");
        gLastLogged = shown;
    }
    std::fflush(stdout);
    if (gStopRequested && cancel) *cancel = 1;
}

// ------------------------------------------------------------------ --auto: the host answers dialogs
struct TAutoPilot {
    std::string size;             // text for the piece-size box, empty keeps the preset
    std::atomic<bool> stop{false};
    std::atomic<bool> succeeded{false};
    std::atomic<int> errors{0};
    HANDLE thread = nullptr;
};

struct TChildSearch {
    const char* cls;
    const char* text;
    HWND found;
};

BOOL CALLBACK FindChild(HWND child, LPARAM lp)
{
    auto* s = reinterpret_cast<TChildSearch*>(lp);
    char cls[64] = {}, text[256] = {};
    GetClassNameA(child, cls, sizeof cls);
    GetWindowTextA(child, text, sizeof text);
    if (lstrcmpiA(cls, s->cls) == 0 && (!s->text || std::strcmp(text, s->text) == 0)) {
        s->found = child;
        return FALSE;
    }
    return TRUE;
}

HWND Child(HWND parent, const char* cls, const char* text = nullptr)
{
    TChildSearch s{cls, text, nullptr};
    EnumChildWindows(parent, FindChild, reinterpret_cast<LPARAM>(&s));
    return s.found;
}

BOOL CALLBACK CollectDialogs(HWND hwnd, LPARAM lp)
{
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    char cls[16] = {};
    GetClassNameA(hwnd, cls, sizeof cls);
    if (pid == GetCurrentProcessId() && std::strcmp(cls, "#32770") == 0 && IsWindowVisible(hwnd))
        reinterpret_cast<std::vector<HWND>*>(lp)->push_back(hwnd);
    return TRUE;
}

DWORD WINAPI AutoPilotThread(LPVOID arg)
{
    auto* pilot = static_cast<TAutoPilot*>(arg);
    std::vector<HWND> handled;
    HWND command = nullptr;  // the command's own dialog, once it showed
    while (!pilot->stop) {
        std::vector<HWND> dialogs;
        EnumWindows(CollectDialogs, reinterpret_cast<LPARAM>(&dialogs));
        for (HWND dlg : dialogs) {
            bool seen = false;
            for (HWND h : handled) seen = seen || h == dlg;
            if (seen) continue;
            Sleep(100);  // let the dialog finish showing
            handled.push_back(dlg);
            char caption[256] = {};
            GetWindowTextA(dlg, caption, sizeof caption);
            if (HWND text = GetDlgItem(dlg, 0xFFFF)) {  // a message box: print and answer it
                char msg[1024] = {};
                GetWindowTextA(text, msg, sizeof msg);
                std::printf("\n[%s] %s\n", caption, msg);
                std::fflush(stdout);
                // Success is a verified result: the checksum file's, or that of a list every
                // piece matched. A join that nothing confirmed is no success.
                if (std::strstr(msg, "succefully") || std::strstr(msg, ". Verified: every piece matches "))
                    pilot->succeeded = true;
                else ++pilot->errors;
                PostMessageA(dlg, WM_COMMAND, IDOK, 0);
                // A validation message leaves the command's dialog up for another try, which
                // nobody here would make: close it, so that the command ends as a user's Cancel.
                if (!pilot->succeeded && command) {
                    Sleep(300);
                    if (IsWindow(command) && IsWindowVisible(command)) {
                        std::printf("[%s] dialog still up; pressing Cancel\n", caption);
                        std::fflush(stdout);
                        PostMessageA(command, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
                    }
                }
                continue;
            }
            // The command's dialog: optionally type the size, then press OK.
            command = dlg;
            if (!pilot->size.empty()) {
                if (HWND combo = Child(dlg, "ComboBox"))
                    SendMessageTimeoutA(combo, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(pilot->size.c_str()),
                                        SMTO_BLOCK, 2000, nullptr);
            }
            std::printf("[%s] dialog up; pressing OK\n", caption);
            std::fflush(stdout);
            if (HWND ok = Child(dlg, "Button", "OK")) {
                if (gOkPressedAt == 0) gOkPressedAt = Ticks();
                PostMessageA(dlg, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(ok), BN_CLICKED), reinterpret_cast<LPARAM>(ok));
            }
        }
        Sleep(50);
    }
    return 0;
}

// How the host hands over its window: a panel inside the main window or the main window itself,
// and whether it disabled them before the call.
struct THostSetup {
    bool child = false;
    bool disabled = false;
    bool gaps = false;
};

int RunCommand(const char* path, int32_t index, const char* file, const char* target, bool autoPilot,
               const std::string& size, const THostSetup& setup)
{
    THostLibrary p;
    if (!Load(p, path)) return 1;
    const TExecuteProc execute = p.Execute(index);
    if (!execute) {
        std::fprintf(stderr, "pdlhost: plug-in %d has no Execute entry\n", index);
        return 1;
    }
    SetConsoleCtrlHandler(OnConsoleCtrl, TRUE);
    gConsoleOut = GetFileType(GetStdHandle(STD_OUTPUT_HANDLE)) == FILE_TYPE_CHAR;
    THostWindow host;
    HWND window = host.Get();
    if (setup.child)
        window = CreateWindowExA(0, "TrellisanHostWindow", "panel", WS_CHILD | WS_VISIBLE, 10, 10, 300, 200, host.Get(),
                                 nullptr, GetModuleHandleA(nullptr), nullptr);
    if (setup.disabled) {
        EnableWindow(host.Get(), FALSE);
        EnableWindow(window, FALSE);
    }
    TAutoPilot pilot;
    pilot.size = size;
    if (autoPilot) pilot.thread = CreateThread(nullptr, 0, AutoPilotThread, &pilot, 0, nullptr);
    TGapTicker ticker;
    ticker.window = host.Get();
    if (setup.gaps) ticker.thread = CreateThread(nullptr, 0, GapTickerThread, &ticker, 0, nullptr);
    std::printf("%s: %s -> %s\n", index == 1 ? "split" : "combine", file, target);
    std::fflush(stdout);
    execute(0, window, 0, 0, 0, target, file, 0, ConsoleProgress);
    const long long returnedAt = Ticks();
    if (ticker.thread) {
        gGaps.Mark(returnedAt);  // the stretch from the last handled tick to the return counts too
        ticker.stop = true;
        WaitForSingleObject(ticker.thread, INFINITE);
        CloseHandle(ticker.thread);
    }
    std::printf("\n%d progress reports\n", gReports.load());
    std::printf("host window %s, top-level window %s\n", IsWindowEnabled(window) ? "enabled" : "disabled",
                IsWindowEnabled(host.Get()) ? "enabled" : "disabled");
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    const double perSecond = static_cast<double>(f.QuadPart);
    if (gOkPressedAt != 0 && gLastReportAt > gOkPressedAt)
        std::printf("busy_seconds %.3f\n", static_cast<double>(gLastReportAt - gOkPressedAt) / perSecond);
    if (ticker.thread && gOkPressedAt != 0) {
        std::printf("longest_gap_ms %.0f\n", static_cast<double>(gGaps.longest) * 1000.0 / perSecond);
        std::printf("longest_gap_percent %d %d\n", gGaps.percentBefore, gGaps.percentAfter);
        std::printf("longest_gap_reports %d %d\n", gGaps.reportsBefore, gGaps.reportsAfter);
        std::printf("gap_ticks_handled %d\n", gGaps.handled);
    }
    if (pilot.thread) {
        Sleep(200);
        pilot.stop = true;
        WaitForSingleObject(pilot.thread, INFINITE);
        CloseHandle(pilot.thread);
        if (!pilot.succeeded) {
            std::printf("command did not report success\n");
            return 1;
        }
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 3) return Usage();
    const std::string verb = argv[1];
    if (verb == "info") return RunInfo(argv[2]);
    if (verb == "about" && argc >= 4) return RunAbout(argv[2], std::atoi(argv[3]));
    if ((verb == "split" || verb == "combine") && argc >= 5) {
        bool autoPilot = false;
        std::string size;
        THostSetup setup;
        for (int i = 5; i < argc; ++i) {
            if (std::strcmp(argv[i], "--child") == 0) setup.child = true;
            if (std::strcmp(argv[i], "--disabled") == 0) setup.disabled = true;
            if (std::strcmp(argv[i], "--gaps") == 0) setup.gaps = true;
            if (std::strcmp(argv[i], "--auto") == 0) {
                autoPilot = true;
                // Any next word but an option is the size, negative ones included ("-1" is a size
                // the dialog must refuse, not an option).
                if (i + 1 < argc && std::strncmp(argv[i + 1], "--", 2) != 0) size = argv[++i];
            }
        }
        return RunCommand(argv[2], verb == "split" ? 1 : 2, argv[3], argv[4], autoPilot, size, setup);
    }
    return Usage();
}
