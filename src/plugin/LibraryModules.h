// The library's modules in load order. DllMain hands this table to the lifecycle, which sets the
// modules up in this order at load and tears them down in the reverse order at unload. Only five
// modules hold state that needs work; the others keep their place in the order.
#pragma once
#include "CRC32Core.h"
#include "CodePage.h"
#include "DropSource.h"
#include "Lifecycle.h"
#include "PrgConst.h"
#include "nettools.h"

inline void FinalizePrgConstModule(bool) { FinalizePrgConst(); }
inline void FinalizeNettoolsModule(bool) { FinalizeNettools(); }

inline constexpr TModule LibraryModules[] = {
    {"PrgConst", &InitializePrgConst, &FinalizePrgConstModule},
    {"nettools", &InitializeNettools, &FinalizeNettoolsModule},
    {"DropSource", &InitializeDropSource, &FinalizeDropSource},
    {"CodePage", &InitializeCodePage, &FinalizeCodePage},
    {"CRC32", &BuildCRCTable, nullptr},
    {"SplitFiles", nullptr, nullptr},  // CancelFlag starts at zero
    {"SplitDlg", nullptr, nullptr},
    {"CombineDlg", nullptr, nullptr},
    {"pdlmain", nullptr, nullptr},
};
