// Arithmetic in GF(2^16) as PAR2 recovery data uses it: the field of 16-bit words modulo the
// polynomial x^16 + x^12 + x^3 + x + 1 (0x1100B), in which 2 generates every non-zero element.
// Adding is XOR. Data is a run of 16-bit little-endian words; a recovery slice with exponent e is
// the sum over the input slices k of Gf16InputConstant(k)^e times slice k, word by word.
//
// The log and antilog tables are built on first use (thread-safe) and only read afterwards.
#pragma once
#include <cstddef>
#include <cstdint>

uint16_t Gf16Mul(uint16_t a, uint16_t b);
// a must not be 0.
uint16_t Gf16Inv(uint16_t a);
// b must not be 0.
uint16_t Gf16Div(uint16_t a, uint16_t b);
// a to the power n (0^0 = 1).
uint16_t Gf16Pow(uint16_t a, uint32_t n);
// 2 to the power n.
uint16_t Gf16Exp(uint32_t n);

// How many input slices one recovery set can have: the number of n in 0..65534 with n mod 3, 5,
// 17 and 257 all non-zero.
constexpr uint32_t Gf16InputConstantCount = 32768;
// The constant of input slice k (k < Gf16InputConstantCount): 2^n for the k-th such n, counting
// from 0, so slice 0 has 2^1, slice 1 has 2^2, slice 2 has 2^4, slice 3 has 2^7.
uint16_t Gf16InputConstant(uint32_t k);

// dst ^= c * src over len bytes of 16-bit little-endian words; len must be even (an odd last byte
// is left alone). dst and src must not overlap unless they are the same buffer.
// The table path runs anywhere; the SSSE3 and AVX2 paths (split-nibble tables through PSHUFB) may
// be called only when their Has function is true. Gf16MulAdd takes the fastest this CPU offers.
void Gf16MulAddTable(void* dst, const void* src, size_t len, uint16_t c);
bool Gf16HasSsse3();
void Gf16MulAddSsse3(void* dst, const void* src, size_t len, uint16_t c);
bool Gf16HasAvx2();
void Gf16MulAddAvx2(void* dst, const void* src, size_t len, uint16_t c);
void Gf16MulAdd(void* dst, const void* src, size_t len, uint16_t c);
// dst ^= sum over i < count of coefs[i] * srcs[i], each source len bytes long: the destination is
// worked through in blocks that stay in the cache while every source is added to it.
void Gf16MulAddMany(void* dst, const void* const* srcs, const uint16_t* coefs, size_t count, size_t len);

namespace gf16detail {

// What the region paths need of one factor c: c * 2^k for k = 0..15, and for each nibble q of a
// word (0 = lowest) and each value v, the low and the high byte of c * (v << 4q): Nibble[2q] holds
// the low bytes, Nibble[2q + 1] the high ones.
struct TFactor {
    uint16_t Pow2[16];
    uint8_t Nibble[8][16];
};
void Prepare(TFactor& f, uint16_t c);
using TKernel = void (*)(uint8_t* dst, const uint8_t* src, size_t len, const TFactor& f);
void KernelTable(uint8_t* dst, const uint8_t* src, size_t len, const TFactor& f);
void KernelSsse3(uint8_t* dst, const uint8_t* src, size_t len, const TFactor& f);
void KernelAvx2(uint8_t* dst, const uint8_t* src, size_t len, const TFactor& f);

}  // namespace gf16detail
