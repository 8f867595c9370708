#include "Par2Repair.h"

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <new>

#include "App.h"
#include "CRC32Core.h"
#include "Gf16.h"
#include "Md5.h"
#include "Par2Packets.h"
#include "Par2Solver.h"
#include "PathText.h"
#include "PieceNames.h"

namespace {

TOutcome CombineFailure(TCause cause, const std::string& file = std::string(), DWORD code = 0)
{
    return Failed(TOperation::Combine, cause, file, code);
}

// A name as PAR2 files write it (UTF-8) in the form the system compares; empty when it is none.
std::wstring Utf8Name(const std::string& name)
{
    if (name.empty() || name.find_first_of("/\\:") != std::string::npos) return std::wstring();
    const int n = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, name.data(), static_cast<int>(name.size()),
                                      nullptr, 0);
    if (n <= 0) return std::wstring();
    std::wstring wide(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, name.data(), static_cast<int>(name.size()), wide.data(), n);
    return wide;
}

bool SameName(const std::string& utf8, const std::string& ansi)
{
    const std::wstring a = Utf8Name(utf8);
    return !a.empty() && SameFileName(a, WideFileName(ansi));
}

// name begins with prefix and a dot, as the file system compares names.
bool BeginsWith(const std::string& name, const std::string& prefix)
{
    return !prefix.empty() && name.size() > prefix.size() && name[prefix.size()] == '.' &&
           SameFileName(WideFileName(name.substr(0, prefix.size())), WideFileName(prefix));
}

// Reads len bytes at offset; fewer at the end of the file or on a read error.
template <class TFileT>
size_t ReadAt(TFileT& file, uint64_t offset, void* buf, size_t len)
{
    if (!file.Seek(offset)) return 0;
    size_t total = 0;
    while (total < len) {
        DWORD got = 0;
        const DWORD want = static_cast<DWORD>(std::min<size_t>(len - total, 1u << 20));
        if (!file.Read(static_cast<uint8_t*>(buf) + total, want, got) || got == 0) break;
        total += got;
    }
    return total;
}

// The pieces of base's set beside it, by number, with their sizes.
std::map<uint32_t, uint64_t> PresentSizes(const std::string& base)
{
    std::map<uint32_t, uint64_t> present;
    const std::string dir = AddBackslash(ExtractFileDir(base));
    const size_t stem = ExtractFileName(ChangeFileExt(base, "")).size();
    for (const std::string& name : ListFiles(ChangeFileExt(base, ".*"))) {
        if (ChangeFileExt(name, "").size() != stem) continue;
        const std::optional<uint32_t> n = PieceNumberOf(name);
        if (!n) continue;
        if (const std::optional<uint64_t> size = FileSizeByName(dir + name)) present[*n] = *size;
    }
    return present;
}

// A set over the pieces: each of its files is a piece of the job's set, numbered from 0 or 1
// without a gap, and (with a checksum file) of the recorded size together.
bool LayOverPieces(const TCombineJob& job, TRepairPlan& plan)
{
    const TPar2Set& set = plan.Set;
    if (set.InputFiles.empty() || set.InputFiles.size() > 1000) return false;
    std::vector<std::pair<uint32_t, size_t>> numbered;
    for (size_t f = 0; f < set.InputFiles.size(); ++f) {
        const std::optional<uint32_t> n = PieceNumberOf(set.InputFiles[f].Name);
        if (!n || !SameName(set.InputFiles[f].Name, ExtractFileName(PieceFileName(job.Base, *n)))) return false;
        numbered.emplace_back(*n, f);
    }
    std::sort(numbered.begin(), numbered.end());
    if (numbered[0].first > 1) return false;
    plan.FileOffsets.assign(set.InputFiles.size(), 0);
    uint64_t offset = 0;
    for (size_t i = 0; i < numbered.size(); ++i) {
        if (numbered[i].first != numbered[0].first + i) return false;
        const uint64_t length = set.InputFiles[numbered[i].second].Length;
        plan.FileOffsets[numbered[i].second] = offset;
        plan.Pieces.push_back({PieceFileName(job.Base, numbered[i].first), offset, length});
        offset += length;
        if (offset > Par2MaxFileLength) return false;
    }
    plan.Size = offset;
    return !job.HasDescriptor() || offset == job.Descriptor.Size;
}

