#include "Library.h"

std::string ProgramDir()
{
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string s(path);
    return s.substr(0, s.find_last_of('\\'));
}

TLoadedLibrary::TLoadedLibrary(const std::string& name) { Load((ProgramDir() + "\\" + name).c_str()); }

const void* TLoadedLibrary::Proc(const char* name) const
{
    return Get() ? reinterpret_cast<const void*>(GetProcAddress(Get(), name)) : nullptr;
}
