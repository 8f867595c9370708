// The host's side of the plug-in interface: how a file manager sees a plug-in library. Written
// from the host's point of view on purpose, apart from the library's own headers.
#pragma once
#include <windows.h>

#include <cstdint>

#pragma pack(push, 4)
struct TInfo;
typedef int32_t(__stdcall* TInfoProc)(int32_t Index, TInfo* Info);
typedef void*(__stdcall* TFunctionProc)(int32_t Code);
typedef int32_t(__stdcall* TAboutProc)(uint32_t Unused, HWND HostWindow);
typedef void(__stdcall* TProgressProc)(int32_t Percent, const char* Status, const char* FileName,
                                       const char* SourceDir, const char* TargetDir, uint8_t* Cancel);
typedef int32_t(__stdcall* TExecuteProc)(uint32_t, HWND HostWindow, uint32_t, uint32_t, uint32_t,
                                         const char* TargetDir, const char* FileName, uint32_t,
                                         TProgressProc Progress);

struct TLibInfo {
    uint32_t Host;
    char LibName[261];
    int32_t LibVersionMajor, LibVersionMinor, LibParam1;
    char LibCopyright[524];
    int32_t LibParam2;
    uint32_t LibFlags;
    TInfoProc PlugInInfoProc;
    uint32_t LibReserved1, LibReserved2;
};

struct TInfo {
    uint32_t Host;
    char PlugInName[261];
    char PlugInDescription[261];
    int32_t PlugInParam1;
    char CaptionArea[4 * 261];
    int32_t PlugInParam2;
    uint32_t PlugInFlags;
    uint32_t Host2[2];
    TFunctionProc FunctionProc;
};
#pragma pack(pop)

#if defined(__i386__)
static_assert(sizeof(TLibInfo) == 824 && sizeof(TInfo) == 1596, "host record sizes");
// The export takes the record's address in EAX and removes nothing from the stack.
typedef void (*TInitPlugInLibProc)(TLibInfo*);
inline void CallInitPlugInLib(TInitPlugInLibProc init, TLibInfo* info)
{
    __asm__ volatile("call *%1" : "+a"(info) : "r"(init) : "ecx", "edx", "memory", "cc");
}
#else
typedef void (*TInitPlugInLibProc)(TLibInfo*);
inline void CallInitPlugInLib(TInitPlugInLibProc init, TLibInfo* info) { init(info); }
#endif
