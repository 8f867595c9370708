// The percent that progress reports carry: done / (total / 100), unsigned and truncating,
// 0 when total is below 100. Not capped: a small total can give more than 100.
// Both divisions are 64-bit, so files of 4 GiB and more report the same series that smaller files
// do; below 4 GiB the values are those of 32-bit divisions. The host receives a 32-bit Percent:
// only a quotient of 2^32 or more (bytes far beyond a tiny total) loses its high bits.
#pragma once
#include <cstdint>

inline int32_t ProgressPercent(uint64_t done, uint64_t total)
{
    const uint64_t divisor = total / 100;
    return divisor == 0 ? 0 : static_cast<int32_t>(static_cast<uint32_t>(done / divisor));
}

// Block reports never say 100 before the operation has finished.
inline int32_t BlockPercent(uint64_t done, uint64_t total)
{
    const int32_t p = ProgressPercent(done, total);
    return p == 100 ? 99 : p;
}
