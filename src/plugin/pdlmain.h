// The library's entries as the host reaches them: the export, the library callback, the
// function tables, the About and Execute entries.
#pragma once
#include "PlugIntf.h"

extern "C" void ZANDREL_REGISTER1 InitPlugInLib(TPlugInLibInfo* Info);

int32_t ZANDREL_STDCALL GetPlugInInfo(int32_t Index, TPlugInInfo* Info);
void FillSplitInfo(TPlugInInfo* Info);
void FillCombineInfo(TPlugInInfo* Info);
void* ZANDREL_STDCALL GetSplitFunction(int32_t Code);
void* ZANDREL_STDCALL GetCombineFunction(int32_t Code);
int32_t ZANDREL_STDCALL SplitAbout(uint32_t Unused, void* HostWindow);
int32_t ZANDREL_STDCALL CombineAbout(uint32_t Unused, void* HostWindow);
int32_t ZANDREL_STDCALL SplitExecute(uint32_t Unused1, void* HostWindow, uint32_t Unused3,
                                     uint32_t Unused4, uint32_t Unused5, const char* TargetDir,
                                     const char* FileName, uint32_t Unused8,
                                     TPlugInProgressProc Progress);
int32_t ZANDREL_STDCALL CombineExecute(uint32_t Unused1, void* HostWindow, uint32_t Unused3,
                                       uint32_t Unused4, uint32_t Unused5, const char* TargetDir,
                                       const char* FileName, uint32_t Unused8,
                                       TPlugInProgressProc Progress);
