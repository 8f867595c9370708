#include "HostWindowState.h"

#include <initializer_list>

namespace App {

THostEnabledScope::THostEnabledScope(HWND host) noexcept
{
    if (!host || !IsWindow(host)) return;
    host_ = {host, IsWindowEnabled(host) != FALSE};
    HWND top = GetAncestor(host, GA_ROOT);
    if (top && top != host) top_ = {top, IsWindowEnabled(top) != FALSE};
}

THostEnabledScope::~THostEnabledScope()
{
    // The frame first, then the window inside it; only what differs is changed, so a host that
    // was left as it was sees no WM_ENABLE at all.
    for (const TSaved& saved : {top_, host_})
        if (saved.window && IsWindow(saved.window) && (IsWindowEnabled(saved.window) != FALSE) != saved.enabled)
            EnableWindow(saved.window, saved.enabled ? TRUE : FALSE);
}

}  // namespace App
