# Sourced by scripts/test and scripts/demo: starts what Windows programs need for one run and
# stops only what it started.
#   wine_session_start [XVFB_LOG]  an Xvfb (unless NEW_DISPLAY=0 and DISPLAY is set) and a
#                                  persistent wineserver (unless one already runs)
#   wine_session_stop              stops both again, if this run started them
WINE_SESSION_XPID=""
WINE_SESSION_SERVER=0

wine_session_start() {
    local log=${1:-/dev/null} d
    if [ "${NEW_DISPLAY:-1}" = 1 ] || [ -z "${DISPLAY:-}" ]; then
        # a display is taken by its files in /tmp, or (an X server in another root, sharing this
        # network namespace) by its abstract socket alone
        for d in $(seq 90 130); do
            [ -e "/tmp/.X11-unix/X$d" ] || [ -e "/tmp/.X$d-lock" ] ||
                grep -q "@/tmp/.X11-unix/X$d\$" /proc/net/unix 2>/dev/null || break
        done
        Xvfb ":$d" -screen 0 1280x1024x24 -nolisten tcp >"$log" 2>&1 &
        WINE_SESSION_XPID=$!
        export DISPLAY=":$d"
        for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$d" ] && break; sleep 0.1; done
    fi
    # Later programs start in about half a second against a server that stays up. The server
    # belongs to this WINEPREFIX: it refuses to start when one already serves the prefix, and
    # then the run uses that one and leaves it running.
    if "$PE32_WINESERVER" -p </dev/null >/dev/null 2>&1; then WINE_SESSION_SERVER=1; fi
    return 0
}

wine_session_stop() {
    [ "$WINE_SESSION_SERVER" = 1 ] && { "$PE32_WINESERVER" -k >/dev/null 2>&1 || true; }
    [ -n "$WINE_SESSION_XPID" ] && { kill "$WINE_SESSION_XPID" 2>/dev/null || true; }
    WINE_SESSION_SERVER=0; WINE_SESSION_XPID=""
    return 0
}
