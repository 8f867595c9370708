// Times one split of a file into pieces and the combine back, without progress reports.
// Usage: engine_bench SOURCE WORKDIR [PIECE_SIZE]   (Windows paths; WORKDIR must exist)
// Prints "split_seconds S" and "combine_seconds S"; exits non-zero when an operation fails.
// Usage: engine_bench --combine CRCFILE TARGETDIR   times one combine alone (of a set with a piece
// to rebuild from the recovery files beside it, for instance); prints "combine_seconds S".
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>

#include "CRC32Core.h"
#include "PathText.h"
#include "PieceNames.h"
#include "SplitFiles.h"

namespace {

double Now()
{
    LARGE_INTEGER f, t;
    QueryPerformanceFrequency(&f);
    QueryPerformanceCounter(&t);
    return static_cast<double>(t.QuadPart) / static_cast<double>(f.QuadPart);
}

// Times one combine of crcFile into target and prints "combine_seconds S"; 1 when it fails.
int TimeCombine(const std::string& crcFile, const std::string& target)
{
    try {
        const double t0 = Now();
        const bool combine = CombineFiles(crcFile, target, nullptr);
        const double t1 = Now();
        if (!combine) {
            std::fprintf(stderr, "combine failed\n");
            return 1;
        }
        std::printf("combine_seconds %.3f\n", t1 - t0);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "error: %s\n", e.what());
        return 1;
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc == 4 && std::string(argv[1]) == "--combine") {
        BuildCRCTable();
        return TimeCombine(argv[2], argv[3]);
    }
    if (argc < 3) {
        std::fprintf(stderr, "usage: engine_bench SOURCE WORKDIR [PIECE_SIZE]\n");
        return 2;
    }
    const std::string source = argv[1];
    const std::string work = argv[2];
    const uint32_t pieceSize = argc > 3 ? static_cast<uint32_t>(std::strtoul(argv[3], nullptr, 10)) : 100u << 20;
    BuildCRCTable();
    const std::string pieces = work + "\\pieces";
    const std::string out = work + "\\out";
    CreateDirectoryA(pieces.c_str(), nullptr);
    CreateDirectoryA(out.c_str(), nullptr);
    try {
        const double t0 = Now();
        const bool split = SplitFile(source, pieces, pieceSize, nullptr);
        const double t1 = Now();
        if (!split) {
            std::fprintf(stderr, "split failed\n");
            return 1;
        }
        std::printf("split_seconds %.3f\n", t1 - t0);
        std::fflush(stdout);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "error: %s\n", e.what());
        return 1;
    }
    return TimeCombine(DescriptorFileName(pieces + "\\" + ExtractFileName(source)), out);
}
