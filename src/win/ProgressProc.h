// The host's progress callback, as the engine calls it after every block.
#pragma once
#include <cstdint>

#include "CallConv.h"

// Six arguments, stdcall; the host stops an operation by writing a non-zero byte through Cancel.
typedef void(ZANDREL_STDCALL* TPlugInProgressProc)(int32_t Percent, const char* Status,
                                                    const char* FileName, const char* SourceDir,
                                                    const char* TargetDir, uint8_t* Cancel);
