// Names of the files of one split: the pieces .001, .002, ... .999, .1000 and the .crc descriptor.
// A path's name starts after its last "\" or ":"; its extension is the text from the last "."
// that stands after that separator. These characters are read in the ANSI code page (CharText.h):
// the second byte of a two-byte character is never one of them.
#pragma once
#include <cstdint>
#include <string>

std::string ExtractFileName(const std::string& path);
std::string ExtractFileExt(const std::string& path);
// Replaces the last extension (or appends when there is none); ext begins with ".".
std::string ChangeFileExt(const std::string& path, const std::string& ext);
// The text before the last "\" or ":", keeping the separator when it is ":", when the "\"
// follows ":" or "\", or when it begins the path: C:\a.txt -> C:\, C:\dir\a.txt -> C:\dir.
std::string ExtractFileDir(const std::string& path);
// Piece n (from 1): at least three digits, .001 ... .999, then .1000 and up.
std::string PieceFileName(const std::string& base, uint32_t n);
// The checksum descriptor's path for a base path.
std::string DescriptorFileName(const std::string& base);
