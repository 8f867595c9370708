// Placeholder until the dialog lands: runs nothing.
#include "SplitDlg.h"

void ExecuteSplitDialog(HWND, const std::string&, const std::string&, TPlugInProgressProc) {}
