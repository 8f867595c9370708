#include "SplitChecks.h"

#include <windows.h>

#include "App.h"
#include "DescriptorFile.h"
#include "Errors.h"
#include "PieceNames.h"
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

TNameState InspectName(const TInFile& source, const std::string& path)
{
    if (DirectoryExists(path)) return TNameState::NotAFile;
    TInFile there;
    // Nothing there, or nothing that lets itself be looked at: the copy meets it as before, unless
    // it is a link that leads nowhere, which the copy would write through.
    if (!there.Open(path, TInFile::InspectOnly))
        return IsLinkToNothing(path) ? TNameState::LinkToNothing : TNameState::Unseen;
    if (!there.IsDisk()) return TNameState::NotAFile;
    if (source.SameFileAs(there)) return TNameState::Source;
    return there.OnlyReachedBy(path) ? TNameState::OtherFile : TNameState::Link;
}

// The descriptor's file name and the source's, as the descriptor reader reads names (trimmed of
// spaces and control characters at both ends) and as the file system compares them.
bool DescribesSource(const std::string& described, const std::string& sourceName)
{
    return SameFileName(WideFileName(Trim(described)), WideFileName(Trim(sourceName)));
}

}  // namespace

void CheckSplitSource(const TInFile& source, const std::string& path)
{
    if (source.IsOpen() ? !source.IsDisk() : DirectoryExists(path)) RefuseSource(path);
}

std::vector<std::string> CheckSplitPlan(const TInFile& source, const TSplitJob& job)
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
        const TNameState state = InspectName(source, path);
        switch (state) {
        case TNameState::NotAFile: RefuseName(path, NotAFile);
        case TNameState::Source: RefuseName(path, "It is the file being split.");
        case TNameState::Link: RefuseName(path, ALink);
        case TNameState::LinkToNothing: RefuseName(path, ALinkToNothing);
        default: break;
        }
        return state;
    };
    // The descriptor first: the split writes it before its first piece.
    const TNameState descriptor = inspect(job.Descriptor);
    for (const std::string& path : job.Pieces) inspect(path);
    if (inspect(job.List) == TNameState::OtherFile) {
        // Replaced only where it is this set's own list: one that names pieces of this base alone.
        DWORD error = ERROR_SUCCESS;
        const std::optional<std::string> text = ReadDescriptorText(job.List, error, MaxListBytes);
        const std::optional<std::vector<TSfvEntry>> entries = text ? ParseSfv(*text) : std::nullopt;
        const std::wstring stem = WideFileName(ExtractFileName(ChangeFileExt(job.Base, "")));
        bool own = entries.has_value();
        for (size_t i = 0; own && i < entries->size(); ++i) {
            const std::string& name = (*entries)[i].Name;
            own = PieceNumberOf(name) && SameFileName(WideFileName(ChangeFileExt(name, "")), stem);
        }
        if (!own)
            throw EOperationRefused("File \"" + job.List + "\" is not a checksum list of the pieces of \"" +
                                    job.SourceName + "\" that this split may replace. Nothing was split.");
        TOutFile probe;
        if (!probe.Create(job.List, TOutFile::ProbeExclusive)) RefuseName(job.List, SysErrorMessage(probe.Error()));
    }
    if (descriptor != TNameState::OtherFile) return {};

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

    // The replaced set's pieces above this split's last one.
    std::vector<std::string> stale;
    for (uint32_t n = job.Count() + 1;; ++n) {
        const std::string path = PieceFileName(job.Base, n);
        if (!ExistsByName(path)) break;
        pump.AfterBlock();
        if (!FitsPathLimit(path)) break;
        if (inspect(path) != TNameState::OtherFile)
            throw EOperationRefused("File \"" + path + "\" belongs to the set this split replaces and cannot be removed. Nothing was split.");
        stale.push_back(path);
    }
    return stale;
}
