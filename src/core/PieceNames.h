// Names of the files of one split: the pieces .001, .002, ... .999, .1000 and the .crc descriptor,
// each the base path with its extension replaced (ChangeFileExt, PathText.h).
#pragma once
#include <cstdint>
#include <optional>
#include <string>

// Piece n (from 1): at least three digits, .001 ... .999, then .1000 and up.
std::string PieceFileName(const std::string& base, uint32_t n);
// The checksum descriptor's path for a base path.
std::string DescriptorFileName(const std::string& base);

// The piece number that ends path, when its extension is one that PieceFileName writes: .001 to
// .999, then .1000 and up without leading zeros, or .000, the first piece of splitters that count
// from zero. No value for any other name.
std::optional<uint32_t> PieceNumberOf(const std::string& path);

// Rules on a file name (without directory) that a descriptor records or that pieces give a join,
// read in the ANSI code page (a two-byte character ending in 0x5C is part of the name):
// - it leaves the directory it is joined to: a separator or drive colon in it, or "." or "..";
bool LeavesDirectory(const std::string& name);
// - the system opens it as a device wherever it stands: NUL, CON, PRN, AUX, COM1-COM9, LPT1-LPT9
//   (and the console's CONIN$, CONOUT$), in any case, with any extension, and after the trailing
//   spaces and dots that the system strips;
bool NamesDevice(const std::string& name);
// - the system would write it under another name: it strips trailing spaces and dots.
bool SystemChangesName(const std::string& name);
