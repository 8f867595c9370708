// The shell's modal folder chooser.
#pragma once
#include <string>

// Shows the chooser owned by the owner window, with Title above the tree and Root (empty: the
// whole shell namespace) at its top. Path is the folder to preselect on entry (cleared first when
// it names no existing directory) and the chosen folder on a true result. False when cancelled or
// when the chooser could not open; Path then keeps its (possibly cleared) value.
bool BrowseForFolder(const std::string& Title, const std::wstring& Root, std::string& Path);
