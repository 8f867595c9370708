// MD5 message digest (RFC 1321): the checksum PAR2 recovery files use for their packets, for
// whole files, for each slice and for the first 16 KiB of a file. TMd5 takes the bytes in any
// number of pieces; Md5Of is the one-shot form.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>

using TMd5Digest = std::array<uint8_t, 16>;

class TMd5 {
public:
    TMd5();
    void Update(const void* data, size_t len);
    // The digest of everything given so far; the object starts over afterwards.
    TMd5Digest Final();

private:
    void Block(const uint8_t* p);

    uint32_t State[4];
    uint64_t Length;      // bytes so far
    uint8_t Pending[64];  // the start of an incomplete block
    size_t PendingLen;
};

TMd5Digest Md5Of(const void* data, size_t len);
