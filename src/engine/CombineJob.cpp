#include "CombineJob.h"

#include <windows.h>

#include <map>
#include <set>

#include "App.h"
#include "DescriptorFile.h"
#include "Errors.h"
#include "Files.h"
#include "PathText.h"
#include "Sfv.h"

namespace {

TOutcome CombineFailure(TCause cause, const std::string& file = std::string())
{
    return Failed(TOperation::Combine, cause, file);
}

[[noreturn]] void Refuse(const std::string& text) { throw EOperationRefused(text + " Nothing was combined."); }

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

// What stands at a name the combine reads.
enum class TEntry { Missing, File, NotAFile, LinkToNothing };

struct TLook {
    TEntry Entry = TEntry::Missing;
    uint64_t Size = 0;
};

TLook Look(const std::string& path)
{
    TLook look;
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        // A device answers to an open though not to a look-up (Wine: a link to one).
        TInFile there;
        if (there.Open(path, TInFile::InspectOnly)) look.Entry = there.IsDisk() ? TEntry::Missing : TEntry::NotAFile;
        else if (IsLinkToNothing(path)) look.Entry = TEntry::LinkToNothing;
        return look;
    }
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
        look.Entry = TEntry::NotAFile;
        return look;
    }
    const std::optional<uint64_t> size = FileSizeByName(path);
    if (!size) {
        look.Entry = IsLinkToNothing(path) ? TEntry::LinkToNothing : TEntry::Missing;
        return look;
    }
    look.Entry = TEntry::File;
    look.Size = *size;
    return look;
}

// The reason a piece at path with this look cannot be joined; Missing gives PieceMissing.
TOutcome NotJoinable(const std::string& path, TEntry entry)
{
    if (entry == TEntry::NotAFile) return CombineFailure(TCause::PieceNotAFile, path);
    if (entry == TEntry::LinkToNothing) return CombineFailure(TCause::PieceIsLink, path);
    return CombineFailure(TCause::PieceMissing, path);
}

// A name that a descriptor records, or that pieces give a join, must name a file inside the
// target directory under exactly that name.
void CheckOutputName(const std::string& name, const std::string& whose)
{
    if (LeavesDirectory(name))
        Refuse(whose + " the file " + Quoted(name) + ", which would be written outside the target directory.");
    if (NamesDevice(name)) Refuse(whose + " the device " + Quoted(name) + ".");
    if (SystemChangesName(name))
        Refuse(whose + " the file " + Quoted(name) + ", which the system would write under another name.");
}

[[noreturn]] void RefuseNotDescriptor(const std::string& path)
{
    Refuse("File " + Quoted(path) + " is not a checksum file.");
}

// The descriptor of a combine, read and judged before anything is created. Only a checksum file
// is read as one: at most MaxDescriptorBytes, with a file name line that names a file, and that
// file inside the target directory, no device, and a name the system keeps. What a split writes
// before its first piece and replaces at its end says that split did not finish.
TDescriptor ReadCombineDescriptor(const TCombineSource& source)
{
    const std::string& path = source.Descriptor;
    const TLook look = Look(path);
    if (look.Entry == TEntry::NotAFile) Refuse("Checksum file " + Quoted(path) + " is not a file.");
    if (look.Entry == TEntry::LinkToNothing) Refuse("Checksum file " + Quoted(path) + " is a link that leads nowhere.");
    DWORD error = ERROR_SUCCESS;
    const std::optional<std::string> text = ReadDescriptorText(path, error);
    if (!text) {
        if (error == ERROR_FILE_TOO_LARGE) RefuseNotDescriptor(path);
        ReadDescriptorFile(path);  // raises the reader's own error for this file
        RefuseNotDescriptor(path);  // it changed meanwhile; it is no checksum file to rely on
    }
    if (ParseDescriptorName(*text).empty()) RefuseNotDescriptor(path);
    if (IsUnfinishedDescriptor(*text)) Refuse("The split that made " + Quoted(source.Selected) + " did not finish.");
    const TDescriptor descriptor = ParseDescriptor(*text);
    CheckOutputName(descriptor.FileName, "Checksum file " + Quoted(path) + " names");
    return descriptor;
}

