// The loader's notifications: module state is set up at process attach and torn down at
// process detach, in reverse order.
#include <windows.h>

#include "App.h"

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH) {
        App::SetInstance(instance);
        DisableThreadLibraryCalls(instance);
    }
    return TRUE;
}
