#include "DropSource.h"

#include <shlobj.h>

UINT CF_FILECONTENTS = 0;
UINT CF_FILEGROUPDESCRIPTOR = 0;
UINT CF_IDLIST = 0;
UINT CF_PREFERREDDROPEFFECT = 0;
UINT CF_URL = 0;
UINT CF_FILENAMEMAP = 0;
UINT CF_FILENAMEMAPW = 0;

IMalloc* ShellMalloc = nullptr;

const char* const DropSourceFormatNames[DropSourceFormatCount] = {
    "FileContents", "FileGroupDescriptor", "Shell IDList Array", "Preferred DropEffect",
    "UniformResourceLocator", "FileNameMap", "FileNameMapW"};

namespace {

bool gOleInitialized = false;

UINT* const gFormatVariables[DropSourceFormatCount] = {&CF_FILECONTENTS, &CF_FILEGROUPDESCRIPTOR, &CF_IDLIST,
                                                       &CF_PREFERREDDROPEFFECT, &CF_URL, &CF_FILENAMEMAP,
                                                       &CF_FILENAMEMAPW};

}  // namespace

void InitializeDropSource()
{
    // S_FALSE (already initialised on this thread) counts too: it must be balanced as well.
    const HRESULT hr = OleInitialize(nullptr);
    gOleInitialized = hr == S_OK || hr == S_FALSE;
    for (int i = 0; i < DropSourceFormatCount; ++i) *gFormatVariables[i] = RegisterClipboardFormatA(DropSourceFormatNames[i]);
    IMalloc* malloc = nullptr;
    ShellMalloc = SUCCEEDED(SHGetMalloc(&malloc)) ? malloc : nullptr;
}

void FinalizeDropSource(bool processEnding)
{
    if (gOleInitialized) {
        gOleInitialized = false;
        if (!processEnding) OleUninitialize();
    }
    if (ShellMalloc != nullptr) {
        IMalloc* malloc = ShellMalloc;
        ShellMalloc = nullptr;
        if (!processEnding) malloc->Release();
    }
}

const UINT* DropSourceFormats()
{
    static UINT ids[DropSourceFormatCount];
    for (int i = 0; i < DropSourceFormatCount; ++i) ids[i] = *gFormatVariables[i];
    return ids;
}

bool DropSourceOleInitialized() { return gOleInitialized; }
