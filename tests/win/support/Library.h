// Loads the real zandrel.pdl that lies beside the test program.
#pragma once
#include <windows.h>

#include <string>

std::string ProgramDir();

class TLoadedLibrary {
public:
    explicit TLoadedLibrary(const std::string& name = "zandrel.pdl");
    ~TLoadedLibrary();
    TLoadedLibrary(const TLoadedLibrary&) = delete;
    TLoadedLibrary& operator=(const TLoadedLibrary&) = delete;
    HMODULE Get() const { return module_; }
    const void* Proc(const char* name) const;

private:
    HMODULE module_;
};