// A set over the file before it was split: one file of the output's name (and recorded size).
// The pieces' size is the one that gives most pieces there their exact length.
bool LayOverOutput(const TCombineJob& job, TRepairPlan& plan)
{
    const TPar2Set& set = plan.Set;
    if (set.InputFiles.size() != 1 || !SameName(set.InputFiles[0].Name, ExtractFileName(job.Output))) return false;
    const uint64_t size = set.InputFiles[0].Length;
    if (size == 0 || (job.HasDescriptor() && size != job.Descriptor.Size)) return false;
    const std::map<uint32_t, uint64_t> present = PresentSizes(job.Base);
    const uint32_t first = job.First;
    uint64_t best = 0;
    size_t bestScore = 0;
    for (const auto& [number, candidate] : present) {
        if (number < first || candidate == 0 || (size - 1) / candidate >= 1000) continue;
        const uint64_t count = (size - 1) / candidate + 1;
        size_t score = 0;
        for (const auto& [n, have] : present)
            if (n >= first && n - first < count) score += have == std::min(candidate, size - (n - first) * candidate);
        if (score > bestScore) bestScore = score, best = candidate;
    }
    if (bestScore == 0) return false;
    for (uint64_t offset = 0, n = first; offset < size; offset += best, ++n)
        plan.Pieces.push_back(
            {PieceFileName(job.Base, static_cast<uint32_t>(n)), offset, std::min(best, size - offset)});
    plan.FileOffsets = {0};
    plan.Size = size;
    return true;
}

bool InScan(const TPar2Scan& scan, const TPar2Id& id)
{
    for (const auto& m : scan.Mains) if (m.SetId == id) return true;
    for (const auto& d : scan.FileDescs) if (d.SetId == id) return true;
    for (const auto& c : scan.SliceChecks) if (c.SetId == id) return true;
    for (const auto& r : scan.Recoveries) if (r.SetId == id) return true;
    return false;
}

// The set's index file: the first of its files without recovery slices, else its first file.
std::string IndexOf(const TPar2Set& set, const std::vector<TPar2Scan>& scans, const std::vector<std::string>& paths)
{
    std::string first;
    for (size_t i = 0; i < scans.size(); ++i) {
        if (!InScan(scans[i], set.Id)) continue;
        if (first.empty()) first = ExtractFileName(paths[i]);
        const bool volume = std::any_of(set.Recoveries.begin(), set.Recoveries.end(),
                                        [i](const TPar2SetRecovery& r) { return r.Scan == i; });
        if (!volume) return ExtractFileName(paths[i]);
    }
    return first;
}

// What the copy found of a piece.
enum class TPieceState { Sound, Missing, Short, Long };

// Every input slice's CRC-32 over the output as the copy writes it, in order of the output.
class TSliceChecker {
public:
    explicit TSliceChecker(const TRepairPlan& plan)
        : plan_(plan), crcs_(plan.Set.SliceCount(), 0xFFFFFFFFu), done_(plan.Set.SliceCount(), false)
    {
    }
    void Feed(const uint8_t* data, size_t len)
    {
        while (len > 0 && next_ < plan_.Order.size()) {
            const uint32_t k = plan_.Order[next_];
            const uint64_t start = plan_.SliceOffsets[k], end = start + plan_.SliceLength(k);
            const size_t take = static_cast<size_t>(std::min<uint64_t>(len, (pos_ < start ? start : end) - pos_));
            if (pos_ >= start) crcs_[k] = CRC32Update(crcs_[k], data, take);
            pos_ += take, data += take, len -= take;
            if (pos_ == end) Finish(k);
        }
    }
    // The slices whose CRC-32 differs from the set's, in ascending order.
    std::vector<uint32_t> Damaged() const
    {
        std::vector<uint32_t> damaged;
        for (uint32_t k = 0; k < crcs_.size(); ++k)
            if (~crcs_[k] != plan_.Set.Slices[k].Crc || !done_[k]) damaged.push_back(k);
        return damaged;
    }

private:
    void Finish(uint32_t k)
    {
        static const uint8_t zeros[65536] = {};
        for (uint64_t pad = plan_.Set.SliceSize - plan_.SliceLength(k); pad > 0;) {
            const size_t n = static_cast<size_t>(std::min<uint64_t>(pad, sizeof zeros));
            crcs_[k] = CRC32Update(crcs_[k], zeros, n);
            pad -= n;
        }
        done_[k] = true;
        ++next_;
    }
    const TRepairPlan& plan_;
    std::vector<uint32_t> crcs_;
    std::vector<bool> done_;
    size_t next_ = 0;
    uint64_t pos_ = 0;
};

