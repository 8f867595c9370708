#!/bin/bash
# The reference host in double-byte ANSI code pages: a file whose name holds characters ending in
# the byte 0x5C (the byte of "\") is split into a directory named by such a character and combined
# back into another, then split again over its older set. Wine takes its ANSI code page from the
# Linux locale (ja_JP.UTF-8 gives 932, zh_CN.UTF-8 gives 936); names on the Linux side are UTF-8
# and Wine converts them, while the library's texts (descriptor, messages) are in the ANSI code
# page. Usage: codepages.sh BINDIR
set -uo pipefail
# shellcheck source=scripts/lib.sh
. "$(dirname "$0")/../../scripts/lib.sh"
host_test_start "$1" cp || exit 1
fail() { echo "FAIL: $*"; iconv -f "CP$cp" -t UTF-8 "$WORK/out" 2>/dev/null; exit 1; }
listing() { (cd "$1" && LC_ALL=C ls | tr '\n' ' '); }
passed=0

# roundtrip LOCALE CODEPAGE NAME DIR: NAME (3 pieces) into DIR, then back into DIR2
roundtrip() {
    local loc=$1 name=$3 dir=$4 base=${3%.*} w=$WORK/$2
    cp=$2
    locale -a | grep -qix "${loc/UTF-8/utf8}" || fail "locale $loc missing (scripts/setup generates it)"
    mkdir -p "$w/src" "$w/$dir" "$w/${dir}2"
    head -c 250001 /dev/urandom >"$w/src/$name"
    LANG=$loc "$RUN" "$BIN/pdlhost.exe" split "$LIB" "$(winpath "$w/src/$name")" "$(winpath "$w/$dir")" \
        --auto 100000 >"$WORK/out" 2>&1 || fail "split"
    iconv -f "CP$cp" -t UTF-8 "$WORK/out" | grep -qF "File $name succefully splitted." || fail "split message"
    [ "$(listing "$w/$dir")" = "$base.001 $base.002 $base.003 $base.crc $base.sfv " ] || fail "in $dir: $(listing "$w/$dir")"
    [ "$(listing "$w")" = "src $dir ${dir}2 " ] || fail "written beside $dir: $(listing "$w")"
    [ "$(iconv -f "CP$cp" -t UTF-8 "$w/$dir/$base.crc" | head -1)" = "filename=$name"$'\r' ] || fail "descriptor"

    LANG=$loc "$RUN" "$BIN/pdlhost.exe" combine "$LIB" "$(winpath "$w/$dir/$base.crc")" "$(winpath "$w/${dir}2")" \
        --auto >"$WORK/out" 2>&1 || fail "combine"
    iconv -f "CP$cp" -t UTF-8 "$WORK/out" | grep -qF "File $base.crc succefully combined." || fail "combine message"
    cmp -s "$w/src/$name" "$w/${dir}2/$name" || fail "rebuilt bytes differ"

    # a real "\" after a character ending in 0x5C still leaves the target directory: refused
    printf 'filename=%s\r\nsize=1\r\ncrc32=0\r\n' "$dir\\..\\out.bin" | iconv -f UTF-8 -t "CP$cp" >"$w/$dir/out.crc"
    LANG=$loc "$RUN" "$BIN/pdlhost.exe" combine "$LIB" "$(winpath "$w/$dir/out.crc")" "$(winpath "$w/${dir}2")" \
        --auto >"$WORK/out" 2>&1
    grep -q 'outside the target directory' "$WORK/out" || fail "a name leaving the directory was not refused"
    [ "$(listing "$w/${dir}2")" = "$name " ] || fail "written by a refused combine: $(listing "$w/${dir}2")"

    # a re-split into two pieces: the older third piece goes, a user's file at the fourth stays
    printf 'users' >"$w/$dir/$base.004"
    LANG=$loc "$RUN" "$BIN/pdlhost.exe" split "$LIB" "$(winpath "$w/src/$name")" "$(winpath "$w/$dir")" \
        --auto 150000 >"$WORK/out" 2>&1 || fail "re-split"
    [ "$(listing "$w/$dir")" = "out.crc $base.001 $base.002 $base.004 $base.crc $base.sfv " ] &&
        [ "$(cat "$w/$dir/$base.004")" = users ] || fail "re-split in $dir: $(listing "$w/$dir")"
    passed=$((passed + 1))
}

roundtrip ja_JP.UTF-8 932 表示.txt 表  # 表 is 0x95 0x5C
roundtrip zh_CN.UTF-8 936 嘰文件.bin 嘰  # 嘰 is 0x87 0x5C
echo "$passed passed, 0 failed"
