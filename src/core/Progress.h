// The percent that progress reports carry: done / (total / 100), unsigned and truncating,
// 0 when total is below 100. Not capped: a small total can give more than 100.
#pragma once
#include <cstdint>

inline int32_t ProgressPercent(uint32_t done, uint32_t total)
{
    const uint32_t divisor = total / 100;
    return divisor == 0 ? 0 : static_cast<int32_t>(done / divisor);
}

// Block reports never say 100 before the operation has finished.
inline int32_t BlockPercent(uint32_t done, uint32_t total)
{
    const int32_t p = ProgressPercent(done, total);
    return p == 100 ? 99 : p;
}
