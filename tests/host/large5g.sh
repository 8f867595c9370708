#!/bin/bash
# A 5 GiB file through the reference host and the real zandrel.pdl, checked against tools that share
# nothing with the library: GNU split cuts the pieces, Python's zlib.crc32 gives the checksum, a
# descriptor is written here by printf. The library must combine that set byte for byte, and its
# own split with "4095 Mb" pieces must give the same pieces and descriptor, which it combines back.
# Writes about 10 GiB (two sets of pieces, one rebuilt file at a time) and takes minutes, so it is
# not part of scripts/test; run it by hand after a build:
#   tests/host/large5g.sh build/win32/bin [SCRATCHDIR]      (default scratch: /tmp)
set -uo pipefail
# shellcheck source=scripts/lib.sh
. "$(dirname "$0")/../../scripts/lib.sh"
host_test_start "$1" 5g "${2:-/tmp}" || exit 1
export ZANDREL_TEST_TIMEOUT=${ZANDREL_TEST_TIMEOUT:-3600}
fail() { echo "FAIL: $*"; cat "$WORK/out" 2>/dev/null | tail -20; exit 1; }
step() { echo "$(date -u +%T) $*"; }

SIZE=$((5 * 1024 * 1024 * 1024))
PIECE=$((4095 * 1024 * 1024))
free=$(df -B1 --output=avail "$WORK" | tail -1)
[ "$free" -gt $((11 * 1024 * 1024 * 1024)) ] || fail "needs 11 GiB free in $WORK"

step "sparse source of $SIZE bytes, data at the start, across 2 GiB, 4 GiB and the piece boundary, and at the end"
truncate -s "$SIZE" "$WORK/disc.img"
for at in 0 $((2147483648 - 4096)) $((PIECE - 4096)) $((4294967296 - 4096)) $((SIZE - 8192)); do
    head -c 8192 /dev/urandom | dd of="$WORK/disc.img" bs=8192 seek=$((at / 8192)) conv=notrunc status=none ||
        fail "marking the source"
done
[ "$(stat -c %s "$WORK/disc.img")" = "$SIZE" ] || fail "source size"

step "independent set: GNU split -b $PIECE, zlib.crc32, printf"
mkdir "$WORK/gnu" "$WORK/p" "$WORK/r"
(cd "$WORK/gnu" && split -b "$PIECE" -d -a 3 --numeric-suffixes=1 ../disc.img disc.) || fail "GNU split"
crc=$(python3 -c '
import sys, zlib
c = 0
with open(sys.argv[1], "rb") as f:
    for block in iter(lambda: f.read(1 << 24), b""):
        c = zlib.crc32(block, c)
print("%X" % c)' "$WORK/disc.img") || fail "zlib.crc32"
printf 'filename=disc.img\r\nsize=%s\r\ncrc32=%s\r\n' "$SIZE" "$crc" >"$WORK/gnu/disc.crc"
cat "$WORK/gnu/disc.crc"

step "combine of the independent set through pdlhost"
"$RUN" "$BIN/pdlhost.exe" combine "$LIB" "$(winpath "$WORK/gnu/disc.crc")" "$(winpath "$WORK/r")" --auto \
    >"$WORK/out" 2>&1 || fail "combine"
cmp "$WORK/disc.img" "$WORK/r/disc.img" || fail "rebuilt bytes differ"
rm -f "$WORK/r/disc.img"

step "split through pdlhost --auto \"4095 Mb\""
"$RUN" "$BIN/pdlhost.exe" split "$LIB" "$(winpath "$WORK/disc.img")" "$(winpath "$WORK/p")" --auto "4095 Mb" \
    >"$WORK/out" 2>&1 || fail "split"
grep -q 'File disc.img succefully splitted.' "$WORK/out" || fail "success message"
[ "$(cd "$WORK/p" && echo *)" = "disc.001 disc.002 disc.crc" ] || fail "pieces: $(cd "$WORK/p" && echo *)"
for f in disc.001 disc.002 disc.crc; do cmp "$WORK/gnu/$f" "$WORK/p/$f" || fail "$f differs from the independent one"; done
rm -rf "$WORK/gnu"

step "combine of the library's own set through pdlhost"
"$RUN" "$BIN/pdlhost.exe" combine "$LIB" "$(winpath "$WORK/p/disc.crc")" "$(winpath "$WORK/r")" --auto \
    >"$WORK/out" 2>&1 || fail "combine"
cmp "$WORK/disc.img" "$WORK/r/disc.img" || fail "rebuilt bytes differ"
step "done"
echo "1 passed, 0 failed"
