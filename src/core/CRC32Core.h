// CRC-32 of IEEE 802.3 (zlib, PNG, ZIP): reflected polynomial 0xEDB88320, initial value
// 0xFFFFFFFF, final value complemented. The "running value" functions below take and return the
// uncomplemented register, so a caller starts with 0xFFFFFFFF and complements once at the end.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

// Entry i is the CRC-32 remainder of the single byte i. Filled once at load by BuildCRCTable.
extern uint32_t CRCTable[256];
void BuildCRCTable();

// Reference: one table lookup per byte, through CRCTable (BuildCRCTable must have run).
uint32_t CRC32UpdateBytewise(uint32_t crc, const void* data, size_t len);
// Slicing-by-16: any little-endian CPU.
uint32_t CRC32UpdateSlicing(uint32_t crc, const void* data, size_t len);
// Carry-less multiply folding; call only when CRC32HasPclmul() is true.
bool CRC32HasPclmul();
uint32_t CRC32UpdatePclmul(uint32_t crc, const void* data, size_t len);
// The same with 256-bit registers (AVX2 and VPCLMULQDQ), twice the bytes per step; call only
// when CRC32HasVpclmul() is true.
bool CRC32HasVpclmul();
uint32_t CRC32UpdateVpclmul(uint32_t crc, const void* data, size_t len);
// The fastest path this CPU offers (chosen once, by CPUID).
uint32_t CRC32Update(uint32_t crc, const void* data, size_t len);

// Checksum text to number: the first eight characters, most significant first; "0".."9" and
// "A".."F" (also "a".."f"); any other character keeps the historical digit rule (code - 55)
// and the arithmetic wraps at 32 bits.
uint32_t HexStrToInt(const std::string& text);
// Upper-case hexadecimal without leading zeros ("0" for zero).
std::string IntToHex(uint32_t value);
