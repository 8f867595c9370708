// The library's entries. Nothing here may let a C++ exception reach the host: the host calls
// these through plain function pointers and knows nothing of our runtime.
#include "pdlmain.h"

#include <windows.h>

#include <cstring>
#include <exception>
#include <new>
#include <stdexcept>
#include <string>

#include "CombineDlg.h"
#include "HostTexts.h"
#include "HostWindowState.h"
#include "SplitDlg.h"
#include "Version.h"

namespace {

const char* const SplitAboutText = ZANDREL_SPLIT_ABOUT ZANDREL_COPYRIGHT;
const char* const CombineAboutText = ZANDREL_COMBINE_ABOUT ZANDREL_COPYRIGHT;

// Writes the text and one terminating zero; the bytes after it keep what the host put there.
// Every text written is a constant that fits its field with room to spare.
template <size_t N>
void PutText(char (&field)[N], const char* text)
{
    std::memcpy(field, text, std::strlen(text) + 1);
}

std::string HostText(const char* text) { return text ? std::string(text) : std::string(); }

// Delivers an error raised inside a command to the user, since it must not travel on to the host.
void ShowCommandError(HWND hostWindow, const char* text)
{
    MessageBoxA(hostWindow, text, hosttext::ErrorCaption, MB_OK | MB_ICONERROR);
}

template <typename Dialog>
int32_t RunCommand(Dialog dialog, void* hostWindow, const char* targetDir, const char* fileName,
                   TPlugInProgressProc progress) noexcept
{
    HWND host = static_cast<HWND>(hostWindow);
    // Made first, so that it ends last: the host's windows are given back as enabled as they
    // were after the error box below too.
    const App::THostEnabledScope hostState(host);
    try {
        const std::string target = HostText(targetDir);
        const std::string file = HostText(fileName);
        dialog(host, file, target, progress);
    } catch (const std::bad_alloc&) {
        // The runtime's own text would be a C++ type name.
        ShowCommandError(host, "Out of memory.");
    } catch (const std::runtime_error& e) {
        // The system's errors, each carrying the text the user is meant to read.
        try { ShowCommandError(host, e.what()); } catch (...) {}
    } catch (...) {
        // Anything else speaks in the runtime's terms (type or function names), not the user's.
        ShowCommandError(host, "Unexpected error.");
    }
    return 0;
}

}  // namespace

extern "C" void ZANDREL_REGISTER1 InitPlugInLib(TPlugInLibInfo* Info)
{
    Info->LibVersionMajor = 1;
    Info->LibVersionMinor = 0;
    Info->LibParam1 = 2;
    PutText(Info->LibName, ZANDREL_LIB_NAME);
    PutText(Info->LibCopyright, ZANDREL_COPYRIGHT);
    Info->LibParam2 = 2;
    Info->LibFlags = 0x18000;
    Info->PlugInInfoProc = &GetPlugInInfo;
    Info->LibReserved1 = 0;
    Info->LibReserved2 = 0;
}

int32_t ZANDREL_STDCALL GetPlugInInfo(int32_t Index, TPlugInInfo* Info)
{
    if (static_cast<uint32_t>(Index) > 2) return 2;
    if (Index == 1) { FillSplitInfo(Info); return 3; }
    if (Index == 2) { FillCombineInfo(Info); return 3; }
    return 0;  // index 0 names no plug-in and writes nothing
}

namespace {
void FillInfo(TPlugInInfo* Info, const char* name, const char* description, const char* caption,
              TGetPlugInFunctionProc functions)
{
    PutText(Info->PlugInName, name);
    PutText(Info->PlugInDescription, description);
    Info->PlugInParam1 = 2;
    std::memcpy(Info->CaptionArea, caption, std::strlen(caption) + 1);
    Info->PlugInParam2 = 1;
    Info->PlugInFlags = 0x10809;
    Info->FunctionProc = functions;
}
}  // namespace

void FillSplitInfo(TPlugInInfo* Info)
{
    FillInfo(Info, hosttext::SplitName, hosttext::SplitDescription, hosttext::SplitCaption, &GetSplitFunction);
}

void FillCombineInfo(TPlugInInfo* Info)
{
    FillInfo(Info, hosttext::CombineName, hosttext::CombineDescription, hosttext::CombineCaption,
             &GetCombineFunction);
}

void* ZANDREL_STDCALL GetSplitFunction(int32_t Code)
{
    switch (Code) {
    case PlugInFunctionAbout: return reinterpret_cast<void*>(&SplitAbout);
    case PlugInFunctionExecute: return reinterpret_cast<void*>(&SplitExecute);
    default: return nullptr;
    }
}

void* ZANDREL_STDCALL GetCombineFunction(int32_t Code)
{
    switch (Code) {
    case PlugInFunctionAbout: return reinterpret_cast<void*>(&CombineAbout);
    case PlugInFunctionExecute: return reinterpret_cast<void*>(&CombineExecute);
    default: return nullptr;
    }
}

int32_t ZANDREL_STDCALL SplitAbout(uint32_t, void* HostWindow)
{
    MessageBoxA(static_cast<HWND>(HostWindow), SplitAboutText, hosttext::AboutCaption, MB_OK | MB_ICONINFORMATION);
    return 0;
}

int32_t ZANDREL_STDCALL CombineAbout(uint32_t, void* HostWindow)
{
    MessageBoxA(static_cast<HWND>(HostWindow), CombineAboutText, hosttext::AboutCaption, MB_OK | MB_ICONINFORMATION);
    return 0;
}

int32_t ZANDREL_STDCALL SplitExecute(uint32_t, void* HostWindow, uint32_t, uint32_t, uint32_t,
                                     const char* TargetDir, const char* FileName, uint32_t,
                                     TPlugInProgressProc Progress)
{
    return RunCommand(&ExecuteSplitDialog, HostWindow, TargetDir, FileName, Progress);
}

int32_t ZANDREL_STDCALL CombineExecute(uint32_t, void* HostWindow, uint32_t, uint32_t, uint32_t,
                                       const char* TargetDir, const char* FileName, uint32_t,
                                       TPlugInProgressProc Progress)
{
    return RunCommand(&ExecuteCombineDialog, HostWindow, TargetDir, FileName, Progress);
}
