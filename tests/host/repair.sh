#!/bin/bash
# The reference host end to end with PAR2 recovery files beside the pieces: a file is split through
# the real zandrel.pdl, Debian's par2 makes recovery data over the pieces (data.par2) and over the
# file before it was split (data.bin.par2, its slices crossing the pieces' edges); then a lost, a
# damaged or a shortened piece is rebuilt by the combine, which names it in the success box, gives
# the same bytes and leaves every piece and PAR2 file as it was. More lost than the recovery data
# covers ends in "CRC Error." with the numbers and no output; a sound set combines exactly as
# without PAR2 files; pieces without a descriptor that the PAR2 set verifies are verified.
# Each case runs in its own copy of the set. Usage: repair.sh BINDIR
set -uo pipefail
# shellcheck source=scripts/lib.sh
. "$(dirname "$0")/../../scripts/lib.sh"
host_test_start "$1" repair || exit 1
command -v par2 >/dev/null || { echo "FAIL: par2 is missing (scripts/setup --all installs it)"; exit 1; }
passed=0 failed=0
fail() { echo "FAIL: $case: $*"; tr -d '\r' <"$WORK/out" | grep -v '^\[[#. ]*\] *[0-9]*%'; failed=$((failed + 1)); }
box() { tr -d '\r' <"$WORK/out"; }
has() { box | grep -qF -- "$1"; }
snapshot() { (cd "$1" && sha256sum -- * | sort); }
combine() { "$RUN" "$BIN/pdlhost.exe" combine "$LIB" "$(winpath "$1")" "$(winpath "$2")" --auto >"$WORK/out" 2>&1; }
flip() {  # flip FILE OFFSET: one byte inverted
    local b
    b=$(od -An -tu1 -j"$2" -N1 "$1" | tr -d ' ')
    printf "\\$(printf %03o $((255 - b)))" | dd of="$1" bs=1 seek="$2" conv=notrunc status=none
}

# The set: 700001 bytes in pieces of 100000 (data.001 to data.008, the last of one byte).
head -c 700001 /dev/urandom >"$WORK/data.bin"
mkdir "$WORK/set" "$WORK/bypieces" "$WORK/byfile"
"$RUN" "$BIN/pdlhost.exe" split "$LIB" "$(winpath "$WORK/data.bin")" "$(winpath "$WORK/set")" --auto 100000 >"$WORK/out" 2>&1 &&
    [ -f "$WORK/set/data.008" ] || { echo "FAIL: split"; box; exit 1; }
# Recovery data of 12 slices in one volume each. Over the pieces: slices of 10000 bytes, ten to a
# piece. Over the file: slices of 12000 bytes, so that piece 3 (200000 to 299999) is in slices 16
# to 24 and its edges lie inside slices.
(cd "$WORK/set" && par2 create -q -q -s10000 -c12 -n1 data.par2 data.0??) >/dev/null &&
    (cd "$WORK" && par2 create -q -q -s12000 -c12 -n1 data.bin.par2 data.bin) >/dev/null &&
    mv "$WORK/set/data.par2" "$WORK/set/data.vol00+12.par2" "$WORK/bypieces/" &&
    mv "$WORK/data.bin.par2" "$WORK/data.bin.vol00+12.par2" "$WORK/byfile/" || { echo "FAIL: par2 create"; exit 1; }

# start NAME RECOVERY...: a fresh copy of the set with the recovery files of the directories named
# (bypieces, byfile) beside it in $dir, an empty target $out; the case fails unless it ends passed
start() {
    case=$1; shift
    dir=$WORK/$case out=$WORK/$case.out
    mkdir "$dir" "$out" && cp "$WORK"/set/* "$dir/" || return 1
    local r
    for r in "$@"; do cp "$WORK/$r"/* "$dir/"; done
}
# rebuilt PIECE WORD SOURCE [FROM]: after the damage, the combine from FROM (default data.crc)
# rebuilds PIECE, says "was WORD" naming SOURCE, gives the file's bytes and changes no file beside
rebuilt() {
    local piece=$dir/$1 from=${4:-data.crc} before
    before=$(snapshot "$dir")
    combine "$dir/$from" "$out" || { fail "the combine did not succeed"; return; }
    has "Piece \"$(winpath "$piece")\" was $2; it was rebuilt from $3." || { fail "no line for ${piece##*/}"; return; }
    [ "$(box | grep -c 'it was rebuilt from')" = 1 ] || { fail "other pieces named as rebuilt"; return; }
    [ "$(snapshot "$dir")" = "$before" ] || { fail "pieces or PAR2 files changed"; return; }
    [ "$(ls -A "$out")" = "${5:-data.bin}" ] && cmp -s "$WORK/data.bin" "$out/${5:-data.bin}" ||
        { fail "the output is not the file: $(ls -A "$out")"; return; }
    if [ "$from" = data.crc ]; then
        has "File data.crc succefully combined. CRC checksum - OK!" || { fail "no success text"; return; }
    else
        has "Verified: every piece matches data.par2." || { fail "not verified by data.par2"; return; }
    fi
    passed=$((passed + 1))
}