// The numbers of the pieces of base's set that lie beside it as files ("BASE.*" also finds
// "BASE.x.003", which is no piece of this set).
std::set<uint32_t> PresentPieces(const std::string& base)
{
    std::set<uint32_t> present;
    const size_t stem = ExtractFileName(ChangeFileExt(base, "")).size();
    for (const std::string& name : ListFiles(ChangeFileExt(base, ".*"))) {
        if (ChangeFileExt(name, "").size() != stem) continue;
        if (const std::optional<uint32_t> n = PieceNumberOf(name)) present.insert(*n);
    }
    return present;
}

// The run of pieces from first with no gap, as they lie on disk; ends before the first name that
// is not a file (its look in end).
struct TRun {
    std::vector<uint64_t> Sizes;
    TLook End;
    uint64_t Total = 0;
};

// enough: stop once the pieces hold that many bytes (after one piece at least).
TRun RunFrom(const std::string& base, uint32_t first, std::optional<uint64_t> enough = std::nullopt)
{
    TRun run;
    for (uint32_t n = first;; ++n) {
        const TLook look = Look(PieceFileName(base, n));
        if (look.Entry != TEntry::File) {
            run.End = look;
            return run;
        }
        run.Sizes.push_back(look.Size);
        run.Total += look.Size;
        if (enough && run.Total >= *enough) return run;
    }
}

// The size every piece of a run but the last should hold: the one that most of them share (the
// first one's where sizes tie), so that the piece named as not fitting is the odd one, wherever
// it lies.
uint64_t NormOf(const std::vector<uint64_t>& sizes)
{
    std::map<uint64_t, size_t> counts;
    for (size_t i = 0; i + 1 < sizes.size(); ++i) ++counts[sizes[i]];
    uint64_t norm = sizes[0];
    for (size_t i = 1; i + 1 < sizes.size(); ++i)
        if (counts[sizes[i]] > counts[norm]) norm = sizes[i];
    return norm;
}

// The piece of a run that does not fit one set, and the size it should hold.
struct TMisfit {
    size_t Index;
    uint64_t Norm;
};

std::optional<TMisfit> MisfitOf(const std::vector<uint64_t>& sizes)
{
    if (sizes.size() < 3) return std::nullopt;
    const uint64_t norm = NormOf(sizes);
    for (size_t i = 0; i + 1 < sizes.size(); ++i)
        if (sizes[i] != norm) return TMisfit{i, norm};
    return std::nullopt;
}

// Whether a list names a file: with one checksum, or with several.
bool Names(const TSfvList& list, const std::string& path)
{
    const std::string name = ExtractFileName(path);
    return list.ChecksumOf(name) || list.Conflicting(name);
}

