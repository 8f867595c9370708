// What both operations share while they copy: the progress report that follows every block and
// the transfer state carried from block to block. Private to the engine (SplitOperation, CombineOperation).
#pragma once
#include <windows.h>

#include <cstdint>
#include <memory>
#include <new>
#include <string>

#include "App.h"
#include "CRC32Core.h"
#include "Progress.h"
#include "ProgressProc.h"
#include "Operations.h"

inline bool Cancelled() { return CancelFlag != 0; }

// The arguments a progress call repeats; only the percent changes from call to call.
struct TReporter {
    TPlugInProgressProc Proc;
    const char* Status;
    std::string FileName;
    std::string SourceDir;
    std::string TargetDir;

    void Report(int32_t percent) const
    {
        if (Proc)
            Proc(percent, Status, FileName.c_str(), SourceDir.c_str(), TargetDir.c_str(),
                 const_cast<uint8_t*>(&CancelFlag));
    }
};

// What a copy carries from block to block: the one transfer buffer, the bytes moved so far against
// the operation's size, the running checksum of those bytes (when asked for), and the progress
// report and message pump that follow every block.
class TTransfer {
public:
    TTransfer(const TReporter& reporter, uint64_t size, bool checksum)
        : buffer_(new (std::nothrow) unsigned char[TransferBlockSize]), reporter_(reporter), size_(size),
          checksum_(checksum)
    {
    }
    // False when memory is short: the operation ends before it creates anything.
    bool Ready() const { return buffer_ != nullptr; }
    unsigned char* Buffer() { return buffer_.get(); }
    uint64_t Done() const { return done_; }
    uint32_t Checksum() const { return crc_ ^ 0xFFFFFFFFu; }

    // After got bytes of the buffer went out: count them, report the block, let messages run.
    void Moved(DWORD got)
    {
        if (checksum_) crc_ = CRC32Update(crc_, buffer_.get(), got);
        done_ += got;
        reporter_.Report(BlockPercent(done_, size_));
        pump_.AfterBlock();
    }
    // The closing report, whose percent may say 100: made now (closing null) or handed to the
    // caller to make. Of an operation cancelled after its last block (a combine's repair pass) it
    // says 99 at most: the result is not there.
    void End(TClosingReport* closing, bool cancelled = false) const
    {
        const int32_t whole = ProgressPercent(done_, size_);
        const int32_t percent = cancelled && whole > 99 ? 99 : whole;
        if (!closing) return reporter_.Report(percent);
        const TReporter reporter = reporter_;
        *closing = TClosingReport([reporter, percent] { reporter.Report(percent); });
    }

private:
    std::unique_ptr<unsigned char[]> buffer_;
    TReporter reporter_;
    uint64_t size_;
    bool checksum_;
    uint64_t done_ = 0;
    uint32_t crc_ = 0xFFFFFFFFu;
    App::TBlockPump pump_;
};
