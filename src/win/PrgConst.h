// The host's English interface texts, carried for the host. Nothing in this library reads them.
// Kept for what a host observes: the memory they take while the library is loaded, made and freed
// in the modules' load order.
#pragma once
#include <string>

constexpr int PrgConstCount = 492;

// Filled when the library loads, emptied when it unloads.
extern std::string PrgConstTexts[PrgConstCount];

void InitializePrgConst();
// Releases every text (each becomes the empty string).
void FinalizePrgConst();