// A set without a checksum file: one run of numbers from 1 (or from .000, where a .000 fits the
// run), no piece numbered beyond it, every piece but the last of one size. A list beside that
// names pieces of the run says whether a .000 belongs to them: one it does not name is left out.
void FindJoinSet(TCombineJob& job, const TSfvList* list)
{
    const std::string& base = job.Base;
    const std::set<uint32_t> present = PresentPieces(base);
    TRun run = RunFrom(base, 1);
    job.First = 1;
    bool listNamesRun = false;
    for (uint32_t i = 0; list && !listNamesRun && i < run.Sizes.size(); ++i)
        listNamesRun = Names(*list, PieceFileName(base, 1 + i));
    const bool zeroOutside = listNamesRun && !Names(*list, PieceFileName(base, 0));
    const TLook zero = Look(PieceFileName(base, 0));
    if (zero.Entry == TEntry::File && !zeroOutside) {
        std::vector<uint64_t> withZero{zero.Size};
        withZero.insert(withZero.end(), run.Sizes.begin(), run.Sizes.end());
        // A .000 of another size than the run's pieces belongs to no set of them.
        const std::optional<TMisfit> misfit = MisfitOf(withZero);
        if (!misfit) {
            job.First = 0;
            run.Sizes = withZero;
            run.Total += zero.Size;
        } else if (job.Source.SelectedPiece == 0u) {
            job.Refusal = CombineFailure(TCause::PieceDoesNotFit, PieceFileName(base, 0));
            job.Refusal.FoundSize = zero.Size;
            job.Refusal.ExpectedSize = run.Sizes.empty() ? misfit->Norm : NormOf(run.Sizes);
            return;
        }
    }
    const uint32_t end = job.First + static_cast<uint32_t>(run.Sizes.size());
    const std::string next = PieceFileName(base, end);
    if (run.Sizes.empty() || (!present.empty() && *present.rbegin() > end) || run.End.Entry != TEntry::Missing) {
        job.Refusal = NotJoinable(next, run.End.Entry);
        return;
    }
    if (const std::optional<TMisfit> misfit = MisfitOf(run.Sizes)) {
        const uint32_t odd = job.First + static_cast<uint32_t>(misfit->Index);
        job.Refusal = CombineFailure(TCause::PieceDoesNotFit, PieceFileName(base, odd));
        job.Refusal.FoundSize = run.Sizes[misfit->Index];
        job.Refusal.ExpectedSize = misfit->Norm;
        return;
    }
    job.Sizes = run.Sizes;
    job.Total = run.Total;
}

// The pieces a checksum file needs: from 1 until the recorded size is reached (piece 1 at least);
// from .000 instead when the pieces from 1 fall short and those from .000 hold the size exactly:
// a .000 that only overshoots it is no piece this set needs.
void FindDescribedSet(TCombineJob& job)
{
    const uint64_t size = job.Descriptor.Size;
    TRun run = RunFrom(job.Base, 1, size);
    job.First = 1;
    if (run.Total < size || run.Sizes.empty()) {
        const TRun fromZero = RunFrom(job.Base, 0, size);
        if (!fromZero.Sizes.empty() && fromZero.Total == size) {
            run = fromZero;
            job.First = 0;
        }
    }
    if (run.Sizes.empty() || run.Total < size) {
        job.Refusal = NotJoinable(PieceFileName(job.Base, job.First + static_cast<uint32_t>(run.Sizes.size())), run.End.Entry);
        return;
    }
    if (run.Total != size) {
        // More bytes than recorded: these pieces are not the set the checksum file describes.
        job.Refusal = CombineFailure(TCause::SizeMismatch);
        job.Refusal.FoundSize = run.Total;
        job.Refusal.ExpectedSize = size;
    }
    job.Sizes = run.Sizes;
    job.Total = run.Total;
}

// The checksum list beside the pieces (BASE.sfv, in any case of its letters where the system
// compares names so), read when it is a file; messages run while a long one is read. None when
// none is there or no line of it names a file (the reason kept for the closing message).
std::optional<TSfvList> ReadListBeside(TCombineJob& job)
{
    const std::string path = ChangeFileExt(job.Base, ".sfv");
    if (Look(path).Entry != TEntry::File) return std::nullopt;
    DWORD error = ERROR_SUCCESS;
    const std::optional<std::string> text = ReadDescriptorText(path, error, MaxListBytes);
    std::optional<TSfvList> list;
    App::TBlockPump pump;
    if (text) list.emplace(*text, [&pump] { pump.AfterBlock(); });
    if (list && list->Readable()) return list;
    job.ListUnused = ExtractFileName(path) + " beside the pieces is no checksum list that can be read";
    return std::nullopt;
}

