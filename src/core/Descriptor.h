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

// Lines end at CR LF, a lone CR or a lone LF; a final line ending starts no empty line.
std::vector<std::string> SplitLines(const std::string& text);
// Signed 32-bit decimal; throws EConvertError "'%s' is not a valid integer value".
int32_t StrToInt(const std::string& s);
// A descriptor's size: decimal, 0 to 9223372036854775807. Writers that held sizes in a signed
// 32-bit integer wrote sizes from 2 GB to 4 GB as negative numbers, so a value from -2147483648 to
// -1 stands for its unsigned 32-bit pattern (-1 is 4294967295). Anything else throws the
// EConvertError of StrToInt.
uint64_t StrToSize(const std::string& s);
// Key at the line start (case-sensitive), one skipped character, trimmed value, last key wins.
// A UTF-8 byte-order mark at the very start is skipped.
// Throws EConvertError for a size value that is not a number.
TDescriptor ParseDescriptor(const std::string& text);
// The file name alone, by the same rules; never throws a conversion error.
std::string ParseDescriptorName(const std::string& text);
