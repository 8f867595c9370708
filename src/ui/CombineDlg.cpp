// Placeholder until the dialog lands: runs nothing.
#include "CombineDlg.h"

void ExecuteCombineDialog(HWND, const std::string&, const std::string&, TPlugInProgressProc) {}
