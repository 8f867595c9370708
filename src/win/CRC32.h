// CRC-32 of a whole file on disk.
#pragma once
#include <cstdint>
#include <optional>
#include <string>

// Reads in blocks of 262,145 bytes, each from its own absolute offset, sharing reads only.
// No value when the file cannot be opened or its size read; *error (when given) then receives the
// system's error code.
std::optional<uint32_t> CalcFileCRC32(const std::string& fileName, unsigned long* error = nullptr);

// The block size of CalcFileCRC32 (256 KiB plus one).
constexpr uint32_t CRCBlockSize = 262145;
