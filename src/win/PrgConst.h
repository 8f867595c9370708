// The host's English interface texts, carried for the host. Nothing in this library reads them.
#pragma once
#include <string>

constexpr int PrgConstCount = 492;

// Filled when the library loads, emptied when it unloads.
extern std::string PrgConstTexts[PrgConstCount];

void InitializePrgConst();
// Releases every text (each becomes the empty string).
void FinalizePrgConst();