class TRepair {
public:
    TRepair(const TCombineJob& job, const TRepairPlan& plan, TTempOutputFile& temp, TTransfer& transfer,
            const TReporter& reporter)
        : job_(job), plan_(plan), temp_(temp), transfer_(transfer), reporter_(reporter),
          states_(plan.Pieces.size(), TPieceState::Sound), changed_(plan.Pieces.size(), false)
    {
    }
    TRepairResult Run();

private:
    TOutcome Copy(TSliceChecker& checker);
    TOutcome CopyPiece(size_t p, TSliceChecker& checker);
    TOutcome Fill(uint64_t bytes, TSliceChecker& checker);
    TOutcome Rebuild(const std::vector<uint32_t>& damaged);
    // One pass over the stripes with the solver's choice; bad: the recoveries whose MD5 failed.
    TOutcome Pass(const TPar2Solver& solver, const std::vector<size_t>& chosen, std::vector<size_t>& bad);
    TOutcome WriteRebuilt(uint64_t at, const uint8_t* data, size_t len, uint8_t* old);
    bool Verified();
    TOutcome TooLittle(uint32_t held, uint32_t needed, const std::vector<uint32_t>& damaged) const;
    TOutcome WriteFailure() const { return CombineFailure(TCause::CannotWrite, job_.Output, out_.Error()); }

    const TCombineJob& job_;
    const TRepairPlan& plan_;
    TTempOutputFile& temp_;
    TTransfer& transfer_;
    const TReporter& reporter_;
    std::vector<TPieceState> states_;
    std::vector<bool> changed_;
    TOutFile out_;
    std::string from_;
    App::TBlockPump pump_;
};

TOutcome TRepair::Fill(uint64_t bytes, TSliceChecker& checker)
{
    std::memset(transfer_.Buffer(), 0, TransferBlockSize);
    while (bytes > 0) {
        const DWORD n = static_cast<DWORD>(std::min<uint64_t>(bytes, TransferBlockSize));
        if (!temp_.File().WriteAll(transfer_.Buffer(), n)) return WriteFailure();
        checker.Feed(transfer_.Buffer(), n);
        transfer_.Moved(n);
        bytes -= n;
        if (Cancelled()) return CombineFailure(TCause::Cancelled);
    }
    return Succeeded(TOperation::Combine);
}

// Piece p at its place: cut at the place's length, its missing bytes zero.
TOutcome TRepair::CopyPiece(size_t p, TSliceChecker& checker)
{
    const TRepairPlace& place = plan_.Pieces[p];
    TInFile piece;
    if (!piece.Open(place.Path, TInFile::ReadSharedWithWriters) || !piece.IsDisk()) {
        states_[p] = TPieceState::Missing;
        return Fill(place.Length, checker);
    }
    if (piece.Size().value_or(0) > place.Length) states_[p] = TPieceState::Long;
    uint64_t read = 0;
    while (read < place.Length) {
        DWORD got = 0;
        const DWORD want = static_cast<DWORD>(std::min<uint64_t>(place.Length - read, TransferBlockSize));
        if (!piece.Read(transfer_.Buffer(), want, got))
            return CombineFailure(TCause::CannotRead, place.Path, piece.Error());
        if (got == 0) break;
        if (!temp_.File().WriteAll(transfer_.Buffer(), got)) return WriteFailure();
        checker.Feed(transfer_.Buffer(), got);
        transfer_.Moved(got);
        read += got;
        if (Cancelled()) return CombineFailure(TCause::Cancelled);
    }
    if (read < place.Length) states_[p] = TPieceState::Short;
    return Fill(place.Length - read, checker);
}

