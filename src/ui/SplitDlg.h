// The split dialog: target directory and piece size, then the split and its success message.
#pragma once
#include <windows.h>

#include <cstdint>
#include <string>

#include "FormDialog.h"
#include "ProgressProc.h"

// Runs the whole "Split file" command modally under HostWindow. Errors raised inside pass on to
// the caller after the dialog is destroyed and the owner window restored.
void ExecuteSplitDialog(HWND HostWindow, const std::string& FileName, const std::string& TargetDir,
                        TPlugInProgressProc Progress);

// The piece-size text to bytes with the user's decimal separator; 0 when it is not a size.
uint32_t ParseTargetSize(const std::string& text);

// Where the split form puts its controls (FormDialog.h).
extern const TFormLayout SplitLayout;

// The form: label, target directory, piece size.
class TSplitDialog : public TFormDialog {
public:
    TSplitDialog();
    // The piece size that btOKClick read from cbTrgSize and accepted; 0 until then.
    uint32_t PieceSize = 0;

protected:
    void FormShow() override;
    void btOKClick() override;
};
