#!/bin/bash
# shoot.sh BUILD_DIR [split|combine|browse ...] - screenshots of the dialogs under Xvfb.
# Opens each dialog through screenshot.exe (built beside the tests from tools/screenshot), grabs the
# screen with ImageMagick's import and crops it to the dialog's window. Output: docs/<name>-dialog.png
# (browse: docs/browse-dialog.png). Needs DISPLAY (an X server such as Xvfb).
set -eu
build=$(cd "$1" && pwd); shift
root=$(cd "$(dirname "$0")/../.." && pwd)
[ $# -gt 0 ] || set -- split combine
# shellcheck source=scripts/lib.sh
. "$root/scripts/lib.sh"
exe="$build/bin/screenshot.exe"
for which in "$@"; do
    work=$(mktemp -d /tmp/zandrel-shot.XXXXXX)
    ZANDREL_SHOT_DIALOG=$which ZANDREL_SHOT_RECT=$(winpath "$work/rect") \
        ZANDREL_SHOT_DONE=$(winpath "$work/done") WINEDEBUG=-all \
        "$root/cmake/wine-run" "$exe" >"$work/log" 2>&1 &
    pid=$!
    for _ in $(seq 1 300); do [ -s "$work/rect" ] && break; sleep 0.1; done
    [ -s "$work/rect" ] || { wait "$pid"; cat "$work/log"; echo "shoot.sh: no $which dialog" >&2; exit 1; }
    read -r x y w h <"$work/rect"
    import -window root "$work/screen.png"
    mkdir -p "$root/docs"
    convert "$work/screen.png" -crop "${w}x${h}+${x}+${y}" +repage "$root/docs/$which-dialog.png"
    touch "$work/done"
    wait "$pid" || { cat "$work/log"; exit 1; }
    rm -rf "$work"
    echo "docs/$which-dialog.png (${w}x${h})"
done