// The list's checksum of each piece joined; it is used when it lists any of them. Without a
// checksum file a piece it lists above the set's last one is missing, and the reason it cannot
// verify the join is kept for the closing message.
void MatchList(TCombineJob& job, const TSfvList& list)
{
    const std::string name = ExtractFileName(ChangeFileExt(job.Base, ".sfv"));
    std::vector<std::optional<uint32_t>> crcs;
    bool any = false;
    std::string twice;  // a piece listed with different checksums
    for (uint32_t i = 0; i < job.Count(); ++i) {
        const std::string piece = ExtractFileName(job.Piece(i));
        crcs.push_back(list.ChecksumOf(piece));
        if (twice.empty() && list.Conflicting(piece)) twice = piece;
        any = any || Names(list, piece);
    }
    if (!any) {
        job.ListUnused = name + " beside the pieces lists none of them";
        return;
    }
    job.List = name;
    job.PieceCRCs = crcs;
    if (job.HasDescriptor()) return;
    if (!twice.empty()) job.ListUnused = name + " lists " + twice + " twice with different checksums";
    else if (!job.ListCoversAll()) job.ListUnused = name + " lists only some of the pieces";
    const uint32_t end = job.First + job.Count();
    for (uint32_t n = end; n < end + 1000; ++n)
        if (Names(list, PieceFileName(job.Base, n))) {
            job.Refusal = CombineFailure(TCause::PieceMissing, PieceFileName(job.Base, n));
            return;
        }
}

}  // namespace

TCombineSource FindCombineSource(const std::string& FileName)
{
    TCombineSource source;
    source.Selected = FileName;
    source.Descriptor = FileName;
    source.SelectedPiece = PieceNumberOf(FileName);
    if (source.SelectedPiece) {
        source.Descriptor = DescriptorFileName(FileName);
        // A checksum file name that is a device is never opened: such pieces have no name to join into.
        const std::string name = ExtractFileName(source.Descriptor);
        source.HasDescriptor =
            !NamesDevice(name) && (ExistsByName(source.Descriptor) || IsLinkToNothing(source.Descriptor));
    }
    return source;
}

namespace {

void MakeJob(TCombineJob& job, const TCombineSource& source, const std::string& TargetDir)
{
    job.Base = source.HasDescriptor ? source.Descriptor : source.Selected;
    if (source.HasDescriptor) {
        job.Descriptor = ReadCombineDescriptor(source);
        job.Output = AddBackslash(TargetDir) + job.Descriptor.FileName;
        job.OutputThere = ExistsByName(job.Output);
        if (!job.OutputThere) FindDescribedSet(job);
        if (job.Refusal.Ok() && !job.OutputThere)
            if (const std::optional<TSfvList> list = ReadListBeside(job)) MatchList(job, *list);
        return;
    }
    const std::string name = ExtractFileName(ChangeFileExt(source.Selected, ""));
    job.Output = AddBackslash(TargetDir) + name;
    // Pieces named only by their number (".001") give no name to join into.
    if (name.find_first_not_of(" .") == std::string::npos) {
        job.Refusal = Failed(TOperation::Combine, TCause::CannotCreate, job.Output, ERROR_INVALID_NAME);
        return;
    }
    CheckOutputName(name, "File " + Quoted(source.Selected) + " would be joined into");
    const std::optional<TSfvList> list = ReadListBeside(job);
    FindJoinSet(job, list ? &*list : nullptr);
    if (job.Refusal.Ok() && list) MatchList(job, *list);
    if (job.Refusal.Ok() && ExistsByName(job.Output)) job.Refusal = CombineFailure(TCause::OutputThere, job.Output);
}

}  // namespace

TCombineJob MakeCombineJob(const TCombineSource& source, const std::string& TargetDir)
{
    TCombineJob job;
    job.Source = source;
    job.Refusal = Succeeded(TOperation::Combine);
    // The checks raise what they refuse in its own words; the job carries it like any refusal.
    try {
        MakeJob(job, source, TargetDir);
    } catch (const EZandrelError&) {
        job.Refusal = FailedWith(TOperation::Combine, std::current_exception());
    }
    return job;
}
