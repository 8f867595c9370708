// A plug-in library reached the way the host reaches it: LoadLibrary, InitPlugInLib, the library
// callback for a plug-in's descriptor, the descriptor's function table, and the entries that the
// table answers for About (2) and Execute (4). pdlhost and the test programs both walk it here.
#pragma once
#include <windows.h>

#include <cstdint>

#include "HostIntf.h"

class THostLibrary {
public:
    enum TLoadResult { Loaded, NotLoaded, NoInitPlugInLib };
    static constexpr int32_t FunctionAbout = 2;
    static constexpr int32_t FunctionExecute = 4;

    THostLibrary() = default;
    ~THostLibrary()
    {
        if (module_) FreeLibrary(module_);
    }
    THostLibrary(const THostLibrary&) = delete;
    THostLibrary& operator=(const THostLibrary&) = delete;

    // Loads the library and calls InitPlugInLib once. After NotLoaded, LoadError() holds the
    // system's error code.
    TLoadResult Load(const char* path)
    {
        module_ = LoadLibraryA(path);
        if (!module_) {
            loadError_ = GetLastError();
            return NotLoaded;
        }
        auto init = reinterpret_cast<TInitPlugInLibProc>(reinterpret_cast<void*>(GetProcAddress(module_, "InitPlugInLib")));
        if (!init) return NoInitPlugInLib;
        CallInitPlugInLib(init, &lib_);
        return Loaded;
    }
    HMODULE Module() const { return module_; }
    DWORD LoadError() const { return loadError_; }
    // What InitPlugInLib wrote.
    const TLibInfo& Lib() const { return lib_; }

    // Plug-in index's function table (1 split, 2 combine), or null when the library callback does
    // not describe that plug-in (any result but 3).
    TFunctionProc Functions(int32_t index)
    {
        if (index < 1 || index > 2 || !lib_.PlugInInfoProc) return nullptr;
        if (lib_.PlugInInfoProc(index, &infos_[index]) != 3) return nullptr;
        return infos_[index].FunctionProc;
    }
    TAboutProc About(int32_t index) { return reinterpret_cast<TAboutProc>(Entry(index, FunctionAbout)); }
    TExecuteProc Execute(int32_t index) { return reinterpret_cast<TExecuteProc>(Entry(index, FunctionExecute)); }

private:
    void* Entry(int32_t index, int32_t code)
    {
        const TFunctionProc functions = Functions(index);
        return functions ? functions(code) : nullptr;
    }

    HMODULE module_ = nullptr;
    DWORD loadError_ = 0;
    TLibInfo lib_{};
    TInfo infos_[3]{};
};
