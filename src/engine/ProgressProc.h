// The host's progress callback, as the engine calls it after every block.
#pragma once
#include <cstdint>

// The host's callbacks and the library's entries other than the export are stdcall on the 32-bit
// target; the x86-64 timing build has only one convention, so the word falls away there.
#if defined(__i386__)
#define ZANDREL_STDCALL __stdcall
#else
#define ZANDREL_STDCALL
#endif

// Six arguments, stdcall; the host stops an operation by writing a non-zero byte through Cancel.
typedef void(ZANDREL_STDCALL* TPlugInProgressProc)(int32_t Percent, const char* Status,
                                                    const char* FileName, const char* SourceDir,
                                                    const char* TargetDir, uint8_t* Cancel);
