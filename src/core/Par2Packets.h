// Reads the packets of one PAR2 recovery file (par2cmdline, MultiPar, QuickPar: "x.par2",
// "x.vol00+12.par2") through a read-at function, so that the file may be far larger than memory:
//  - a packet starts with "PAR2\0PKT" and its 8-byte length (header included, a multiple of 4);
//    bytes between packets are skipped, and so is a packet whose length does not fit the file;
//  - the packets a combine needs to know the set (main, file description, slice checksums) are
//    read whole, only when no longer than Par2MaxCriticalBody, and kept only when their MD5
//    (over the bytes from the recovery set ID to the end) matches and their body is well formed;
//  - a recovery slice packet is noted, not read: its set ID, exponent, and where its data lies.
//    Its MD5 can only be checked by reading the data: TPar2RecoveryCheck does that alongside the
//    reads of whoever uses the data (VerifyPar2Recovery reads it just for the check).
// Nothing here trusts a count or a length in the file: none makes it allocate more than the
// limits below, and the scan never raises.
#pragma once
#include "Md5.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

using TPar2Id = std::array<uint8_t, 16>;

// Reads up to len bytes at offset into buf and returns how many it read (fewer only at the end of
// the file or on a read error).
using TPar2ReadAt = std::function<size_t(uint64_t offset, void* buf, size_t len)>;

// The longest body (the packet less its 64-byte header) read of a main, file description or slice
// checksum packet: room for 400,000 slice checksums or 500,000 file IDs.
constexpr uint32_t Par2MaxCriticalBody = 8u << 20;
// At most this many bytes of such bodies are kept from one file; the packets beyond are counted
// in Ignored. par2cmdline repeats the same few packets in every file: a repeat is kept once.
constexpr uint32_t Par2MaxKeptBytes = 64u << 20;
// At most this many recovery slice packets are noted from one file.
constexpr uint32_t Par2MaxRecoveryPackets = 65536;

struct TPar2Main {
    TPar2Id SetId;            // the MD5 of the body, checked
    uint64_t SliceSize;       // as written: TPar2Set checks it
    std::vector<TPar2Id> Recoverable;     // in the order that numbers the input slices
    std::vector<TPar2Id> NonRecoverable;
};

struct TPar2FileDesc {
    TPar2Id SetId;
    TPar2Id FileId;
    TMd5Digest Md5;           // of the whole file
    TMd5Digest Md5First16k;   // of its first 16 KiB (all of it when shorter)
    uint64_t Length;
    std::string Name;         // as written, the zeros that pad it cut off
};

// One input slice: the last slice of a file is checked as if padded with zeros to the slice size.
struct TPar2SliceCheck {
    TMd5Digest Md5;
    uint32_t Crc;             // CRC-32 (IEEE), as CRC32Update computes it, complemented
};

// Computes those of one slice from its bytes, given in order in any number of pieces. Final pads
// what came with zeros to the slice size (as the last slice of a file is checked) and starts over.
class TPar2SliceHash {
public:
    void Update(const void* data, size_t len);
    TPar2SliceCheck Final(uint64_t sliceSize);

private:
    TMd5 Md5;
    uint32_t Crc = 0xFFFFFFFFu;
    uint64_t Length = 0;
};

struct TPar2SliceChecks {
    TPar2Id SetId;
    TPar2Id FileId;
    std::vector<TPar2SliceCheck> Slices;
};

struct TPar2Recovery {
    TPar2Id SetId;
    uint32_t Exponent;
    uint64_t DataOffset;      // of the slice data in the file
    uint64_t DataLength;
    TMd5Digest PacketMd5;     // as the header states it, unchecked
};

struct TPar2Scan {
    std::vector<TPar2Main> Mains;
    std::vector<TPar2FileDesc> FileDescs;
    std::vector<TPar2SliceChecks> SliceChecks;
    std::vector<TPar2Recovery> Recoveries;
    uint32_t Damaged = 0;     // packets found and dropped: bad MD5, malformed, not fitting the file
    uint32_t Ignored = 0;     // sound packets over the limits above
    bool ReadError = false;   // a read came back short inside the file: the rest was not scanned
};

// Walks the file of fileSize bytes from its start to its end.
TPar2Scan ScanPar2(const TPar2ReadAt& readAt, uint64_t fileSize);

// The MD5 check of one recovery slice packet, fed with its data in order as it is read.
class TPar2RecoveryCheck {
public:
    explicit TPar2RecoveryCheck(const TPar2Recovery& recovery);
    // The next len bytes of the data (all bytes, in order, each once).
    void Update(const void* data, size_t len);
    // True when exactly DataLength bytes came and the packet's MD5 matches.
    bool Matches();

private:
    TMd5 Md5;
    TMd5Digest Expected;
    uint64_t Left;
    bool Overrun = false;
};

// Reads the data of a recovery slice in stripes of stripe bytes and checks its MD5.
bool VerifyPar2Recovery(const TPar2ReadAt& readAt, const TPar2Recovery& recovery, size_t stripe = 1u << 20);
