#include "PrgConst.h"

#include <iterator>

std::string PrgConstTexts[PrgConstCount];

namespace {

// Menu entries, option captions and messages of the host's interface. The table is kept short:
// the remaining entries are numbered texts that stand in for captions no part of the library uses.
const char* const Known[] = {
    "&File", "&Edit", "&View", "&Commands", "&Options", "&Help", "&Open", "Open &with...", "&Copy...",
    "&Move...", "&Delete", "&Rename", "Make &directory", "&Properties", "E&xit", "Select &all",
    "&Unselect all", "&Invert selection", "&Refresh", "&Brief", "&Full", "&Tree", "Sort by &name",
    "Sort by e&xtension", "Sort by &size", "Sort by &date", "&Unsorted", "&Find files...",
    "&Compare directories", "&Split file...", "Com&bine files...", "&Settings...", "&Plug-ins...",
    "&About...", "OK", "Cancel", "Yes", "No", "Yes to &all", "&Skip", "&Retry", "&Abort",
    "Source", "Target", "Left panel", "Right panel", "Free space", "Files", "Directories",
    "Selected", "bytes", "Please wait...", "Operation cancelled.", "Access denied.",
    "File already exists. Overwrite?", "Delete selected files?", "Disk is full.",
    "Drive is not ready.", "Directory is not empty.", "Cannot read directory.",
};

}  // namespace

void InitializePrgConst()
{
    const int known = static_cast<int>(std::size(Known));
    for (int i = 0; i < PrgConstCount; ++i)
        PrgConstTexts[i] = i < known ? std::string(Known[i]) : "Text " + std::to_string(i + 1);
}

void FinalizePrgConst()
{
    for (std::string& text : PrgConstTexts) {
        text.clear();
        text.shrink_to_fit();
    }
}
