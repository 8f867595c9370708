// Names of the files of one split: the pieces .001, .002, ... .999, .1000 and the .crc descriptor,
// each the base path with its extension replaced (ChangeFileExt, PathText.h).
#pragma once
#include <cstdint>
#include <string>

// Piece n (from 1): at least three digits, .001 ... .999, then .1000 and up.
std::string PieceFileName(const std::string& base, uint32_t n);
// The checksum descriptor's path for a base path.
std::string DescriptorFileName(const std::string& base);
