#include "Lifecycle.h"

namespace {

TModuleTable gTable = {nullptr, 0};
bool gInitialized[MaxModules] = {};
TLifecycleObserver gObserver = nullptr;

bool AnyInitialized()
{
    for (bool initialized : gInitialized)
        if (initialized) return true;
    return false;
}

void Notify(char sign, const TModule& module) noexcept
{
    try {
        if (gObserver) gObserver(sign, module);
    } catch (...) {
    }
}

}  // namespace

void InitializeModules(const TModuleTable& table)
{
    if (AnyInitialized() && table.modules != gTable.modules) return;
    if (table.count < 0 || table.count > MaxModules) return;
    gTable = table;
    for (int i = 0; i < gTable.count; ++i) {
        if (gInitialized[i]) continue;
        const TModule& module = gTable.modules[i];
        try {
            if (module.initialize) module.initialize();
            gInitialized[i] = true;
            Notify('+', module);
        } catch (...) {
            // The load goes on; this module is simply not torn down.
        }
    }
}

void FinalizeModules(bool processEnding)
{
    for (int i = gTable.count - 1; i >= 0; --i) {
        if (!gInitialized[i]) continue;
        gInitialized[i] = false;
        const TModule& module = gTable.modules[i];
        try {
            if (module.finalize) module.finalize(processEnding);
        } catch (...) {
        }
        Notify('-', module);
    }
}

bool ModuleInitialized(int index) { return index >= 0 && index < gTable.count && gInitialized[index]; }

TLifecycleObserver SetLifecycleObserver(TLifecycleObserver observer)
{
    const TLifecycleObserver old = gObserver;
    gObserver = observer;
    return old;
}
