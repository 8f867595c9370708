#!/bin/bash
# The reference host end to end: split a file through the real zandrel.pdl with a typed size and
# with a preset, combine it back, and check the bytes; a damaged piece must end in "CRC Error."
# and leave no rebuilt file; sizes that wrap around are refused, so are targets whose last name
# ends in a space or a dot, and a bare letter is a drive; the host's windows are left as enabled
# as they were. Usage: roundtrip.sh BINDIR
set -uo pipefail
# shellcheck source=scripts/lib.sh
. "$(dirname "$0")/../../scripts/lib.sh"
host_test_start "$1" host || exit 1
fail() { echo "FAIL: $*"; cat "$WORK/out" 2>/dev/null; exit 1; }

head -c 700001 /dev/urandom >"$WORK/data.bin"
mkdir "$WORK/p" "$WORK/r" "$WORK/r2"
"$RUN" "$BIN/pdlhost.exe" split "$LIB" "$(winpath "$WORK/data.bin")" "$(winpath "$WORK/p")" --auto 100000 >"$WORK/out" 2>&1 ||
    fail "split"
[ -f "$WORK/p/data.008" ] && [ ! -e "$WORK/p/data.009" ] || fail "expected pieces .001 to .008"
[ "$(stat -c %s "$WORK/p/data.008")" = 1 ] || fail "last piece holds one byte"
grep -q 'File data.bin succefully splitted.' "$WORK/out" || fail "success message"
# the checksum list of the pieces is one that every checksum tool reads
(cd "$WORK/p" && cksfv -q -f data.sfv >/dev/null) || fail "cksfv does not accept data.sfv"

"$RUN" "$BIN/pdlhost.exe" combine "$LIB" "$(winpath "$WORK/p/data.crc")" "$(winpath "$WORK/r")" --auto >"$WORK/out" 2>&1 ||
    fail "combine"
cmp -s "$WORK/data.bin" "$WORK/r/data.bin" || fail "rebuilt bytes differ"

# 1000 pieces: the list names every one, .1000 included, and cksfv agrees
mkdir "$WORK/k"
head -c 999001 /dev/urandom >"$WORK/k/m.bin"
"$RUN" "$BIN/pdlhost.exe" split "$LIB" "$(winpath "$WORK/k/m.bin")" "$(winpath "$WORK/k")" --auto 1000 >"$WORK/out" 2>&1 ||
    fail "split into 1000 pieces"
[ "$(grep -c '^m\.[0-9]* [0-9A-F]\{8\}'$'\r''$' "$WORK/k/m.sfv")" = 1000 ] && grep -q '^m\.1000 ' "$WORK/k/m.sfv" ||
    fail "m.sfv does not list the 1000 pieces"
(cd "$WORK/k" && cksfv -q -f m.sfv >/dev/null) || fail "cksfv does not accept m.sfv"

# a GNU split set with a list made by cksfv (names in upper case) joins verified; a list that
# does not parse is not used, and the warning says so
mkdir "$WORK/g" "$WORK/g/o" "$WORK/g/o2"
head -c 5000 /dev/urandom >"$WORK/g/x"
(cd "$WORK/g" && split -b 1000 -a 3 --numeric-suffixes=1 x x. && cksfv x.00? | sed 's/^x\./X./' >x.sfv)
"$RUN" "$BIN/pdlhost.exe" combine "$LIB" "$(winpath "$WORK/g/x.003")" "$(winpath "$WORK/g/o")" --auto >"$WORK/out" 2>&1 &&
grep -qF 'File x combined from 5 pieces, 5000 bytes. Verified: every piece matches x.sfv.' "$WORK/out" &&
    cmp -s "$WORK/g/x" "$WORK/g/o/x" || fail "the GNU split set with its cksfv list"
printf 'x.001 12345\r\n' >"$WORK/g/x.sfv"
"$RUN" "$BIN/pdlhost.exe" combine "$LIB" "$(winpath "$WORK/g/x.001")" "$(winpath "$WORK/g/o2")" --auto >"$WORK/out" 2>&1 &&
    fail "an unverified join reported as success"
