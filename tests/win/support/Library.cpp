#include "Library.h"

std::string ProgramDir()
{
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string s(path);
    return s.substr(0, s.find_last_of('\\'));
}

TLoadedLibrary::TLoadedLibrary(const std::string& name)
    : module_(LoadLibraryA((ProgramDir() + "\\" + name).c_str()))
{
}

TLoadedLibrary::~TLoadedLibrary()
{
    if (module_) FreeLibrary(module_);
}

const void* TLoadedLibrary::Proc(const char* name) const
{
    return module_ ? reinterpret_cast<const void*>(GetProcAddress(module_, name)) : nullptr;
}
