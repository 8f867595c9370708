// Test probes for the split and combine engine: a progress callback that records every call and
// can set the cancel flag through the pointer it is given, a driven clock and a hook where the
// engine lets messages run, snapshots of directories to prove that files were left alone, sparse
// giants, and the scratch area that the engine test fixture prepares on the Unix side (GNU split
// pieces, a small tmpfs, a second drive letter).
#pragma once
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "Outcome.h"
#include "PlugIntf.h"

namespace engineprobe {

// CancelOnEntry: the flag's value when the call arrived.
struct TProgressCall {
    int32_t Percent;
    std::string Status, FileName, SourceDir, TargetDir;
    uint8_t* Cancel;
    uint8_t CancelOnEntry;
};

// Records every progress call while alive; OnCall (optional) runs inside each call with the
// call's index (from 0) and may return true to write 1 through Cancel.
class TProgressRecorder {
public:
    TProgressRecorder();
    ~TProgressRecorder();
    TProgressRecorder(const TProgressRecorder&) = delete;
    TProgressRecorder& operator=(const TProgressRecorder&) = delete;

    TPlugInProgressProc Proc() const;
    const std::vector<TProgressCall>& Calls() const { return calls_; }
    std::vector<int32_t> Percents() const;
    std::function<bool(size_t index)> OnCall;
    // Expects every call to name this operation, file and directories and the engine's cancel
    // flag; with reads (the bytes of each block read from size bytes), a report after every read
    // and the closing one, with their percents.
    void ExpectCalls(const std::string& status, const std::string& file, const std::string& sourceDir,
                     const std::string& targetDir, uint64_t size = 0, const std::vector<uint32_t>& reads = {}) const;

    static void ZANDREL_STDCALL Record(int32_t Percent, const char* Status, const char* FileName,
                                       const char* SourceDir, const char* TargetDir, uint8_t* Cancel);

private:
    std::vector<TProgressCall> calls_;
};

// For one scope, the block pumps read this clock instead of the system's, and OnPump runs on the
// engine's thread every time the engine lets messages run (with the pump's index from 0), so a
// test sees where messages run without waiting on the wall clock. The clock moves one tick every
// readsPerTick reads; 0 freezes it, so each pass pumps after its first block only. Both seams are
// restored on every path.
class TPumpProbe {
public:
    explicit TPumpProbe(unsigned readsPerTick = 0);
    ~TPumpProbe();
    TPumpProbe(const TPumpProbe&) = delete;
    TPumpProbe& operator=(const TPumpProbe&) = delete;
    std::function<void(size_t index)> OnPump;
    size_t Pumps() const { return pumps_; }

private:
    static unsigned long Clock();
    unsigned readsPerTick_;
    unsigned long reads_ = 0;
    size_t pumps_ = 0;
};

// RunCombineFrom with the closing progress call left to the caller, as the dialog leaves it: the
// combine must hand one over on every path through its closing phase (closing false: none, as it
// ended before it wrote anything), and have made every other call by then (when a
// TProgressRecorder records the calls); it is sent here, once.
TOutcome Combine(const std::string& descriptor, const std::string& targetDir, TPlugInProgressProc progress,
                 bool closing = true);
// The sizes an outcome found against those it expected: (FoundSize, ExpectedSize).
std::pair<uint64_t, uint64_t> Sizes(const TOutcome& outcome);

// Success when cause is TCause::None; otherwise that cause naming file, with the system's error
// code unless error is AnyError.
constexpr uint32_t AnyError = 0xFFFFFFFFu;
::testing::AssertionResult Ended(const TOutcome& outcome, TCause cause, const std::string& file = std::string(),
                                 uint32_t error = AnyError);

// Every regular file under dir (recursively), by relative path, with its content.
using TSnapshot = std::map<std::string, std::string>;
TSnapshot Snapshot(const std::string& dir);
// Names of the regular files directly in dir.
std::vector<std::string> FileNames(const std::string& dir);

// Expects, when the scope ends, every directory given exactly as it was when the scope began.
class TUnchanged {
public:
    explicit TUnchanged(std::vector<std::string> dirs);
    ~TUnchanged();
    TUnchanged(const TUnchanged&) = delete;
    TUnchanged& operator=(const TUnchanged&) = delete;

private:
    std::vector<std::pair<std::string, TSnapshot>> before_;
};

// Holds a file open as another program would, for one scope (by default against everybody).
class THold {
public:
    explicit THold(const std::string& path, DWORD access = GENERIC_READ | GENERIC_WRITE, DWORD share = 0);
    ~THold();
    THold(const THold&) = delete;
    THold& operator=(const THold&) = delete;

private:
    HANDLE h_;
};

// Size and last-write time without reading the content (for sparse giants).
struct TFileStamp {
    uint64_t Size = 0;
    FILETIME LastWrite{};
    bool operator==(const TFileStamp& o) const { return Size == o.Size && !CompareFileTime(&LastWrite, &o.LastWrite); }
};
std::optional<TFileStamp> Stamp(const std::string& path);

// Bytes written over a sparse file's zeros at a given offset.
struct TMark { uint64_t At; std::string Bytes; };
// A sparse file of the given size (SetEndOfFile, no data written) with the marks written in place,
// or with head at its start.
void MakeSparseFile(const std::string& path, uint64_t size, const std::vector<TMark>& marks);
void MakeSparseFile(const std::string& path, uint64_t size, const std::string& head);
// len bytes of the file from offset (fewer at its end). Throws std::runtime_error when it cannot be read.
std::string ReadAt(const std::string& path, uint64_t offset, uint32_t len);
// CRC-32 of a file of size zero bytes with the marks written over them (marks sorted, not
// overlapping). Runs of zeros are folded in by squaring the CRC's one-bit operator, so a file of
// gigabytes costs microseconds and nothing here shares code with the engine.
uint32_t Crc32Sparse(uint64_t size, const std::vector<TMark>& marks);
// CRC-32 of bytes in memory (independent of the engine's code paths).
uint32_t Crc32(const std::string& bytes);

// The scratch area that tests/win/fixtures/engine_fixture.sh prepared, as a Windows path
// (Z:\...), or nothing when the test runs without the fixture.
std::optional<std::string> FixtureDir();
// True when the fixture could mount its small tmpfs at FixtureDir()\small.
bool SmallFilesystemMounted();

}  // namespace engineprobe
