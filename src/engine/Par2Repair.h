// The combine's repair: pieces lost or damaged, rebuilt from the PAR2 recovery files that users
// send beside them (par2cmdline, MultiPar, QuickPar: "report.par2", "report.vol00+12.par2").
// A recovery set describes either the pieces (its files named like them) or the file before it
// was split (one file of the output's name). The repair copies every piece there is into the
// output under its temporary name (cut at its place's length; bytes it lacks left zero), checks
// every input slice's CRC-32 against the set, and rebuilds only the slices that differ, stripe
// by stripe across them. PAR2 files are only ever read; names in them are never used as paths.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "CombineJob.h"
#include "Files.h"
#include "Outcome.h"
#include "Par2Set.h"
#include "Transfer.h"

// The PAR2 files beside the pieces whose names begin with the set's base name or the output's
// name followed by a dot, and end in ".par2" (any case): names only, in order; nothing is read.
struct TRecoveryFiles {
    std::string Dir;                 // beside the pieces
    std::vector<std::string> Names;  // at most MaxRecoveryFiles
};
constexpr size_t MaxRecoveryFiles = 256;
TRecoveryFiles FindRecoveryFiles(const TCombineJob& job);

// A piece's place in the output.
struct TRepairPlace {
    std::string Path;
    uint64_t Offset = 0, Length = 0;
};

// The complete recovery set that describes the job's pieces or its output, laid over the output.
struct TRepairPlan {
    TPar2Set Set;
    std::vector<std::string> Paths;       // the PAR2 files scanned (a recovery's Scan indexes it)
    std::string Index;                    // the set's index file's name (or its first file's)
    std::vector<TRepairPlace> Pieces;     // in order of their numbers, tiling the output
    uint64_t Size = 0;                    // the output's size
    std::vector<uint64_t> FileOffsets;    // where each of the set's files begins in the output
    std::vector<uint64_t> SliceOffsets;   // where each input slice begins in the output
    std::vector<uint32_t> Order;          // the input slices by their offsets
    uint64_t SliceLength(uint32_t k) const { return Set.SliceAt(k).Length; }
};
// Reads the packets of the files found (never their recovery data) and lays the first complete
// set that describes the pieces or the output over the output; none when no set does.
std::optional<TRepairPlan> PlanRepair(const TCombineJob& job, const TRecoveryFiles& files);

// TooLittleRecovery when the slices of pieces that are not there (or end before their place
// does) already outnumber the recovery slices; success otherwise. Looks at the pieces only.
TOutcome RefusalUpFront(const TRepairPlan& plan);

// What the repair ended with. Abandoned: the set does not confirm what it rebuilt, or not one of
// its slices matches the bytes there are, so it is no
// help here: the combine goes on as it would without it.
struct TRepairResult {
    TOutcome Outcome;
    bool Abandoned = false;
};

// Builds the output into temp (created and empty): every piece copied at its place through
// transfer (its progress as the copy's), every input slice checked, the damaged ones rebuilt,
// the progress percent then being the share of the rebuild's stripes done. A cancel stops it
// between blocks or stripes. Without a checksum file the result is verified against the set's
// MD5 of its files; with one the caller's check follows. On success, Done.Rebuilt names each
// piece rebuilt; a failure is the outcome (TooLittleRecovery, Cancelled, CannotRead,
// CannotWrite, NoMemory). Buffers: the rebuild's stripes at most RepairBufferBytes, besides the
// transfer's block and the solver's factors (8 bytes per pair of missing slices).
constexpr size_t RepairBufferBytes = 16u << 20;
TRepairResult RepairCombine(const TCombineJob& job, const TRepairPlan& plan, TTempOutputFile& temp,
                            TTransfer& transfer, const TReporter& reporter);
