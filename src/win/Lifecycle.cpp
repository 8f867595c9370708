#include "Lifecycle.h"

#include "CRC32Core.h"
#include "DropSource.h"
#include "Path.h"
#include "PrgConst.h"
#include "nettools.h"

namespace {

struct TModule {
    const char* name;
    void (*initialize)();
    void (*finalize)(bool processEnding);
};

void FinalizeNettoolsModule(bool) { FinalizeNettools(); }
void FinalizePrgConstModule(bool) { FinalizePrgConst(); }

// Only five modules hold state that needs work at load; the others keep their place in the order.
const TModule Modules[ModuleCount] = {
    {"PrgConst", &InitializePrgConst, &FinalizePrgConstModule},
    {"nettools", &InitializeNettools, &FinalizeNettoolsModule},
    {"DropSource", &InitializeDropSource, &FinalizeDropSource},
    {"Path", &InitializePath, &FinalizePath},
    {"CRC32", &BuildCRCTable, nullptr},
    {"SplitFiles", nullptr, nullptr},  // CancelFlag starts at zero
    {"SplitDlg", nullptr, nullptr},
    {"CombineDlg", nullptr, nullptr},
    {"pdlmain", nullptr, nullptr},
};

bool gInitialized[ModuleCount] = {};
TLifecycleObserver gObserver = nullptr;

void Notify(char sign, int index) noexcept
{
    try {
        if (gObserver) gObserver(sign, index);
    } catch (...) {
    }
}

}  // namespace

void InitializeModules()
{
    for (int i = 0; i < ModuleCount; ++i) {
        if (gInitialized[i]) continue;
        try {
            if (Modules[i].initialize) Modules[i].initialize();
            gInitialized[i] = true;
            Notify('+', i);
        } catch (...) {
            // The load goes on; this module is simply not torn down.
        }
    }
}

void FinalizeModules(bool processEnding)
{
    for (int i = ModuleCount - 1; i >= 0; --i) {
        if (!gInitialized[i]) continue;
        gInitialized[i] = false;
        try {
            if (Modules[i].finalize) Modules[i].finalize(processEnding);
        } catch (...) {
        }
        Notify('-', i);
    }
}

bool ModuleInitialized(int index) { return index >= 0 && index < ModuleCount && gInitialized[index]; }
const char* ModuleName(int index) { return index >= 0 && index < ModuleCount ? Modules[index].name : ""; }

TLifecycleObserver SetLifecycleObserver(TLifecycleObserver observer)
{
    const TLifecycleObserver old = gObserver;
    gObserver = observer;
    return old;
}
