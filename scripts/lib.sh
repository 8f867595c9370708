# scripts/lib.sh - sourced by the project's bash scripts; defines, runs nothing:
#   set_up [--all]  as root, scripts/setup first: the tier that builds and runs the library, or with
#                   --all everything that the tests, fuzzers and benchmarks need too (it returns at
#                   once when that is done); then pe32_env
#   pe32_env        PE32_HOME (default /opt/pe32, exported) and the environment scripts/setup wrote
#                   to $PE32_HOME/env.sh: Wine's programs, the prefix, qemu's shim where needed
#   winpath PATH    the name a Windows program under Wine gives a Unix path (Z: and backslashes)
#   host_test_start BINDIR NAME [DIR]
#                   for the reference host's tests: BIN (BINDIR made absolute), RUN (wine-run), LIB
#                   (zandrel.pdl's name under Wine) and WORK, a new scratch directory
#                   DIR/zandrel-NAME.XXXXXX (DIR default /tmp) that is removed on exit
ZANDREL_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

pe32_env() {
    export PE32_HOME=${PE32_HOME:-/opt/pe32}
    if [ ! -f "$PE32_HOME/env.sh" ]; then
        echo "$PE32_HOME/env.sh is missing: run scripts/setup as root first" >&2
        return 1
    fi
    # shellcheck disable=SC1091
    . "$PE32_HOME/env.sh"
}

set_up() {
    export PE32_HOME=${PE32_HOME:-/opt/pe32}
    if [ "$(id -u)" = 0 ]; then "$ZANDREL_ROOT/scripts/setup" "$@" || return 1; fi
    pe32_env
}

winpath() { echo "Z:$(echo "$1" | tr / '\\')"; }

host_test_start() {
    BIN=$(cd "$1" && pwd) || return 1
    RUN=$ZANDREL_ROOT/cmake/wine-run
    LIB=$(winpath "$BIN/zandrel.pdl")
    WORK=$(mktemp -d "${3:-/tmp}/zandrel-$2.XXXXXX") || return 1
    trap 'rm -rf "$WORK"' EXIT
}
