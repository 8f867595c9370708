// The library's modules in load order: initialised at process attach, finalised at process detach
// in exactly the reverse order, each finalised only if its initialisation ran.
#pragma once
#include <string>
#include <vector>

enum TModuleIndex {
    mPrgConst, mNettools, mDropSource, mPath, mCRC32, mSplitFiles, mSplitDlg, mCombineDlg, mPdlmain,
    ModuleCount
};

// Runs each module's initialisation once; nothing is thrown (a module whose initialisation fails
// counts as not initialised and is skipped at unload).
void InitializeModules();
// processEnding: the process is exiting rather than unloading the library; other libraries may
// be gone already, so none is called.
void FinalizeModules(bool processEnding);

// For tests.
bool ModuleInitialized(int index);
const char* ModuleName(int index);
// "+Name" for every initialisation and "-Name" for every finalisation, in the order they ran.
const std::vector<std::string>& LifecycleTrace();
void ClearLifecycleTrace();
