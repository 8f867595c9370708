#include "SplitChecks.h"

#include <windows.h>

#include <map>
#include <optional>

#include "App.h"
#include "CRC32.h"
#include "Descriptor.h"
#include "DescriptorFile.h"
#include "Errors.h"
#include "PieceNames.h"
#include "PiecePlan.h"
#include "Sfv.h"
#include "SysError.h"
#include "TextTrim.h"
#include "nettools.h"

namespace {

const char NotAFile[] = "It is a device or a directory, not a file on disk.";
const char ALink[] = "It is a link: other names lead to the same file.";
const char ALinkToNothing[] = "It is a link: it leads to a file that is not there.";

[[noreturn]] void RefuseSource(const std::string& path)
{
    throw EOperationRefused("File \"" + path + "\" cannot be split. " + NotAFile);
}

[[noreturn]] void RefuseName(const std::string& path, const std::string& reason)
{
    throw EFileError("Cannot create file \"" + path + "\". " + reason);
}

// What stands at a name that the split will create.
enum class TNameState { Unseen, OtherFile, Source, NotAFile, Link, LinkToNothing };

struct TNameLook {
    TNameState State = TNameState::Unseen;
    TNameSeen Seen;  // OtherFile: which file it is
};

TNameLook InspectName(const TInFile& source, const std::string& path)
{
    if (DirectoryExists(path)) return {TNameState::NotAFile, std::nullopt};
    TInFile there;
    // Nothing there, or nothing that lets itself be looked at: the copy meets it as before, unless
    // it is a link that leads nowhere, which the copy would write through.
    if (!there.Open(path, TInFile::InspectOnly))
        return {IsLinkToNothing(path) ? TNameState::LinkToNothing : TNameState::Unseen, std::nullopt};
    if (!there.IsDisk()) return {TNameState::NotAFile, std::nullopt};
    if (source.SameFileAs(there)) return {TNameState::Source, std::nullopt};
    if (!there.OnlyReachedBy(path)) return {TNameState::Link, std::nullopt};
    return {TNameState::OtherFile, there.Seen()};
}

// The descriptor's file name and the source's, as the descriptor reader reads names (trimmed of
// spaces and control characters at both ends) and as the file system compares them.
bool DescribesSource(const std::string& described, const std::string& sourceName)
{
    return SameFileName(WideFileName(Trim(described)), WideFileName(Trim(sourceName)));
}

// The entries of the list at the job's list name when it is this file's own: a list that names
// pieces of this base alone, compared as the file system compares names. No value for anything else.
std::optional<std::vector<TSfvEntry>> OwnList(const TSplitJob& job)
{
    DWORD error = ERROR_SUCCESS;
    const std::optional<std::string> text = ReadDescriptorText(job.List, error, MaxListBytes);
    std::optional<std::vector<TSfvEntry>> entries = text ? ParseSfv(*text) : std::nullopt;
    if (!entries) return std::nullopt;
    const std::wstring stem = WideFileName(ExtractFileName(ChangeFileExt(job.Base, "")));
    for (const TSfvEntry& entry : *entries)
        if (!PieceNumberOf(entry.Name) || !SameFileName(WideFileName(ChangeFileExt(entry.Name, "")), stem))
            return std::nullopt;
    return entries;
}

// The CRC-32 the older list records for each of pieces 1 to count, when it names exactly those
// pieces; a piece listed twice with two checksums has none. No value when the list names another
// set.
std::optional<std::map<uint32_t, std::optional<uint32_t>>> ListedPieces(const std::vector<TSfvEntry>& list,
                                                                        uint32_t count)
{
    std::map<uint32_t, std::optional<uint32_t>> listed;
    for (const TSfvEntry& entry : list) {
        const uint32_t n = *PieceNumberOf(entry.Name);
        if (n == 0 || n > count) return std::nullopt;
        const auto found = listed.find(n);
        if (found == listed.end()) listed.emplace(n, entry.CRC);
        else if (found->second != entry.CRC) found->second.reset();
    }
    if (listed.size() != count) return std::nullopt;
    return listed;
}

// The pieces of the set this split replaces, numbered above its own last piece, that are provably
// that set's (see CheckSplitPlan); firstPiece: what stood at the name of piece 1.
std::vector<TStalePiece> FindStalePieces(const TInFile& source, const TSplitJob& job, const TNameSeen& firstPiece,
                                         const std::optional<std::vector<TSfvEntry>>& list, App::TBlockPump& pump)
{
    std::vector<TStalePiece> stale;
    // The older set's shape: its size from its descriptor, its piece size from its first piece.
    DWORD error = ERROR_SUCCESS;
    const std::optional<std::string> text = ReadDescriptorText(job.Descriptor, error);
    if (!text || IsUnfinishedDescriptor(*text) || !firstPiece || firstPiece->Size > 0xFFFFFFFFu) return stale;
    uint64_t size = 0;
    try {
        size = ParseDescriptor(*text).Size;
    } catch (const EConvertError&) {
        return stale;
    }
    const TPiecePlan plan{size, static_cast<uint32_t>(firstPiece->Size)};
    if (size == 0 || !plan.Accepted() || plan.Length(1) != plan.PieceSize || plan.Count() <= job.Count()) return stale;
    std::optional<std::map<uint32_t, std::optional<uint32_t>>> listed;
    if (list) {
        listed = ListedPieces(*list, plan.Count());
        if (!listed) return stale;
    }

    for (uint32_t n = job.Count() + 1; n <= plan.Count(); ++n) {
        const std::string path = PieceFileName(job.Base, n);
        pump.AfterBlock();
        if (!FitsPathLimit(path)) continue;
        const TNameLook look = InspectName(source, path);
        if (look.State != TNameState::OtherFile || !look.Seen || look.Seen->Size != plan.Length(n)) continue;
        if (!listed) {
            stale.push_back({path, *look.Seen, true});
            continue;
        }
        const std::optional<uint32_t> recorded = listed->at(n);
        if (!recorded) continue;
        unsigned long readError = ERROR_SUCCESS;
        const std::optional<uint32_t> crc = CalcFileCRC32(path, &readError, [&pump] {
            pump.AfterBlock();
            return true;
        });
        if (!crc) stale.push_back({path, *look.Seen, false});
        else if (*crc == *recorded) stale.push_back({path, *look.Seen, true});
    }
    return stale;
}

}  // namespace

