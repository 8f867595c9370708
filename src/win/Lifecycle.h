// Load and unload of the library's modules: at process attach each module's initialisation runs in
// the order of the table given, at process detach each finalisation runs in exactly the reverse
// order, and only for a module whose initialisation ran. Which modules there are, and in which
// order, belongs to the library's entry point, which hands its table in; this unit only runs it.
#pragma once

struct TModule {
    const char* name;
    void (*initialize)();                  // null: nothing to set up
    // processEnding: the process is exiting rather than unloading the library; other libraries
    // may be gone already, so none may be called. Null: nothing to tear down.
    void (*finalize)(bool processEnding);
};

// The most modules one table may hold.
constexpr int MaxModules = 32;

// A table of modules in load order.
struct TModuleTable {
    const TModule* modules;
    int count;
};

template <int N>
constexpr TModuleTable ModuleTable(const TModule (&modules)[N])
{
    static_assert(N <= MaxModules, "more modules than the lifecycle keeps");
    return TModuleTable{modules, N};
}

// Runs each module's initialisation once; nothing is thrown (a module whose initialisation fails
// counts as not initialised and is skipped at unload). The table is kept until every module is
// finalised again; a different table given meanwhile is ignored.
void InitializeModules(const TModuleTable& table);
// Finalises the modules of the table given at load, in reverse order.
void FinalizeModules(bool processEnding);

// Whether module `index` of the table given at load is initialised now.
bool ModuleInitialized(int index);
// Called with '+' after each initialisation and '-' after each finalisation, in the order they
// run; null (the default) for none. The library itself keeps no record of them.
using TLifecycleObserver = void (*)(char sign, const TModule& module);
TLifecycleObserver SetLifecycleObserver(TLifecycleObserver observer);
