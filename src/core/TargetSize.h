// Piece-size text ("1.44 Mb (3.5")", "720 Kb (3.5")", "100000", "100 bytes") to bytes.
#pragma once
#include <cstdint>
#include <string>

// The piece size in bytes; 0 when the text is not a valid size. The number uses decimalSeparator
// (the locale's), is held in extended precision and rounded half to even; a result outside
// 1 .. 4,294,967,295 is 0.
uint32_t ParseTargetSize(const std::string& text, char decimalSeparator);
