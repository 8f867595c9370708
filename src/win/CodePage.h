// The ANSI code page at load and unload: the path rules of the core read text in the system's ANSI
// code page, and only this room can ask the system which bytes start a two-byte character there.
#pragma once

// Hands the ANSI code page's lead bytes to the core.
void InitializeCodePage();
// Back to one character per byte.
void FinalizeCodePage(bool processEnding);
