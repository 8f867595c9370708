#include "CombineDlg.h"

#include "HostTexts.h"
#include "PathText.h"
#include "SplitFiles.h"
#include "nettools.h"
#include "resource.h"

const TFormLayout CombineLayout = {328, 125,
                                   {{IDC_IMAGE1, 8, 8, 33, 33},
                                    {IDC_LABEL1, 56, 16, 265, 29},
                                    {IDC_SBBROWSE, 298, 55, 22, 22},
                                    {IDC_BTOK, 168, 96, 75, 25},
                                    {IDC_BTCANCEL, 248, 96, 75, 25},
                                    {IDC_EDTARGETDIR, 8, 56, 289, 21}}};

TCombineDialog::TCombineDialog() : TFormDialog(IDD_COMBINE, CombineLayout) {}

void TCombineDialog::btOKClick()
{
    // The directory the combine writes into, as it joins names to the text. A UNC target is
    // accepted only when its share can be connected.
    if (UNCTargetDirectoryExists(ControlText(IDC_EDTARGETDIR))) {
        SetModalResult(mrOk);
        return;
    }
    Nested([] {
        return MessageBoxA(App::OwnerWindow(), hosttext::PathNotFound, hosttext::PathNotFoundCaption,
                           MB_OK | MB_ICONERROR);
    });
}

void ExecuteCombineDialog(HWND HostWindow, const std::string& FileName, const std::string& TargetDir,
                          TPlugInProgressProc Progress)
{
    // Set before the form exists, so that the dialog window is owned by the host window.
    App::TOwnerWindowScope owner(HostWindow);
    TCombineDialog dialog;
    // A piece with its checksum file beside it is combined as if the checksum file was selected.
    const TCombineSource source = FindCombineSource(FileName);
    const std::string name = ExtractFileName(source.HasDescriptor ? source.Descriptor : FileName);
    dialog.Label1 = hosttext::With(hosttext::CombineLabel, name);
    dialog.TargetDir = TargetDir;
    if (dialog.ShowModal() != TCombineDialog::mrOk) return;
    // Worked out once, after the target is known and before anything is written; what it refuses
    // is the combine's result.
    const TCombineJob job = MakeCombineJob(source, dialog.TargetDir);

    // A combine that fails is reported with its cause before the closing progress call, while the
    // host's progress display still shows the combine; one that fails before it writes anything
    // makes no progress call at all. A success's box follows the closing call. A failed check is a
    // "CRC Error."; a join without a checksum file checks nothing, so its cause stands alone.
    // Temporary files of earlier runs that the combine met are named after its result.
    const auto leftovers = [](const TOutcome& outcome) {
        if (outcome.Leftovers.empty()) return std::string();
        std::string text = "\r\n\r\nLeft over from earlier combines:";
        for (const std::string& path : outcome.Leftovers) text += " \"" + path + "\"";
        return text + ". They may be deleted.";
    };
    // The pieces rebuilt from PAR2 recovery files, a line each, after the success's text.
    const auto rebuilt = [](const TOutcome& outcome) {
        std::string text;
        for (const TRebuiltPiece& piece : outcome.Done.Rebuilt) text += "\r\n" + RebuiltText(piece);
        return text.empty() ? text : "\r\n" + text;
    };
    TClosingReport closing;
    const TOutcome outcome = RunCombine(job, Progress, &closing);
    if (!outcome.Ok()) {
        if (outcome.Cause != TCause::NoMemory) {
            const std::string cause = FailureText(outcome);
            // A refusal in its own words stands alone, as the host's error box shows every error.
            const bool alone = outcome.WithoutDescriptor || outcome.Cause == TCause::Error;
            const std::string text = (alone ? cause : hosttext::CRCError + ("\r\n\r\n" + cause)) + leftovers(outcome);
            MessageBoxA(App::OwnerWindow(), text.c_str(), hosttext::ErrorCaption, MB_OK | MB_ICONERROR);
        }
        closing.Send();
        return;
    }
    closing.Send();
    if (outcome.WithoutDescriptor) {
        const std::string joined = "File " + ExtractFileName(job.Output) + " combined from " +
                                   std::to_string(outcome.Done.Pieces) + (outcome.Done.Pieces == 1 ? " piece, " : " pieces, ") +
                                   ByteCount(outcome.Done.Joined);
        if (!outcome.Done.Unverified) {
            // Every piece matched the checksum its list records.
            const std::string text = joined + ". Verified: every piece matches " + outcome.List + "." + rebuilt(outcome) +
                                     leftovers(outcome);
            MessageBoxA(App::OwnerWindow(), text.c_str(), hosttext::CombineCaption, MB_OK | MB_ICONINFORMATION);
            return;
        }
        const std::string why = outcome.Done.ListUnused.empty() ? std::string() : " (" + outcome.Done.ListUnused + ")";
        const std::string text = joined + ". It could not be verified: there is no checksum file " +
                                 ExtractFileName(source.Descriptor) + " beside the pieces" + why + "." +
                                 leftovers(outcome);
        MessageBoxA(App::OwnerWindow(), text.c_str(), hosttext::CombineCaption, MB_OK | MB_ICONWARNING);
        return;
    }
    // A list beside the pieces that the verified result contradicts is no sign of damage: it
    // belongs to another set, or is out of date.
    const std::string list =
        outcome.Done.ListMismatch.empty() ? std::string() : "\r\n\r\n" + ListMismatchText(outcome.Done.ListMismatch);
    const std::string text = hosttext::With(hosttext::CombineDone, name) + list + rebuilt(outcome) + leftovers(outcome);
    MessageBoxA(App::OwnerWindow(), text.c_str(), hosttext::CombineCaption, MB_OK | MB_ICONINFORMATION);
}
