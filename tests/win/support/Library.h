// Loads the real zandrel.pdl that lies beside the test program, and initialises it, the way the
// host does (THostLibrary): About(index) and Execute(index) are the entries the host would call.
#pragma once
#include <windows.h>

#include <string>

#include "HostLibrary.h"

std::string ProgramDir();

class TLoadedLibrary : public THostLibrary {
public:
    explicit TLoadedLibrary(const std::string& name = "zandrel.pdl");
    HMODULE Get() const { return Module(); }
    const void* Proc(const char* name) const;
};
