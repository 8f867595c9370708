// Resource and control identifiers of the dialogs. A host or test finds the controls by these
// numbers, so they stay as they are.
#pragma once

#define IDD_SPLIT 100
#define IDD_COMBINE 101

#define IDI_ZANDREL 110
#define IDB_BROWSE 111

#define IDC_IMAGE1 1000
#define IDC_LABEL1 1001
#define IDC_SBBROWSE 1002
#define IDC_LABEL2 1003
#define IDC_BTOK 1004
#define IDC_BTCANCEL 2 /* IDCANCEL: Esc and the close box press it */
#define IDC_EDTARGETDIR 1005
#define IDC_CBTRGSIZE 1006

/* The class of the non-focusable speed button that opens the folder chooser. */
#define ZANDREL_SPEEDBUTTON_CLASS "ZandrelSpeedButton"