TOutcome TRepair::Copy(TSliceChecker& checker)
{
    for (size_t p = 0; p < plan_.Pieces.size(); ++p) {
        const TOutcome copy = CopyPiece(p, checker);
        if (!copy.Ok()) return copy;
        App::ProcessMessages();
    }
    return Succeeded(TOperation::Combine);
}

// The pieces the damaged slices touch, the first one as the outcome's file.
TOutcome TRepair::TooLittle(uint32_t held, uint32_t needed, const std::vector<uint32_t>& damaged) const
{
    std::vector<TRebuiltPiece> pieces;
    for (size_t p = 0; p < plan_.Pieces.size(); ++p) {
        const TRepairPlace& place = plan_.Pieces[p];
        const bool touched = std::any_of(damaged.begin(), damaged.end(), [&](uint32_t k) {
            const uint64_t start = plan_.SliceOffsets[k];
            return start < place.Offset + place.Length && place.Offset < start + plan_.SliceLength(k);
        });
        if (touched || states_[p] != TPieceState::Sound)
            pieces.push_back({place.Path, states_[p] == TPieceState::Missing, ""});
    }
    TOutcome outcome = CombineFailure(TCause::TooLittleRecovery, pieces.empty() ? job_.Output : pieces[0].File);
    outcome.FileMissing = !pieces.empty() && pieces[0].Missing;
    if (!pieces.empty()) outcome.Unrebuilt.assign(pieces.begin() + 1, pieces.end());
    outcome.List = plan_.Index;
    outcome.RecoveryHeld = held;
    outcome.RecoveryNeeded = needed;
    return outcome;
}

// Writes len rebuilt bytes at at; old receives what was there, so that the pieces whose bytes
// the rebuild changed are known.
TOutcome TRepair::WriteRebuilt(uint64_t at, const uint8_t* data, size_t len, uint8_t* old)
{
    if (ReadAt(out_, at, old, len) != len) return CombineFailure(TCause::CannotRead, job_.Output, out_.Error());
    auto p = std::upper_bound(plan_.Pieces.begin(), plan_.Pieces.end(), at,
                              [](uint64_t a, const TRepairPlace& place) { return a < place.Offset; });
    for (size_t i = static_cast<size_t>(p - plan_.Pieces.begin()) - 1; i < plan_.Pieces.size(); ++i) {
        const TRepairPlace& place = plan_.Pieces[i];
        if (place.Offset >= at + len) break;
        const uint64_t from = std::max(at, place.Offset), to = std::min(at + len, place.Offset + place.Length);
        if (from < to && std::memcmp(old + (from - at), data + (from - at), static_cast<size_t>(to - from)) != 0)
            changed_[i] = true;
    }
    if (!out_.Seek(at) || !out_.WriteAll(data, static_cast<DWORD>(len))) return WriteFailure();
    return Succeeded(TOperation::Combine);
}

