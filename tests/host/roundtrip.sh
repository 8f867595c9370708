#!/bin/bash
# The reference host end to end: split a file through the real zandrel.pdl with a typed size and
# with a preset, combine it back, and check the bytes; a damaged piece must end in "CRC Error."
# and leave no rebuilt file; sizes that wrap around are refused. Usage: roundtrip.sh BINDIR
set -uo pipefail
BIN=$1
RUN=$(dirname "$0")/../../cmake/wine-run
WORK=$(mktemp -d /tmp/zandrel-host.XXXXXX)
trap 'rm -rf "$WORK"' EXIT
winpath() { echo "Z:$(echo "$1" | tr / '\\')"; }
LIB=$(winpath "$BIN/zandrel.pdl")
fail() { echo "FAIL: $*"; cat "$WORK/out" 2>/dev/null; exit 1; }

head -c 700001 /dev/urandom >"$WORK/data.bin"
mkdir "$WORK/p" "$WORK/r" "$WORK/r2"
"$RUN" "$BIN/pdlhost.exe" split "$LIB" "$(winpath "$WORK/data.bin")" "$(winpath "$WORK/p")" --auto 100000 >"$WORK/out" 2>&1 ||
    fail "split"
[ -f "$WORK/p/data.008" ] && [ ! -e "$WORK/p/data.009" ] || fail "expected pieces .001 to .008"
[ "$(stat -c %s "$WORK/p/data.008")" = 1 ] || fail "last piece holds one byte"
grep -q 'File data.bin succefully splitted.' "$WORK/out" || fail "success message"

"$RUN" "$BIN/pdlhost.exe" combine "$LIB" "$(winpath "$WORK/p/data.crc")" "$(winpath "$WORK/r")" --auto >"$WORK/out" 2>&1 ||
    fail "combine"
cmp -s "$WORK/data.bin" "$WORK/r/data.bin" || fail "rebuilt bytes differ"

# one flipped byte in a piece: the rebuilt file fails its check and is removed
b=$(od -An -tu1 -j500 -N1 "$WORK/p/data.004" | tr -d ' ')
printf "\\$(printf %03o $((255 - b)))" | dd of="$WORK/p/data.004" bs=1 seek=500 conv=notrunc status=none
"$RUN" "$BIN/pdlhost.exe" combine "$LIB" "$(winpath "$WORK/p/data.crc")" "$(winpath "$WORK/r2")" --auto >"$WORK/out" 2>&1
grep -q '\[Error\] CRC Error.' "$WORK/out" || fail "CRC Error. not shown"
[ ! -e "$WORK/r2/data.bin" ] || fail "a failed combine left its output"
# sizes that would wrap around to their low 32 bits are refused by the dialog; the host's
# auto-pilot then cancels, so the command ends with nothing written
mkdir "$WORK/w"
for size in "4097 Mb" "-4095 Mb" "-1" "4294967297"; do
    "$RUN" "$BIN/pdlhost.exe" split "$LIB" "$(winpath "$WORK/data.bin")" "$(winpath "$WORK/w")" --auto "$size" >"$WORK/out" 2>&1 &&
        fail "size $size accepted"
    grep -q 'Target file size is invalid. Please repeat input.' "$WORK/out" || fail "size $size: no validation message"
    [ -z "$(ls -A "$WORK/w")" ] || fail "size $size: files written"
done
# a failed split says why in its own box; refusals before the first write keep the Error box and
# leave everything as it was: a data file at the descriptor's name, a symbolic link at a piece name
mkdir "$WORK/f"
"$RUN" "$BIN/pdlhost.exe" split "$LIB" "$(winpath "$WORK/data.bin")" "$(winpath "$WORK/f")" --auto 700 >"$WORK/out" 2>&1 &&
    fail "700-byte pieces accepted"
# (the box's CR LF CR LF comes out of the host's text-mode console as CR CR LF twice)
box=$'[Split file] File data.bin was not split.\n\nPieces of 700 bytes are too small for a file of 700001 bytes: a split makes at most 1000 pieces. Choose pieces of at least 701 bytes.\n'
[[ "$(tr -d '\r' <"$WORK/out"; echo .)" == *"$box"* ]] && [ "$(grep -c 'was not split' "$WORK/out")" = 1 ] ||
    fail "too many pieces: no failure box"
[ -z "$(ls -A "$WORK/f")" ] || fail "too many pieces: files written"
head -c 5000 /dev/urandom >"$WORK/f/data.crc"
cp "$WORK/f/data.crc" "$WORK/data.crc.before"
"$RUN" "$BIN/pdlhost.exe" split "$LIB" "$(winpath "$WORK/data.bin")" "$(winpath "$WORK/f")" --auto 100000 >"$WORK/out" 2>&1
grep -qF "[Error] File \"$(winpath "$WORK/f/data.crc")\" is not a checksum file of \"data.bin\" that this split may replace. Nothing was split." "$WORK/out" ||
    fail "a data file at the descriptor's name: no refusal"
cmp -s "$WORK/f/data.crc" "$WORK/data.crc.before" && [ "$(ls -A "$WORK/f")" = data.crc ] || fail "a refused split changed files"
rm "$WORK/f/data.crc"
printf 'another program' >"$WORK/other.bin"
ln -s ../other.bin "$WORK/f/data.002"
"$RUN" "$BIN/pdlhost.exe" split "$LIB" "$(winpath "$WORK/data.bin")" "$(winpath "$WORK/f")" --auto 100000 >"$WORK/out" 2>&1
grep -qF "[Error] Cannot create file \"$(winpath "$WORK/f/data.002")\". It is a link: other names lead to the same file." "$WORK/out" ||
    fail "a link at a piece name: no refusal"
[ "$(cat "$WORK/other.bin")" = "another program" ] && [ "$(ls -A "$WORK/f")" = data.002 ] || fail "a link was written through"
echo "1 passed, 0 failed"
