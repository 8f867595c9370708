// The PAR2 reader and the set gathering on arbitrary bytes, read through the read-at function in
// the odd sizes a reader may meet: nothing raises or reads outside the input, every recovery
// packet noted lies inside the file, and a complete set numbers exactly as many slices as its
// files need. The input is also read as two PAR2 files (its halves) and gathered across them; for
// a complete set, the first slices are solved for with the recovery slices found and rebuilt from
// zeros in one stripe, and every noted recovery slice has its data checked.
#include "Par2Set.h"
#include "Par2Solver.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace {

TPar2ReadAt ReaderOf(const uint8_t* data, size_t size)
{
    return [data, size](uint64_t at, void* buf, size_t len) -> size_t {
        if (at > size) abort();  // the scan never asks past the end it was told
        const size_t n = std::min<size_t>(len, size - static_cast<size_t>(at));
        std::memcpy(buf, data + at, n);
        return n;
    };
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const size_t half = size / 2;
    std::vector<TPar2Scan> scans = {ScanPar2(ReaderOf(data, size), size), ScanPar2(ReaderOf(data, half), half),
                                    ScanPar2(ReaderOf(data + half, size - half), size - half)};
    for (const TPar2Recovery& r : scans[0].Recoveries) {
        if (r.DataOffset > size || r.DataLength > size - r.DataOffset) abort();
        VerifyPar2Recovery(ReaderOf(data, size), r, 7);
    }
    for (const TPar2Set& set : GatherPar2Sets(scans)) {
        if (!set.Complete()) continue;
        uint64_t slices = 0;
        for (const TPar2SetFile& f : set.InputFiles) {
            if (f.FirstSlice != slices || f.SliceCount != (f.Length + set.SliceSize - 1) / set.SliceSize) abort();
            slices += f.SliceCount;
        }
        if (slices != set.SliceCount()) abort();
        for (uint32_t k = 0; k < set.SliceCount(); ++k)
            if (set.SliceAt(k).Length == 0 || set.SliceAt(k).Length > set.SliceSize) abort();
        std::vector<uint32_t> missing;
        for (uint32_t k = 0; k < set.SliceCount() && missing.size() < std::min<size_t>(set.Recoveries.size(), 16); ++k)
            missing.push_back(k);
        TPar2Solver solver;
        if (!solver.Solve(set.SliceCount(), missing, set.Exponents())) continue;
        const std::vector<uint8_t> zeros(64);
        TPar2Rebuilder rebuilder(solver, zeros.size());
        rebuilder.Start(zeros.size());
        for (uint32_t i = missing.size(); i < set.SliceCount() && i < 64; ++i) rebuilder.AddInput(i, zeros.data());
        for (size_t e = 0; e < missing.size(); ++e) rebuilder.AddRecovery(e, zeros.data());
        for (size_t j = 0; j < missing.size(); ++j)
            if (std::count(rebuilder.Output(j), rebuilder.Output(j) + zeros.size(), 0) != 64) abort();
    }
    return 0;
}
