#include "SplitDlg.h"

#include "HostTexts.h"
#include "PathText.h"
#include "SplitFiles.h"
#include "TargetSize.h"
#include "UserLocale.h"
#include "nettools.h"
#include "resource.h"

namespace {

// The piece-size presets as the form holds them; FormShow renders 0 and 1 again with the user's
// decimal separator. The last is the largest whole number of megabytes a FAT32 file can hold.
const char* const SizePresets[] = {
    "1.44 Mb (3.5\")", "1.2 Mb (5.25\")", "720 Kb (3.5\")", "360 Kb (5.25\")",
    "100 Mb (ZIP)",    "250 Mb (ZIP)",    "650 Mb (CD)",     "4095 Mb (FAT32)",
};

}  // namespace

uint32_t ParseTargetSize(const std::string& text) { return ParseTargetSize(text, LocaleDecimalSeparator()); }

const TFormLayout SplitLayout = {328, 150,
                                 {{IDC_IMAGE1, 8, 8, 33, 33},
                                  {IDC_LABEL1, 56, 16, 241, 30},
                                  {IDC_SBBROWSE, 298, 55, 22, 22},
                                  {IDC_LABEL2, 8, 88, 63, 13},
                                  {IDC_BTOK, 168, 120, 75, 25},
                                  {IDC_BTCANCEL, 248, 120, 75, 25},
                                  {IDC_EDTARGETDIR, 8, 56, 289, 21},
                                  {IDC_CBTRGSIZE, 80, 80, 145, 21}}};

TSplitDialog::TSplitDialog() : TFormDialog(IDD_SPLIT, SplitLayout) {}

void TSplitDialog::FormShow()
{
    HWND combo = GetDlgItem(Handle(), IDC_CBTRGSIZE);
    SendMessageA(combo, CB_RESETCONTENT, 0, 0);
    for (const char* item : SizePresets) SendMessageA(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item));

    // Written from their digits: a number formatted by the C runtime would follow its locale,
    // which the host may have set to another separator than the user's.
    const char separator = LocaleDecimalSeparator();
    const std::string item0 = std::string("1") + separator + "44 Mb (3.5\")";
    const std::string item1 = std::string("1") + separator + "2 Mb (5.25\")";
    SendMessageA(combo, CB_DELETESTRING, 0, 0);
    SendMessageA(combo, CB_INSERTSTRING, 0, reinterpret_cast<LPARAM>(item0.c_str()));
    SendMessageA(combo, CB_DELETESTRING, 1, 0);
    SendMessageA(combo, CB_INSERTSTRING, 1, reinterpret_cast<LPARAM>(item1.c_str()));
    // The text shows preset 0, yet no item is selected.
    SendMessageA(combo, CB_SETCURSEL, static_cast<WPARAM>(-1), 0);
    SetWindowTextA(combo, item0.c_str());
}

void TSplitDialog::btOKClick()
{
    // Both messages have no owner: the dialog stays usable while they are shown.
    const std::string dir = ControlText(IDC_EDTARGETDIR);
    // The directory the split writes into, as it joins names to the text.
    if (!TargetDirectoryExists(dir)) {
        const std::string text = hosttext::With(hosttext::DirectoryNotFound, dir);
        Nested([&] { return MessageBoxA(nullptr, text.c_str(), hosttext::SplitCaption, MB_OK | MB_ICONERROR); });
        return;
    }
    PieceSize = ParseTargetSize(ControlText(IDC_CBTRGSIZE));
    if (PieceSize == 0) {
        Nested([] {
            return MessageBoxA(nullptr, hosttext::SizeInvalid, hosttext::SplitCaption,
                               MB_OK | MB_ICONERROR);
        });
        return;
    }
    SetModalResult(mrOk);
}

void ExecuteSplitDialog(HWND HostWindow, const std::string& FileName, const std::string& TargetDir,
                        TPlugInProgressProc Progress)
{
    // Set before the form exists, so that the dialog window is owned by the host window.
    App::TOwnerWindowScope owner(HostWindow);
    TSplitDialog dialog;
    const std::string name = ExtractFileName(FileName);
    dialog.Label1 = hosttext::With(hosttext::SplitLabel, name);
    dialog.TargetDir = TargetDir;
    if (dialog.ShowModal() != TSplitDialog::mrOk) return;

    if (dialog.PieceSize == 0) return;
    // The closing progress call before the box, which the user reads once the host shows the end.
    TClosingReport closing;
    const TOutcome outcome = RunSplit(FileName, dialog.TargetDir, dialog.PieceSize, Progress, &closing);
    closing.Send();
    if (outcome.Ok()) {
        // What the split could not do beside a complete set: write its list over a file another
        // program made, remove pieces of the set it replaced that are held open or read-only.
        std::string text = hosttext::With(hosttext::SplitDone, name);
        if (!outcome.Done.ListSkipped.empty())
            text += "\r\n\r\nNo checksum list was written. " + outcome.Done.ListSkipped;
        if (!outcome.Leftovers.empty()) {
            text += "\r\n\r\nLeft over from the replaced set:";
            for (const std::string& path : outcome.Leftovers) text += " \"" + path + "\"";
            text += outcome.Leftovers.size() == 1 ? ". It may be deleted." : ". They may be deleted.";
        }
        MessageBoxA(App::OwnerWindow(), text.c_str(), hosttext::SplitCaption, MB_OK | MB_ICONINFORMATION);
    } else if (outcome.Cause == TCause::Error) {
        // A refusal, or a checksum file that cannot be created, in its own words, as the host's
        // error box shows every error of a command.
        const std::string text = FailureText(outcome);
        MessageBoxA(App::OwnerWindow(), text.c_str(), hosttext::ErrorCaption, MB_OK | MB_ICONERROR);
    } else if (outcome.Cause != TCause::Cancelled) {
        // A split that failed says why; the user's own cancel needs no word. The pieces written
        // until then stay where they are.
        const std::string text = "File " + name + " was not split.\r\n\r\n" + FailureText(outcome);
        MessageBoxA(App::OwnerWindow(), text.c_str(), hosttext::SplitCaption, MB_OK | MB_ICONERROR);
    }
}
