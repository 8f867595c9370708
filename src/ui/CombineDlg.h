// The combine dialog: target directory, then the combine and its success message.
#pragma once
#include <windows.h>

#include <string>

#include "FormDialog.h"
#include "ProgressProc.h"

// Runs the whole "Combine files" command modally under HostWindow. Errors raised inside pass on to
// the caller after the dialog is destroyed and the owner window restored.
void ExecuteCombineDialog(HWND HostWindow, const std::string& FileName, const std::string& TargetDir,
                          TPlugInProgressProc Progress);

// Where the combine form puts its controls (FormDialog.h).
extern const TFormLayout CombineLayout;

// The form: label and target directory.
class TCombineDialog : public TFormDialog {
public:
    TCombineDialog();

protected:
    void btOKClick() override;
};
