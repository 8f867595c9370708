# shellcheck shell=bash
# bench/par2peer.sh - sourced by bench/host/repair and bench/engine/run; defines, runs nothing.
# The repair benchmarks' common ground: a set of ten pieces with recovery data from Debian's par2,
# one piece lost, and the peer that rebuilds it (par2 repair, then cat of the pieces and
# rhash --crc32 of the result, as a user without this library would do it).
#   par2_recovery DIR BASE   par2 create over DIR/BASE.0?? with its default slice count and 12 %
#                            redundancy (one piece of ten is 10 % and its slices' rounding), then
#                            DIR/BASE.004 removed: the piece to rebuild
#   par2_peer DIR BASE SHA   times the peer into $peer_took (seconds) and leaves DIR as it was
#                            (the rebuilt piece and cat's output removed); fails when par2 fails
#                            or cat's output is not the file whose sha256 is SHA
#   route                    how the i686 programs run here: native-32-bit or qemu-i386
par2_recovery() {
    (cd "$1" && par2 create -q -q -r12 "$2.par2" "$2".0?? >/dev/null) || return 1
    rm "$1/$2.004"
}
par2_peer() {
    local t0 t1
    t0=$(date +%s.%N)
    (cd "$1" && par2 repair -q -q "$2.par2" >/dev/null) || return 1
    cat "$1/$2".0?? >"$1/../par2-cat.bin"
    rhash --crc32 "$1/../par2-cat.bin" >/dev/null
    t1=$(date +%s.%N)
    # shellcheck disable=SC2034  # read by the sourcing script
    peer_took=$(echo "$t1 - $t0" | bc -l)
    [ "$(sha256sum <"$1/../par2-cat.bin" | cut -d' ' -f1)" = "$3" ] || { echo "par2_peer: cat's output differs" >&2; return 1; }
    rm -f "$1/../par2-cat.bin" "$1/$2.004" "$1/$2".0??.1
}
route() { if [ -e "${PE32_HOME:-/opt/pe32}/native32" ]; then echo native-32-bit; else echo qemu-i386; fi; }