void CheckSplitSource(const TInFile& source, const std::string& path)
{
    if (source.IsOpen() ? !source.IsDisk() : DirectoryExists(path)) RefuseSource(path);
}

TSplitChecked CheckSplitPlan(const TInFile& source, const TSplitJob& job)
{
    // Up to 1001 names, each asked of the system several times: messages run between them.
    App::TBlockPump pump;
    const auto fits = [&pump](const std::string& path) {
        pump.AfterBlock();
        if (!FitsPathLimit(path)) RefuseName(path, "The name is longer than the system allows.");
    };
    for (const std::string& path : job.Pieces) fits(path);
    fits(job.Descriptor);
    fits(job.List);

    const auto inspect = [&](const std::string& path) {
        pump.AfterBlock();
        const TNameLook look = InspectName(source, path);
        switch (look.State) {
        case TNameState::NotAFile: RefuseName(path, NotAFile);
        case TNameState::Source: RefuseName(path, "It is the file being split.");
        case TNameState::Link: RefuseName(path, ALink);
        case TNameState::LinkToNothing: RefuseName(path, ALinkToNothing);
        default: break;
        }
        return look;
    };
    TSplitChecked checked;
    // The descriptor first: the split writes it before its first piece.
    const TNameLook descriptor = inspect(job.Descriptor);
    checked.Descriptor = descriptor.Seen;
    for (const std::string& path : job.Pieces) checked.Pieces.push_back(inspect(path).Seen);
    const TNameLook list = inspect(job.List);
    checked.List = list.Seen;
    std::optional<std::vector<TSfvEntry>> ownList;
    if (list.State == TNameState::OtherFile) {
        // Replaced only where it is this set's own list: one that names pieces of this base alone.
        ownList = OwnList(job);
        if (!ownList)
            throw EOperationRefused("File \"" + job.List + "\" is not a checksum list of the pieces of \"" +
                                    job.SourceName + "\" that this split may replace. Nothing was split.");
        TOutFile probe;
        if (!probe.Create(job.List, TOutFile::ProbeExclusive)) RefuseName(job.List, SysErrorMessage(probe.Error()));
    }
    if (descriptor.State != TNameState::OtherFile) return checked;

    // A file at the descriptor's name is replaced only when it is this file's descriptor: one of
    // another file marks that file's set, and whatever cannot be read as a descriptor naming a
    // file (held by another program, no file name, not a descriptor at all) may be anything.
    const std::optional<std::string> described = ReadDescriptorFileName(job.Descriptor);
    if (!described || Trim(*described).empty())
        throw EOperationRefused("File \"" + job.Descriptor + "\" is not a checksum file of \"" + job.SourceName +
                                "\" that this split may replace. Nothing was split.");
    if (!DescribesSource(*described, job.SourceName))
        throw EOperationRefused("Checksum file \"" + job.Descriptor + "\" describes the file \"" + *described +
                                "\"; splitting \"" + job.SourceName +
                                "\" here would overwrite its pieces. Nothing was split.");
    // This file's own descriptor, held by another program, could not be replaced after the pieces:
    // the split would leave new pieces beside the old descriptor.
    TOutFile probe;
    if (!probe.Create(job.Descriptor, TOutFile::ProbeExclusive))
        RefuseName(job.Descriptor, SysErrorMessage(probe.Error()));
    probe.Close();

    checked.Stale = FindStalePieces(source, job, checked.Pieces.front(), ownList, pump);
    return checked;
}
