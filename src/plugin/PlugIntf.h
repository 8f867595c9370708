// The host interface: records and procedure types shared with the Ferncove Trellisan host.
// Every offset and size here is part of the wire format between host and library.
#pragma once
#include <cstddef>
#include <cstdint>

#include "ProgressProc.h"

// InitPlugInLib, the one export, takes its argument in EAX and removes nothing from the stack:
// regparm(1) on a cdecl function. Only GCC and Clang can say that; under another compiler the
// export would read its argument from the stack and the host would hand it garbage.
#if !defined(__GNUC__)
#error "InitPlugInLib's register convention (its argument in EAX) needs GCC or Clang"
#endif
#if defined(__i386__)
#define ZANDREL_REGISTER1 __attribute__((regparm(1)))
#else
#define ZANDREL_REGISTER1
#endif

#pragma pack(push, 4)

// Library descriptor, filled by InitPlugInLib.
struct TPlugInLibInfo;
// Plug-in descriptor, filled by the library callback for indexes 1 and 2.
struct TPlugInInfo;

typedef int32_t(ZANDREL_STDCALL* TGetPlugInInfoProc)(int32_t Index, TPlugInInfo* Info);
typedef void*(ZANDREL_STDCALL* TGetPlugInFunctionProc)(int32_t Code);
typedef int32_t(ZANDREL_STDCALL* TPlugInAboutProc)(uint32_t Unused, void* HostWindow);

// Execute: nine 32-bit arguments, stdcall (36 bytes removed).
typedef int32_t(ZANDREL_STDCALL* TPlugInExecuteProc)(uint32_t Unused1, void* HostWindow,
                                                      uint32_t Unused3, uint32_t Unused4,
                                                      uint32_t Unused5, const char* TargetDir,
                                                      const char* FileName, uint32_t Unused8,
                                                      TPlugInProgressProc Progress);

constexpr size_t PlugInTextSize = 261;  // MAX_PATH characters plus the terminator

struct TPlugInLibInfo {
    uint32_t HostReserved;                 // the host's
    char LibName[PlugInTextSize];
    uint8_t Padding1[3];                   // not touched
    int32_t LibVersionMajor;
    int32_t LibVersionMinor;
    int32_t LibParam1;
    char LibCopyright[524];
    int32_t LibParam2;
    uint32_t LibFlags;
    TGetPlugInInfoProc PlugInInfoProc;
    uint32_t LibReserved1;
    uint32_t LibReserved2;
};

struct TPlugInInfo {
    uint32_t HostReserved;                 // the host's
    char PlugInName[PlugInTextSize];
    char PlugInDescription[PlugInTextSize];
    uint8_t Padding1[2];                   // not touched
    int32_t PlugInParam1;
    char CaptionArea[4 * PlugInTextSize];  // CommandCaption is the text at its start
    int32_t PlugInParam2;
    uint32_t PlugInFlags;
    uint32_t HostReserved2[2];             // the host's
    TGetPlugInFunctionProc FunctionProc;
};

#pragma pack(pop)

// The layout is fixed for the 32-bit host; on other targets only the text offsets hold.
static_assert(offsetof(TPlugInLibInfo, LibName) == 4, "LibName");
static_assert(offsetof(TPlugInLibInfo, LibVersionMajor) == 268, "LibVersionMajor");
static_assert(offsetof(TPlugInLibInfo, LibVersionMinor) == 272, "LibVersionMinor");
static_assert(offsetof(TPlugInLibInfo, LibParam1) == 276, "LibParam1");
static_assert(offsetof(TPlugInLibInfo, LibCopyright) == 280, "LibCopyright");
static_assert(offsetof(TPlugInLibInfo, LibParam2) == 804, "LibParam2");
static_assert(offsetof(TPlugInLibInfo, LibFlags) == 808, "LibFlags");
static_assert(offsetof(TPlugInInfo, PlugInName) == 4, "PlugInName");
static_assert(offsetof(TPlugInInfo, PlugInDescription) == 265, "PlugInDescription");
static_assert(offsetof(TPlugInInfo, PlugInParam1) == 528, "PlugInParam1");
static_assert(offsetof(TPlugInInfo, CaptionArea) == 532, "CaptionArea");
static_assert(offsetof(TPlugInInfo, PlugInParam2) == 1576, "PlugInParam2");
static_assert(offsetof(TPlugInInfo, PlugInFlags) == 1580, "PlugInFlags");
static_assert(offsetof(TPlugInInfo, HostReserved2) == 1584, "HostReserved2");
#if defined(__i386__)
static_assert(offsetof(TPlugInLibInfo, PlugInInfoProc) == 812, "PlugInInfoProc");
static_assert(offsetof(TPlugInLibInfo, LibReserved1) == 816, "LibReserved1");
static_assert(offsetof(TPlugInLibInfo, LibReserved2) == 820, "LibReserved2");
static_assert(sizeof(TPlugInLibInfo) == 824, "TPlugInLibInfo size");
static_assert(offsetof(TPlugInInfo, FunctionProc) == 1592, "FunctionProc");
static_assert(sizeof(TPlugInInfo) == 1596, "TPlugInInfo size");
static_assert(sizeof(TPlugInProgressProc) == 4, "a pointer is 4 bytes");
#endif

// The function codes that the host asks a plug-in's function table for.
constexpr int32_t PlugInFunctionAbout = 2;
constexpr int32_t PlugInFunctionExecute = 4;
