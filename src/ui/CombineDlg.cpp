#include "CombineDlg.h"

#include "PieceNames.h"
#include "SplitFiles.h"
#include "nettools.h"
#include "resource.h"

TCombineDialog::TCombineDialog() : TFormDialog(IDD_COMBINE) {}

void TCombineDialog::btOKClick()
{
    // A UNC target is accepted only when its share can be connected.
    if (UNCDirectoryExists(ControlText(IDC_EDTARGETDIR))) {
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

    if (CombineFiles(FileName, dialog.TargetDir, Progress)) {
        const std::string text = "File " + name + " succefully combined. CRC checksum - OK!";
        MessageBoxA(App::OwnerWindow(), text.c_str(), "Combine files", MB_OK | MB_ICONINFORMATION);
    }
}