TOutcome TRepair::Pass(const TPar2Solver& solver, const std::vector<size_t>& chosen, std::vector<size_t>& bad)
{
    const TPar2Set& set = plan_.Set;
    const size_t m = solver.Missing().size();
    const uint64_t most = std::min<uint64_t>({set.SliceSize, 1u << 20, RepairBufferBytes / (m + 2)});
    const size_t stripe = std::max<size_t>(2, static_cast<size_t>(most) & ~size_t{1});
    TPar2Rebuilder rebuilder(solver, stripe);
    std::vector<uint8_t> buffer(stripe), old(stripe);
    std::vector<bool> damaged(set.SliceCount(), false);
    for (const uint32_t k : solver.Missing()) damaged[k] = true;
    std::map<size_t, std::unique_ptr<TInFile>> files;  // by scan
    std::vector<TPar2RecoveryCheck> checks;
    for (const size_t r : chosen) {
        checks.emplace_back(set.Recoveries[r].Packet);
        std::unique_ptr<TInFile>& file = files[set.Recoveries[r].Scan];
        if (file) continue;
        file = std::make_unique<TInFile>();
        if (!file->Open(plan_.Paths[set.Recoveries[r].Scan], TInFile::ReadSharedWithWriters))
            return CombineFailure(TCause::CannotRead, plan_.Paths[set.Recoveries[r].Scan], file->Error());
    }
    const uint64_t stripes = (set.SliceSize + stripe - 1) / stripe;
    for (uint64_t s = 0; s < stripes; ++s) {
        const uint64_t at = s * stripe;
        const size_t len = static_cast<size_t>(std::min<uint64_t>(stripe, set.SliceSize - at));
        rebuilder.Start(len);
        for (uint32_t k = 0; k < set.SliceCount(); ++k) {
            if (damaged[k] || at >= plan_.SliceLength(k)) continue;
            const size_t n = static_cast<size_t>(std::min<uint64_t>(len, plan_.SliceLength(k) - at));
            if (ReadAt(out_, plan_.SliceOffsets[k] + at, buffer.data(), n) != n)
                return CombineFailure(TCause::CannotRead, job_.Output, out_.Error());
            std::memset(buffer.data() + n, 0, len - n);
            rebuilder.AddInput(k, buffer.data());
            pump_.AfterBlock();
        }
        for (size_t e = 0; e < chosen.size(); ++e) {
            const TPar2SetRecovery& recovery = set.Recoveries[chosen[e]];
            const size_t got = ReadAt(*files[recovery.Scan], recovery.Packet.DataOffset + at, buffer.data(), len);
            std::memset(buffer.data() + got, 0, len - got);
            checks[e].Update(buffer.data(), got);
            rebuilder.AddRecovery(e, buffer.data());
        }
        for (size_t j = 0; j < m; ++j) {
            const uint32_t k = solver.Missing()[j];
            if (at >= plan_.SliceLength(k)) continue;
            const size_t n = static_cast<size_t>(std::min<uint64_t>(len, plan_.SliceLength(k) - at));
            const TOutcome write = WriteRebuilt(plan_.SliceOffsets[k] + at, rebuilder.Output(j), n, old.data());
            if (!write.Ok()) return write;
        }
        // The share of the rebuild's stripes done; 100 only for the combine's closing report.
        reporter_.Report(static_cast<int32_t>(std::min<uint64_t>(99, (s + 1) * 100 / stripes)));
        pump_.AfterBlock();
        if (Cancelled()) return CombineFailure(TCause::Cancelled);
    }
    for (size_t e = 0; e < chosen.size(); ++e)
        if (!checks[e].Matches()) bad.push_back(chosen[e]);
    return Succeeded(TOperation::Combine);
}

// Solves with the recovery slices not found bad, rebuilds; a recovery slice whose MD5 fails is
// dropped and the damaged slices rebuilt again without it.
TOutcome TRepair::Rebuild(const std::vector<uint32_t>& damaged)
{
    const TPar2Set& set = plan_.Set;
    std::vector<bool> dropped(set.Recoveries.size(), false);
    std::map<uint32_t, size_t> byExponent;
    for (size_t r = 0; r < set.Recoveries.size(); ++r) byExponent[set.Recoveries[r].Exponent] = r;
    for (;;) {
        std::vector<uint32_t> exponents;
        for (size_t r = 0; r < set.Recoveries.size(); ++r)
            if (!dropped[r]) exponents.push_back(set.Recoveries[r].Exponent);
        TPar2Solver solver;
        if (damaged.size() > exponents.size() || !solver.Solve(set.SliceCount(), damaged, exponents))
            return TooLittle(static_cast<uint32_t>(exponents.size()), static_cast<uint32_t>(damaged.size()), damaged);
        std::vector<size_t> chosen, bad;
        for (const uint32_t e : solver.Chosen()) chosen.push_back(byExponent[e]);
        const TOutcome pass = Pass(solver, chosen, bad);
        if (!pass.Ok()) return pass;
        if (bad.empty()) {
            const uint32_t lowest = *std::min_element(solver.Chosen().begin(), solver.Chosen().end());
            from_ = ExtractFileName(plan_.Paths[set.Recoveries[byExponent[lowest]].Scan]);
            return pass;
        }
        for (const size_t r : bad) dropped[r] = true;
    }
}

