// Piece-size text ("1.44 Mb (3.5")", "720 Kb (3.5")", "100000", "100 bytes") to bytes.
#pragma once
#include <cstdint>
#include <string>

// 0 when the text is not a valid size. The number uses decimalSeparator (the locale's), is held in
// extended precision, rounded half to even, and the low 32 bits are returned as a signed value.
int32_t ParseTargetSize(const std::string& text, char decimalSeparator);
