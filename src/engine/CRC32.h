// CRC-32 of a whole file on disk.
#pragma once
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

// Called after every block of a long pass over a file; returning false abandons the pass. A
// caller lets the thread's messages run here (App::TBlockPump, at most once per clock tick), so
// that a checksum over gigabytes never keeps the host from its messages.
using TAfterBlock = std::function<bool()>;

// Reads in blocks of 262,145 bytes, each from its own absolute offset, sharing reads only.
// No value when the file cannot be opened or its size read; *error (when given) then receives the
// system's error code. No value either when afterBlock abandons the pass (*error: ERROR_CANCELLED).
std::optional<uint32_t> CalcFileCRC32(const std::string& fileName, unsigned long* error = nullptr,
                                      const TAfterBlock& afterBlock = nullptr);

// The block size of CalcFileCRC32 (256 KiB plus one).
constexpr uint32_t CRCBlockSize = 262145;
