// The checksum descriptor's text: three CR LF lines "filename=", "size=", "crc32=".
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "TextTrim.h"

struct TDescriptor {
    std::string FileName;   // empty when the line is missing
    uint64_t Size = 0;      // see StrToSize
    uint32_t CRC = 0;
};

std::string FormatDescriptor(const std::string& fileName, uint64_t size, uint32_t crc);

// What a split writes at the descriptor's name before its first piece, replaced by the real
// descriptor once every piece is written: a killed split (a crash, a power cut) leaves this, and
// no reader takes it for a complete set's. It names the file on an "unfinished=" line instead of
// "filename=" (a reader without a name creates nothing) and its size line holds no number (a
// reader that converts it stops before it creates anything).
std::string FormatUnfinishedDescriptor(const std::string& fileName);
// Whether the text is what FormatUnfinishedDescriptor writes: it has an "unfinished=" line.
bool IsUnfinishedDescriptor(const std::string& text);

// The text without the UTF-8 byte-order mark that a text editor may put first.
std::string WithoutUtf8Bom(const std::string& text);
// Lines end at CR LF, a lone CR or a lone LF; a final line ending starts no empty line.
std::vector<std::string> SplitLines(const std::string& text);
// A descriptor's size: decimal with an optional sign, 0 to 9223372036854775807. A negative value
// in the signed 32-bit range keeps the meaning it had when sizes were read as signed 32-bit numbers
// and compared as unsigned: its unsigned 32-bit pattern (-1 is 4294967295). Anything else throws
// EConvertError "'%s' is not a valid integer value".
uint64_t StrToSize(const std::string& s);
// Key at the line start (case-sensitive), one skipped character, trimmed value, last key wins.
// A UTF-8 byte-order mark at the very start is skipped.
// Throws EConvertError for a size value that is not a number.
TDescriptor ParseDescriptor(const std::string& text);
// The file name alone, by the same rules (for an unfinished descriptor the one it names); never
// throws a conversion error.
std::string ParseDescriptorName(const std::string& text);