// The set's MD5 of each of its files against the output.
bool TRepair::Verified()
{
    for (size_t f = 0; f < plan_.Set.InputFiles.size(); ++f) {
        TMd5 md5;
        const uint64_t start = plan_.FileOffsets[f], length = plan_.Set.InputFiles[f].Length;
        for (uint64_t done = 0; done < length;) {
            const size_t n = static_cast<size_t>(std::min<uint64_t>(length - done, TransferBlockSize));
            if (ReadAt(out_, start + done, transfer_.Buffer(), n) != n) return false;
            md5.Update(transfer_.Buffer(), n);
            done += n;
            pump_.AfterBlock();
        }
        if (md5.Final() != plan_.Set.InputFiles[f].Md5) return false;
    }
    return true;
}

TRepairResult TRepair::Run()
{
    TRepairResult result;
    TSliceChecker checker(plan_);
    result.Outcome = Copy(checker);
    if (!temp_.File().Close() && result.Outcome.Ok()) result.Outcome = WriteFailure();
    if (!result.Outcome.Ok()) return result;
    if (!out_.Create(temp_.Path(), TOutFile::UpdateExclusive)) {
        result.Outcome = CombineFailure(TCause::CannotWrite, job_.Output, out_.Error());
        return result;
    }
    const std::vector<uint32_t> damaged = checker.Damaged();
    // A set of which not one slice matches the bytes there are describes another file of this
    // name and size: it is no help here, and says nothing of these pieces.
    const bool anyPresent = std::any_of(states_.begin(), states_.end(),
                                        [](TPieceState state) { return state != TPieceState::Missing; });
    if (anyPresent && damaged.size() == plan_.Set.SliceCount() && damaged.size() > plan_.Set.Recoveries.size()) {
        result.Abandoned = true;
        return result;
    }
    if (!damaged.empty()) result.Outcome = Rebuild(damaged);
    if (!result.Outcome.Ok()) return result;
    if (!job_.HasDescriptor() && !Verified()) {
        result.Abandoned = true;
        return result;
    }
    if (!out_.Close()) {
        result.Outcome = WriteFailure();
        return result;
    }
    for (size_t p = 0; p < plan_.Pieces.size(); ++p) {
        const TPieceState state = states_[p];
        if (state == TPieceState::Missing || state == TPieceState::Short || changed_[p])
            result.Outcome.Done.Rebuilt.push_back({plan_.Pieces[p].Path, state == TPieceState::Missing, from_});
    }
    return result;
}

}  // namespace

TRecoveryFiles FindRecoveryFiles(const TCombineJob& job)
{
    TRecoveryFiles files;
    files.Dir = AddBackslash(ExtractFileDir(job.Base));
    const std::string stem = ExtractFileName(ChangeFileExt(job.Base, ""));
    const std::string output = ExtractFileName(job.Output);
    for (const std::string& name : ListFiles(files.Dir + "*")) {
        const std::string ext = name.size() >= 5 ? name.substr(name.size() - 5) : std::string();
        if (!SameFileName(WideFileName(ext), L".par2")) continue;
        if (BeginsWith(name, stem) || BeginsWith(name, output)) files.Names.push_back(name);
    }
    std::sort(files.Names.begin(), files.Names.end());
    if (files.Names.size() > MaxRecoveryFiles) files.Names.resize(MaxRecoveryFiles);
    return files;
}

