#include "CodePage.h"

#include <windows.h>

#include "CharText.h"

void InitializeCodePage()
{
    // The ANSI code page is fixed for the life of the process, so once at load is enough.
    TLeadBytes lead{};
    for (size_t b = 0; b < lead.size(); ++b) lead[b] = IsDBCSLeadByteEx(CP_ACP, static_cast<BYTE>(b)) != FALSE;
    SetLeadBytes(lead);
}

void FinalizeCodePage(bool) { ClearLeadBytes(); }
