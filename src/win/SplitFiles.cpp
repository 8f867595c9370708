// The split and combine operations.
//
// Both copy through one transfer buffer of TransferBlockSize bytes, report after every block, let
// the thread's messages run between blocks (at most once per clock tick, see App::TBlockPump) and
// after every piece, so the host stays live and can set CancelFlag. Expected failures
// end with false; the errors of the text-file layer, and the refusals below, are raised.
//
// Guards beyond the plain copy, all aimed at never losing or silently corrupting data:
// - sources of 2 GB or more are refused up front (their 64-bit size is looked at, so a 4 GB + 100
//   byte file is not mistaken for a 100-byte one);
// - every loop makes progress or ends: a source that delivers nothing before its size is reached
//   ends the split with false;
// - the split writes a descriptor only when the bytes in the pieces are the bytes the checksum
//   describes (a source changed during the split ends with false);
// - a failed close of a piece or of the output counts as a failed write;
// - the descriptor never replaces the source itself (a .crc source split into its own directory);
// - the combine never writes outside its target directory, never replaces an existing file, and
//   verifies the size as well as the checksum.
#include "SplitFiles.h"

#include <windows.h>

#include <memory>
#include <new>

#include "App.h"
#include "CRC32.h"
#include "CRC32Core.h"
#include "CharText.h"
#include "DescriptorFile.h"
#include "Errors.h"
#include "PathText.h"
#include "PieceNames.h"
#include "Progress.h"
#include "WinHandles.h"

volatile uint8_t CancelFlag = 0;