namespace {

std::optional<TRepairPlan> Plan(const TCombineJob& job, const TRecoveryFiles& files)
{
    std::vector<TPar2Scan> scans;
    std::vector<std::string> paths;
    App::TBlockPump pump;
    for (const std::string& name : files.Names) {
        paths.push_back(files.Dir + name);
        TInFile file;
        const bool open = file.Open(paths.back(), TInFile::ReadSharedWithWriters) && file.IsDisk();
        const std::optional<uint64_t> size = open ? file.Size() : std::nullopt;
        scans.push_back(size ? ScanPar2([&](uint64_t offset, void* buf, size_t len) {
            pump.AfterBlock();
            return ReadAt(file, offset, buf, len);
        }, *size) : TPar2Scan());
    }
    for (TPar2Set& set : GatherPar2Sets(scans)) {
        // More input slices than recovery data can address: no set that could mend anything.
        if (!set.Complete() || set.SliceCount() == 0 || set.SliceCount() > Gf16InputConstantCount) continue;
        TRepairPlan plan;
        plan.Set = std::move(set);
        if (!LayOverPieces(job, plan)) {
            plan.Pieces.clear();
            if (!LayOverOutput(job, plan)) continue;
        }
        plan.Paths = paths;
        plan.Index = IndexOf(plan.Set, scans, paths);
        for (uint32_t k = 0; k < plan.Set.SliceCount(); ++k) {
            const TPar2SliceSpan span = plan.Set.SliceAt(k);
            plan.SliceOffsets.push_back(plan.FileOffsets[span.File] + span.Offset);
            plan.Order.push_back(k);
        }
        std::stable_sort(plan.Order.begin(), plan.Order.end(),
                         [&plan](uint32_t a, uint32_t b) { return plan.SliceOffsets[a] < plan.SliceOffsets[b]; });
        return plan;
    }
    return std::nullopt;
}

}  // namespace

std::optional<TRepairPlan> PlanRepair(const TCombineJob& job, const TRecoveryFiles& files)
{
    // The packets the files hold are kept within the reader's limits; files that hold more than
    // memory allows are no help, and leave the combine as it is without them.
    try {
        return Plan(job, files);
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    }
}

TOutcome RefusalUpFront(const TRepairPlan& plan)
{
    // The ranges of the output that no piece holds, and the slices they touch.
    std::vector<TRebuiltPiece> lacking;
    std::vector<std::pair<uint64_t, uint64_t>> gaps;
    for (const TRepairPlace& place : plan.Pieces) {
        const std::optional<uint64_t> size = FileSizeByName(place.Path);
        if (size && *size >= place.Length) continue;
        lacking.push_back({place.Path, !size, ""});
        gaps.emplace_back(place.Offset + (size ? *size : 0), place.Offset + place.Length);
    }
    uint32_t needed = 0;
    for (uint32_t k = 0; k < plan.Set.SliceCount(); ++k) {
        const uint64_t start = plan.SliceOffsets[k], end = start + plan.SliceLength(k);
        needed +=
            std::any_of(gaps.begin(), gaps.end(), [&](const auto& g) { return g.first < end && start < g.second; });
    }
    const uint32_t held = static_cast<uint32_t>(plan.Set.Recoveries.size());
    if (needed <= held) return Succeeded(TOperation::Combine);
    TOutcome outcome = Failed(TOperation::Combine, TCause::TooLittleRecovery, lacking[0].File);
    outcome.FileMissing = lacking[0].Missing;
    outcome.Unrebuilt.assign(lacking.begin() + 1, lacking.end());
    outcome.List = plan.Index;
    outcome.RecoveryHeld = held;
    outcome.RecoveryNeeded = needed;
    return outcome;
}

TRepairResult RepairCombine(const TCombineJob& job, const TRepairPlan& plan, TTempOutputFile& temp,
                            TTransfer& transfer, const TReporter& reporter)
{
    try {
        return TRepair(job, plan, temp, transfer, reporter).Run();
    } catch (const std::bad_alloc&) {
        return {CombineFailure(TCause::NoMemory), false};
    }
}