# row NAME RECOVERY DAMAGE... -- PIECE WORD SOURCE [FROM [OUTPUT]]: a copy, its damage, its rebuild
row() {
    local name=$1 recovery=$2 damage=()
    shift 2
    while [ "$1" != -- ]; do damage+=("$1"); shift; done
    shift
    if start "$name" "$recovery" && (cd "$dir" && eval "${damage[*]}"); then rebuilt "$@"; else fail "set-up"; fi
}
row missing-piece bypieces rm data.003 -- data.003 missing data.vol00+12.par2
row damaged-piece bypieces flip data.004 500 -- data.004 damaged data.vol00+12.par2
row short-piece bypieces truncate -s 99999 data.004 -- data.004 damaged data.vol00+12.par2
row last-piece-missing bypieces rm data.008 -- data.008 missing data.vol00+12.par2
row file-set-missing-piece byfile rm data.003 -- data.003 missing data.bin.vol00+12.par2
row file-set-damaged-piece byfile flip data.005 99999 -- data.005 damaged data.bin.vol00+12.par2
# without a descriptor or a list the PAR2 set verifies the join of data.001 to data.008 into "data"
row no-descriptor bypieces rm data.003 data.crc data.sfv -- data.003 missing data.vol00+12.par2 data.001 data

# two pieces lost are 20 slices, the recovery data holds 12: refused, nothing written
if ! { start too-little bypieces && rm "$dir/data.002" "$dir/data.006"; }; then fail "set-up"; else
    before=$(snapshot "$dir")
    if combine "$dir/data.crc" "$out"; then fail "a combine without enough recovery data succeeded"
    elif ! has "[Error] CRC Error."; then fail "CRC Error. not shown"
    elif ! has "data.par2 and its volumes hold 12 recovery slices, 20 are needed."; then fail "the numbers are not given"
    elif ! has "\"$(winpath "$dir/data.002")\"" || ! has "\"$(winpath "$dir/data.006")\""; then fail "the lost pieces not named"
    elif [ -n "$(ls -A "$out")" ]; then fail "written into the target: $(ls -A "$out")"
    elif [ "$(snapshot "$dir")" != "$before" ]; then fail "pieces or PAR2 files changed"
    else passed=$((passed + 1)); fi
fi

# a sound set: the same box as without any PAR2 file beside (the recovery files are not needed)
boxtext() { box | sed -n '/succefully combined/,/^host window /p' | grep -v '^\[[#. ]*\] *[0-9]*%\|progress reports$'; }
if ! start sound-set bypieces byfile; then fail "set-up"; else
    combine "$WORK/set/data.crc" "$out" && plain=$(boxtext) && rm "$out/data.bin"
    before=$(snapshot "$dir")
    if ! combine "$dir/data.crc" "$out"; then fail "the combine did not succeed"
    elif [ "$(boxtext)" != "$plain" ] || [ -z "$plain" ]; then fail "the box differs from the one without PAR2 files"
    elif has "rebuilt from"; then fail "a piece named as rebuilt"
    elif ! cmp -s "$WORK/data.bin" "$out/data.bin"; then fail "the output is not the file"
    elif [ "$(snapshot "$dir")" != "$before" ]; then fail "pieces or PAR2 files changed"
    else passed=$((passed + 1)); fi
fi
echo "$passed passed, $failed failed"
[ "$failed" = 0 ]
