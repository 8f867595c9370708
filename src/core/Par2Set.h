// The recovery sets found in the scans of several PAR2 files: packets gathered by recovery set ID.
// A set is complete when its main packet, and the description and slice checksums of every file
// it can recover, are there; only then are its input slices numbered: through the recoverable
// files in the main packet's order, ceil(length / slice size) slices each, the last one padded
// with zeros. Recovery slices are kept once per exponent, with the scan (file) they came from.
#pragma once
#include "Par2Packets.h"

#include <cstdint>
#include <string>
#include <vector>

// The largest slice size taken (1 TiB) and the longest file (2^62 bytes); a set over either, or
// with a slice size of 0 or not a multiple of 4, is refused.
constexpr uint64_t Par2MaxSliceSize = 1ull << 40;
constexpr uint64_t Par2MaxFileLength = 1ull << 62;

struct TPar2SetFile {
    TPar2Id FileId;
    std::string Name;         // as the PAR2 file wrote it (par2cmdline: UTF-8, "/" between folders)
    uint64_t Length = 0;
    TMd5Digest Md5{};
    TMd5Digest Md5First16k{};
    uint32_t FirstSlice = 0;  // the number of its first input slice in the set
    uint32_t SliceCount = 0;
};

struct TPar2SetRecovery {
    uint32_t Exponent;
    size_t Scan;              // index of the scan (the PAR2 file) it is in
    TPar2Recovery Packet;
};

// Where input slice k lies: in InputFiles[File], Length bytes from Offset (short for a file's last
// slice; the rest is zeros).
struct TPar2SliceSpan {
    size_t File;
    uint64_t Offset;
    uint64_t Length;
};

enum class EPar2SetState {
    Complete,
    NoMain,                   // only other packets of the set were found
    BadMain,                  // slice size, lengths or slice count out of range
    Incomplete,               // a recoverable file lacks its description or its slice checksums
};

struct TPar2Set {
    TPar2Id Id;
    EPar2SetState State = EPar2SetState::NoMain;
    uint64_t SliceSize = 0;
    std::vector<TPar2SetFile> InputFiles;      // the recoverable files, in slice order
    std::vector<TPar2Id> NonRecoverable;
    std::vector<TPar2SliceCheck> Slices;       // per input slice, when complete
    std::vector<TPar2SetRecovery> Recoveries;  // by exponent, each once, of the slice size
    uint32_t MissingDescs = 0, MissingChecks = 0;

    bool Complete() const { return State == EPar2SetState::Complete; }
    uint32_t SliceCount() const { return static_cast<uint32_t>(Slices.size()); }
    // k < SliceCount().
    TPar2SliceSpan SliceAt(uint32_t k) const;
    // The exponents of Recoveries, in order, as TPar2Solver takes them.
    std::vector<uint32_t> Exponents() const;
};

// The sets of all the scans (scans[i] is the scan of PAR2 file i), in the order their IDs first
// appear. Recovery slices with an exponent of 65535 or more, or whose data is not one slice long,
// are left out.
std::vector<TPar2Set> GatherPar2Sets(const std::vector<TPar2Scan>& scans);