grep -qF 'It could not be verified: there is no checksum file x.crc beside the pieces (x.sfv beside the pieces is no checksum list that can be read).' "$WORK/out" ||
    fail "a list that does not parse"

# a list beside that contradicts a descriptor the rebuilt file matches is named, not taken for damage
mkdir "$WORK/r3"
cp "$WORK/p/data.sfv" "$WORK/data.sfv.kept"
sed -i 's/^data\.002 ......../data.002 00000000/' "$WORK/p/data.sfv"
"$RUN" "$BIN/pdlhost.exe" combine "$LIB" "$(winpath "$WORK/p/data.crc")" "$(winpath "$WORK/r3")" --auto >"$WORK/out" 2>&1 &&
    grep -qF 'The checksum list data.sfv beside the pieces does not match this set; it was not used.' "$WORK/out" &&
    cmp -s "$WORK/data.bin" "$WORK/r3/data.bin" || fail "a contradicting list beside a matching descriptor"
cp "$WORK/data.sfv.kept" "$WORK/p/data.sfv"
# one flipped byte in a piece: the combine names the piece and leaves no rebuilt file
b=$(od -An -tu1 -j500 -N1 "$WORK/p/data.004" | tr -d ' ')
printf "\\$(printf %03o $((255 - b)))" | dd of="$WORK/p/data.004" bs=1 seek=500 conv=notrunc status=none
"$RUN" "$BIN/pdlhost.exe" combine "$LIB" "$(winpath "$WORK/p/data.crc")" "$(winpath "$WORK/r2")" --auto >"$WORK/out" 2>&1
grep -q '\[Error\] CRC Error.' "$WORK/out" || fail "CRC Error. not shown"
grep -qF "Piece \"$(winpath "$WORK/p/data.004")\" is damaged" "$WORK/out" || fail "the damaged piece is not named"
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
# the directory tested is the directory written: a last name ending in a space or a dot is
# refused as typed by both dialogs, nothing written
mkdir "$WORK/E"
"$RUN" "$BIN/pdlhost.exe" split "$LIB" "$(winpath "$WORK/data.bin")" "$(winpath "$WORK/E ")" --auto 100000 >"$WORK/out" 2>&1 &&
    fail "split into 'E ' accepted"
grep -qF "Directory $(winpath "$WORK/E ") not found. Select other directory" "$WORK/out" || fail "split into 'E ': no message"
"$RUN" "$BIN/pdlhost.exe" combine "$LIB" "$(winpath "$WORK/p/data.crc")" "$(winpath "$WORK/E...")" --auto >"$WORK/out" 2>&1 &&
    fail "combine into 'E...' accepted"
grep -q '\[Path not found\] Path not found. Please check it.' "$WORK/out" || fail "combine into 'E...': no message"
[ -z "$(ls -A "$WORK/E")" ] || fail "files written into E"
# a bare letter is that drive's root, never the folder of that name in the current directory
letter=
for l in q r s t u v w x y; do [ -e "$WINEPREFIX/dosdevices/$l:" ] || { letter=$l; break; }; done
if [ -n "$letter" ]; then
    mkdir "$WORK/$letter"
    (cd "$WORK" && "$RUN" "$BIN/pdlhost.exe" split "$LIB" "$(winpath "$WORK/data.bin")" "$letter" --auto 100000) >"$WORK/out" 2>&1 &&
        fail "split into '$letter' accepted"
    grep -qF "Directory $letter not found. Select other directory" "$WORK/out" || fail "split into '$letter': no message"
    [ -z "$(ls -A "$WORK/$letter")" ] || fail "files written into the folder $letter"
