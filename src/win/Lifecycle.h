// The library's modules in load order: initialised at process attach, finalised at process detach
// in exactly the reverse order, each finalised only if its initialisation ran.
#pragma once
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

bool ModuleInitialized(int index);
const char* ModuleName(int index);
// Called with '+' after each initialisation and '-' after each finalisation, in the order they
// run; null (the default) for none. The library itself keeps no record of them.
using TLifecycleObserver = void (*)(char sign, int index);
TLifecycleObserver SetLifecycleObserver(TLifecycleObserver observer);
