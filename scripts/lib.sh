# scripts/lib.sh - sourced by the project's bash scripts; defines, runs nothing:
#   set_up [--all]  as root, scripts/setup first: the tier that builds and runs the library, or with
#                   --all everything that the tests, fuzzers and benchmarks need too (it returns at
#                   once when that is done); then pe32_env
#   pe32_env        PE32_HOME (default /opt/pe32, exported) and the environment scripts/setup wrote
#                   to $PE32_HOME/env.sh: Wine's programs, the prefix, qemu's shim where needed
#   winpath PATH    the name a Windows program under Wine gives a Unix path (Z: and backslashes)
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
