#include "CombineDlg.h"

#include "PathText.h"
#include "SplitFiles.h"
#include "nettools.h"
#include "resource.h"

namespace {
const TFormLayout CombineLayout = {328, 125,
                                   {{IDC_IMAGE1, 8, 8, 33, 33},
                                    {IDC_LABEL1, 56, 16, 265, 29},
                                    {IDC_SBBROWSE, 298, 55, 22, 22},
                                    {IDC_BTOK, 168, 96, 75, 25},
                                    {IDC_BTCANCEL, 248, 96, 75, 25},
                                    {IDC_EDTARGETDIR, 8, 56, 289, 21}}};
}  // namespace

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
        return MessageBoxA(App::OwnerWindow(), "Path not found. Please check it.", "Path not found",
                           MB_OK | MB_ICONERROR);
    });
}

void ExecuteCombineDialog(HWND HostWindow, const std::string& FileName, const std::string& TargetDir,
                          TPlugInProgressProc Progress)
{
    // Set before the form exists, so that the dialog window is owned by the host window.
    App::TOwnerWindowScope owner(HostWindow);
    TCombineDialog dialog;
    const std::string name = ExtractFileName(FileName);
    dialog.Label1 = "Combine " + name + " and all files with ascending names to directory:";
    dialog.TargetDir = TargetDir;
    if (dialog.ShowModal() != TCombineDialog::mrOk) return;

    // A combine that fails its check is reported in its closing phase, before the closing progress
    // call, while the host's progress display still shows the combine.
    const TCombineVerdict verdict = [](const TOutcome& outcome) {
        if (!outcome.Ok()) MessageBoxA(App::OwnerWindow(), "CRC Error.", "Error", MB_OK | MB_ICONERROR);
    };
    if (RunCombine(FileName, dialog.TargetDir, Progress, verdict).Ok()) {
        const std::string text = "File " + name + " succefully combined. CRC checksum - OK!";
        MessageBoxA(App::OwnerWindow(), text.c_str(), "Combine files", MB_OK | MB_ICONINFORMATION);
    }
}
