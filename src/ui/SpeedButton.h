// A speed button: a push-button face with a two-image glyph (normal, disabled) that never takes
// the focus. A click sends WM_COMMAND with BN_CLICKED to the parent, like a button; BM_CLICK
// clicks it too. The glyph is the browse bitmap of the module's resources.
#pragma once
#include <windows.h>

// Registers the window class for one scope (one command's dialog) and unregisters it afterwards,
// so that an unloaded library leaves no class behind that points into its code.
class TSpeedButtonClass {
public:
    TSpeedButtonClass();
    ~TSpeedButtonClass();
    TSpeedButtonClass(const TSpeedButtonClass&) = delete;
    TSpeedButtonClass& operator=(const TSpeedButtonClass&) = delete;

private:
    bool registered_ = false;
};
