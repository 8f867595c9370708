// Loads the real zandrel.pdl that lies beside the test program, and initialises it, the way the
// host does (THostLibrary): About(index) and Execute(index) are the entries the host would call.
#pragma once
#include <windows.h>

#include <string>

#include "HostLibrary.h"

// The test program's directory, without a trailing backslash.
inline std::string ProgramDir()
{
    char path[MAX_PATH] = {};
    const std::string s(path, GetModuleFileNameA(nullptr, path, MAX_PATH));
    return s.substr(0, s.find_last_of('\\'));
}

class TLoadedLibrary : public THostLibrary {
public:
    explicit TLoadedLibrary(const std::string& name = "zandrel.pdl") { Load((ProgramDir() + "\\" + name).c_str()); }
    HMODULE Get() const { return Module(); }
    const void* Proc(const char* name) const
    {
        return Get() ? reinterpret_cast<const void*>(GetProcAddress(Get(), name)) : nullptr;
    }
};