namespace {

// Sizes from here on are below 2 GB, so 32-bit unsigned arithmetic is exact.
constexpr uint64_t MaxSourceSize = 0x80000000ull;
// A split makes at most 1000 pieces: 999 full ones and a shorter thousandth.
constexpr uint32_t MaxFullPieces = 999;

const char SplitStatus[] = "Spliting...";
const char CombineStatus[] = "Combining...";

bool Cancelled() { return CancelFlag != 0; }

// The one transfer buffer of an operation; empty when memory is short.
std::unique_ptr<unsigned char[]> NewTransferBuffer()
{
    return std::unique_ptr<unsigned char[]>(new (std::nothrow) unsigned char[TransferBlockSize]);
}

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

// Writes all of len bytes (also none): a short write is a failed write.
bool WriteAll(HANDLE file, const void* data, DWORD len)
{
    DWORD written = 0;
    return WriteFile(file, data, len, &written, nullptr) && written == len;
}

std::optional<uint64_t> FileSize(HANDLE file)
{
    LARGE_INTEGER size;
    if (!GetFileSizeEx(file, &size) || size.QuadPart < 0) return std::nullopt;
    return static_cast<uint64_t>(size.QuadPart);
}

// The size of the file at path, without opening it for data (so a file that others hold
// open, even exclusively, still answers).
std::optional<uint64_t> FileSizeByName(const std::string& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return std::nullopt;
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return std::nullopt;
    return (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

// True when path names the very file that `open` holds (same volume, same file index), whatever
// spelling, short name or link leads there.
bool IsSameFile(HANDLE open, const std::string& path)
{
    TFileHandle other(CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!other.Valid()) return false;
    BY_HANDLE_FILE_INFORMATION a, b;
    if (!GetFileInformationByHandle(open, &a) || !GetFileInformationByHandle(other.Get(), &b)) return false;
    return a.dwVolumeSerialNumber == b.dwVolumeSerialNumber && a.nFileIndexHigh == b.nFileIndexHigh &&
           a.nFileIndexLow == b.nFileIndexLow;
}

// A descriptor's file name must name a file inside the target directory, nothing else. Read in
// the ANSI code page: a two-byte character ending in 0x5C is part of a name, not a separator.
bool LeavesTargetDir(const std::string& name)
{
    return FindLastCharOf(name, "\\/:") != std::string::npos || name == "." || name == "..";
}

// Copies one piece: this piece's bytes from the source into a new (or emptied) piece file.
// False on any failure or a cancel; crc runs over every byte written.
bool CopyPiece(HANDLE source, const std::string& piecePath, uint32_t pieceSize, uint32_t thisPiece,
               uint32_t size, uint32_t& done, uint32_t& crc, unsigned char* buffer, const TReporter& reporter,
               App::TBlockPump& pump)
{
    TFileHandle piece(CreateFileA(piecePath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!piece.Valid()) return false;

    const uint32_t block = pieceSize < TransferBlockSize ? pieceSize : TransferBlockSize;
    uint32_t pieceDone = 0;
    do {
        // Never past this piece: on the last piece that is the size taken at the start, so a
        // source that grows meanwhile cannot push bytes beyond it.
        const uint32_t left = thisPiece - pieceDone;
        const DWORD want = left < block ? left : block;
        DWORD got = 0;
        if (!ReadFile(source, buffer, want, &got, nullptr) || got > want) return false;
        // A source that ends before the size taken at the start would never fill this piece.
        if (got == 0 && want != 0) return false;
        if (!WriteAll(piece.Get(), buffer, got)) return false;
        crc = CRC32Update(crc, buffer, got);
        done += got;
        reporter.Report(BlockPercent(done, size));
        pieceDone += got;
        pump.AfterBlock();
    } while (!Cancelled() && pieceDone < thisPiece);

    // Data that a close cannot commit is data lost: a failed close fails the piece.
    return piece.Close();
}

}  // namespace

bool SplitFile(const std::string& FileName, const std::string& TargetDir, uint32_t PieceSize,
               TPlugInProgressProc Progress)
{
    CancelFlag = 0;

    TFileHandle source(CreateFileA(FileName.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                   OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!source.Valid()) return false;

    const std::optional<uint64_t> fullSize = FileSize(source.Get());
    if (!fullSize) return false;
    if (*fullSize >= MaxSourceSize)
        throw EOperationRefused("File \"" + FileName +
                                "\" is 2 GB or larger. Files of 2 GB or more cannot be split.");
    const uint32_t size = static_cast<uint32_t>(*fullSize);

    // A piece size of 0 would make no progress at all.
    if (PieceSize == 0 || size / PieceSize > MaxFullPieces) return false;

    const auto buffer = NewTransferBuffer();
    if (!buffer) return false;

    const std::string base = AddBackslash(TargetDir) + ExtractFileName(FileName);
    const TReporter reporter{Progress, SplitStatus, FileName, ExtractFileDir(FileName), ExtractFileDir(base)};

    uint32_t n = 1;
    uint32_t done = 0;
    uint32_t crc = 0xFFFFFFFFu;
    App::TBlockPump pump;
    do {
        const uint32_t left = size - done;
        const uint32_t thisPiece = left < PieceSize ? left : PieceSize;
        if (!CopyPiece(source.Get(), PieceFileName(base, n), PieceSize, thisPiece, size, done, crc,
                       buffer.get(), reporter, pump))
            return false;
        ++n;
        App::ProcessMessages();
    } while (!Cancelled() && done != size);

    App::ProcessMessages();
    if (Cancelled()) return false;

    // The checksum is taken from the file on disk; it must describe the bytes now in the pieces.
    // A source written to or resized during the split fails here instead of leaving a descriptor
    // that no combine could ever satisfy.
    const std::optional<uint32_t> fileCRC = CalcFileCRC32(FileName);
    if (!fileCRC || *fileCRC != (crc ^ 0xFFFFFFFFu)) return false;
    const std::optional<uint64_t> sizeNow = FileSize(source.Get());
    if (!sizeNow || *sizeNow != size) return false;

    const std::string descriptor = DescriptorFileName(base);
    // Creating the descriptor empties any file of its name; never let that be the source (a .crc
    // file split into its own directory), whatever sharing the descriptor writer asks for.
    if (IsSameFile(source.Get(), descriptor))
        throw EFileError("Cannot create file \"" + descriptor + "\". " + SysErrorMessage(ERROR_SHARING_VIOLATION));
    WriteDescriptorFile(descriptor, ExtractFileName(FileName), size, *fileCRC);

    TReporter closing = reporter;
    closing.TargetDir = ExtractFileDir(descriptor);
    closing.Report(ProgressPercent(done, size));
    return true;
}

bool CombineFiles(const std::string& FileName, const std::string& TargetDir, TPlugInProgressProc Progress)
{
    CancelFlag = 0;

    const TDescriptor descriptor = ReadDescriptorFile(FileName);
    if (LeavesTargetDir(descriptor.FileName))
        throw EOperationRefused("Checksum file \"" + FileName + "\" names the file \"" + descriptor.FileName +
                                "\", which would be written outside the target directory. Nothing was combined.");
    const uint32_t size = static_cast<uint32_t>(descriptor.Size);

    const auto buffer = NewTransferBuffer();
    if (!buffer) return false;

    const std::string output = AddBackslash(TargetDir) + descriptor.FileName;
    const TReporter reporter{Progress, CombineStatus, output, ExtractFileDir(FileName), ExtractFileDir(output)};

    // Only a file this run creates is ever written or deleted: an existing one is only verified.
    TFileHandle out(CreateFileA(output.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    const bool created = out.Valid();

    // 64 bits, so that pieces adding up to 4 GB or more cannot wrap around and open more pieces.
    uint64_t total = 0;
    bool copyFailed = false;
    App::TBlockPump pump;
    if (created) {
        for (uint32_t n = 1;; ++n) {
            TFileHandle piece(CreateFileA(PieceFileName(FileName, n).c_str(), GENERIC_READ,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                          FILE_ATTRIBUTE_NORMAL, nullptr));
            if (!piece.Valid()) break;
            // Each piece is read to its end, whatever its length; a short read marks the end.
            DWORD got = 0;
            do {
                got = 0;
                if (!ReadFile(piece.Get(), buffer.get(), TransferBlockSize, &got, nullptr) || got > TransferBlockSize ||
                    !WriteAll(out.Get(), buffer.get(), got)) {
                    copyFailed = true;
                    break;
                }
                total += got;
                reporter.Report(BlockPercent(static_cast<uint32_t>(total), size));
                pump.AfterBlock();
            } while (!Cancelled() && got == TransferBlockSize);
            if (copyFailed) break;
            piece.Close();
            App::ProcessMessages();
            if (Cancelled() || total >= size) break;
        }
    }

    // Closing phase, on every path.
    // A failed read or write leaves a partial output, which the check below judges as it stands.
    bool ok = true;
    if (created && !out.Close()) ok = false;  // data a close cannot commit is lost
    if (ok) {
        // The size first: cheap, and it catches what a checksum over a truncated view could miss.
        const std::optional<uint64_t> outSize = FileSizeByName(output);
        ok = outSize && *outSize == size;
    }
    if (ok) {
        const std::optional<uint32_t> crc = CalcFileCRC32(output);
        ok = crc && *crc == descriptor.CRC;
    }
    if (!ok) {
        if (created) DeleteFileA(output.c_str());
        MessageBoxA(App::OwnerWindow(), "CRC Error.", "Error", MB_OK | MB_ICONERROR);
    }
    reporter.Report(ProgressPercent(static_cast<uint32_t>(total), size));
    return ok;
}
