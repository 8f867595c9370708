// How a source falls into pieces: every piece but the last holds PieceSize bytes, the last the
// rest; an empty source still gives one (empty) piece, and a size that is an exact multiple of
// PieceSize gives no empty trailing piece. Sizes and offsets are 64-bit, so that sources of 2 GiB
// and more (up to 1000 pieces of up to 4,294,967,295 bytes) are counted right.
#pragma once
#include <cstdint>

// A split makes at most 1000 pieces: 999 full ones and a shorter thousandth.
constexpr uint32_t MaxPieceCount = 1000;

struct TPiecePlan {
    uint64_t Size;
    uint32_t PieceSize;

    // The size divided by the piece size is at most 999; a piece size of 0 makes no progress.
    bool Accepted() const { return PieceSize != 0 && Size / PieceSize < MaxPieceCount; }
    // Number of pieces; only for an accepted plan.
    uint32_t Count() const
    {
        const uint64_t full = Size / PieceSize;
        return static_cast<uint32_t>(full + (Size % PieceSize != 0 || Size == 0 ? 1 : 0));
    }
    // Length of piece n (from 1 to Count()).
    uint32_t Length(uint32_t n) const
    {
        const uint64_t left = Size - static_cast<uint64_t>(n - 1) * PieceSize;
        return left < PieceSize ? static_cast<uint32_t>(left) : PieceSize;
    }
};
