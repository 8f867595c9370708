// OLE on the loading thread, the shell's clipboard formats and the shell's task allocator:
// set up when the library loads, torn down when it unloads. Kept for what a host observes: OLE
// initialised on its loading thread and the clipboard formats registered while the library is loaded.
#pragma once
#include <windows.h>
#include <objidl.h>

// Registered clipboard format identifiers (0 when a registration failed).
extern UINT CF_FILECONTENTS;         // "FileContents"
extern UINT CF_FILEGROUPDESCRIPTOR;  // "FileGroupDescriptor"
extern UINT CF_IDLIST;               // "Shell IDList Array"
extern UINT CF_PREFERREDDROPEFFECT;  // "Preferred DropEffect"
extern UINT CF_URL;                  // "UniformResourceLocator"
extern UINT CF_FILENAMEMAP;          // "FileNameMap"
extern UINT CF_FILENAMEMAPW;         // "FileNameMapW"

// The shell's task allocator; null when it could not be obtained or after unload.
extern IMalloc* ShellMalloc;

constexpr int DropSourceFormatCount = 7;
// The format names in the order in which they are registered.
extern const char* const DropSourceFormatNames[DropSourceFormatCount];

// OleInitialize (remembering whether it succeeded), the seven formats in order, SHGetMalloc.
void InitializeDropSource();
// OleUninitialize when the load-time call succeeded, then one release of ShellMalloc. When the
// process is ending, no other library is called (it may be gone already); state is reset only.
void FinalizeDropSource(bool processEnding = false);

// For tests: the seven identifiers in registration order, and whether OLE is held by this module.
const UINT* DropSourceFormats();
bool DropSourceOleInitialized();
