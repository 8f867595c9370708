// The loader's notifications: module state is set up at process attach and torn down at
// process detach, in reverse order. Nothing may leave this function as an exception.
#include <windows.h>

#include "App.h"
#include "LibraryModules.h"
#include "Lifecycle.h"

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved)
{
    try {
        if (reason == DLL_PROCESS_ATTACH) {
            App::SetInstance(instance);
            DisableThreadLibraryCalls(instance);
            InitializeModules(ModuleTable(LibraryModules));
        } else if (reason == DLL_PROCESS_DETACH) {
            // A non-null reserved pointer: the process is exiting, not unloading the library.
            FinalizeModules(reserved != nullptr);
        }
    } catch (...) {
    }
    return TRUE;
}