fi
# the host's windows are left as enabled as they were after an error box shown by Execute: a
# disabled main window, and a panel inside a disabled main window
"$RUN" "$BIN/pdlhost.exe" combine "$LIB" "$(winpath "$WORK/none.crc")" "$(winpath "$WORK/r")" --auto --disabled >"$WORK/out" 2>&1
grep -q '\[Error\] Cannot open file' "$WORK/out" || fail "missing descriptor: no error box"
grep -q 'host window disabled, top-level window disabled' "$WORK/out" || fail "missing descriptor: host enabled again"
"$RUN" "$BIN/pdlhost.exe" split "$LIB" "$(winpath "$WORK/p")" "$(winpath "$WORK/w")" --auto 100000 --child --disabled >"$WORK/out" 2>&1
grep -q '\[Error\]' "$WORK/out" || fail "directory as source: no error box"
grep -q 'host window disabled, top-level window disabled' "$WORK/out" || fail "directory as source: host enabled again"
mkdir "$WORK/p2"
"$RUN" "$BIN/pdlhost.exe" split "$LIB" "$(winpath "$WORK/data.bin")" "$(winpath "$WORK/p2")" --auto 100000 --child >"$WORK/out" 2>&1 ||
    fail "split from a panel as host"
grep -q 'host window enabled, top-level window enabled' "$WORK/out" || fail "a panel as host: windows not enabled"
# a failed split says why in its own box; refusals before the first write keep the Error box and
# leave everything as it was: a data file at the descriptor's name, a symbolic link at a piece name
mkdir "$WORK/f"
"$RUN" "$BIN/pdlhost.exe" split "$LIB" "$(winpath "$WORK/data.bin")" "$(winpath "$WORK/f")" --auto 700 >"$WORK/out" 2>&1 &&
    fail "700-byte pieces accepted"
# (the box's CR LF CR LF comes out of the host's text-mode console as CR CR LF twice)
box=$'[Split file] File data.bin was not split.\n\nPieces of 700 bytes are too small for a file of 700001 bytes: a split takes only a file smaller than 1000 pieces, at most 999 whole pieces and a shorter last one. Choose pieces of at least 701 bytes.\n'
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

# a re-split over the older set: of the older pieces above the new last one, the proven one goes,
# a read-only one stays and the success box names it; a user's file beyond the older set stays
mkdir "$WORK/s" "$WORK/s/o"
head -c 5000 /dev/urandom >"$WORK/s/d.bin"
"$RUN" "$BIN/pdlhost.exe" split "$LIB" "$(winpath "$WORK/s/d.bin")" "$(winpath "$WORK/s/o")" --auto 1000 >"$WORK/out" 2>&1 ||
    fail "the older set"
printf 'users' >"$WORK/s/o/d.006"
chmod a-w "$WORK/s/o/d.005"
"$RUN" "$BIN/pdlhost.exe" split "$LIB" "$(winpath "$WORK/s/d.bin")" "$(winpath "$WORK/s/o")" --auto 2000 >"$WORK/out" 2>&1 ||
    fail "the re-split"
left="Left over from the replaced set: \"$(winpath "$WORK/s/o/d.005")\". It may be deleted."
[[ "$(tr -d '\r' <"$WORK/out")" == *$'succefully splitted.\n\n'"$left"* ]] || fail "the piece left over is not named"
[ ! -e "$WORK/s/o/d.004" ] && [ -e "$WORK/s/o/d.005" ] && [ "$(cat "$WORK/s/o/d.006")" = users ] ||
    fail "the re-split removed the wrong files"
chmod u+w "$WORK/s/o/d.005"
# one piece of one byte, without a checksum file: the warning counts them in the singular
printf 'x' >"$WORK/s/q.001"
"$RUN" "$BIN/pdlhost.exe" combine "$LIB" "$(winpath "$WORK/s/q.001")" "$(winpath "$WORK/s/o")" --auto >"$WORK/out" 2>&1
grep -qF 'File q combined from 1 piece, 1 byte. It could not be verified' "$WORK/out" || fail "one piece, one byte"
echo "1 passed, 0 failed"
