#!/bin/bash
# Detection and byte-for-byte results on real Japanese files from Debian's
# own packages. Not run by CI (it needs the network):
#
#   tools/check-real-files.sh [BUILD_DIR [WORK_DIR]]
#
# Fetches the packages below with `apt-get download`, unpacks them with
# `dpkg-deb -x` (gzip files too), and for every text file that holds bytes
# above 0x7F or an escape prints: the encoding jestcat detects, whether `jestcat` with a rule
# file that holds no rule gives the file back byte for byte, and uchardet's
# and nkf's guesses when they are installed. Then it damages each UTF-8 file
# with one stray byte and counts how many are still taken for UTF-8 and come
# back byte for byte. A summary ends the report.
set -u
BUILD=${1:-build}
WORK=${2:-$(mktemp -d)}
JESTCAT=$(realpath "$BUILD/cli/jestcat")
PACKAGES=(skkdic skkdic-extra kakasi-dic nkf manpages-ja lv w3m ddskk edict)
[ -x "$JESTCAT" ] || { echo "no jestcat at $JESTCAT: build first" >&2; exit 2; }
mkdir -p "$WORK/deb" "$WORK/root"
cd "$WORK/deb" || exit 2
for p in "${PACKAGES[@]}"; do
    ls "$p"_*.deb >/dev/null 2>&1 || apt-get download "$p" >/dev/null 2>&1 || echo "skipped $p (not available)" >&2
done
for d in ./*.deb; do dpkg-deb -x "$d" "$WORK/root"; done
# Compressed manuals and dictionaries are read as their text.
find "$WORK/root" -type f -name '*.gz' -print0 | while IFS= read -r -d '' z; do
    gzip -dc "$z" >"${z%.gz}" 2>/dev/null && rm -f "$z"
done
EMPTY="$WORK/empty.rules"
: >"$EMPTY"
have() { command -v "$1" >/dev/null 2>&1; }
# Bytes that iconv drops as no UTF-8.
invalidBytes() { echo $(( $(stat -c %s "$1") - $(iconv -c -f UTF-8 -t UTF-8 "$1" 2>/dev/null | wc -c) )); }
total=0 same=0 damagedUtf8=0 damagedTotal=0 damagedSame=0 damagedBroken=0 damagedUchardet=0 damagedNkf=0
declare -A found
printf '%-60s %-12s %-5s %-14s %s\n' file jestcat same uchardet nkf
while IFS= read -r -d '' f; do
    # Text only: no NUL in the first 64 KiB, and something beyond ASCII.
    head -c 65536 "$f" | grep -qaP '\x00' && continue
    grep -qaP '[\x80-\xFF\x1B]' "$f" || continue
    [ "$(stat -c %s "$f")" -le 1048575 ] || continue
    total=$((total + 1))
    enc=$("$JESTCAT" --detect "$f" 2>/dev/null | sed 's/.*: //')
    found[$enc]=$(( ${found[$enc]:-0} + 1 ))
    if "$JESTCAT" -r "$EMPTY" "$f" 2>/dev/null | cmp -s - "$f"; then ok=yes; same=$((same + 1)); else ok=NO; fi
    uc=-; have uchardet && uc=$(uchardet "$f" 2>/dev/null)
    nk=-; have nkf && nk=$(nkf --guess "$f" 2>/dev/null | cut -d' ' -f1)
    printf '%-60s %-12s %-5s %-14s %s\n' "${f#"$WORK/root/"}" "$enc" "$ok" "$uc" "$nk"
    if [ "$enc" = utf-8 ]; then
        # One stray Latin-1 byte in the middle of the file.
        size=$(stat -c %s "$f")
        bad="$WORK/damaged"
        { head -c $((size / 2)) "$f"; printf '\xE9'; tail -c +$((size / 2 + 1)) "$f"; } >"$bad"
        damagedTotal=$((damagedTotal + 1))
        [ "$("$JESTCAT" --detect "$bad" | sed 's/.*: //')" = utf-8 ] && damagedUtf8=$((damagedUtf8 + 1))
        have uchardet && [ "$(uchardet "$bad")" = UTF-8 ] && damagedUchardet=$((damagedUchardet + 1))
        have nkf && [ "$(nkf --guess "$bad" | cut -d' ' -f1)" = UTF-8 ] && damagedNkf=$((damagedNkf + 1))
        "$JESTCAT" -r "$EMPTY" "$bad" 2>/dev/null | cmp -s - "$bad" && damagedSame=$((damagedSame + 1))
        # Broken further at level 4: more bytes that are no UTF-8 than before.
        "$JESTCAT" -l 4 "$bad" >"$bad.out" 2>/dev/null
        [ $(invalidBytes "$bad.out") -gt $(invalidBytes "$bad") ] && damagedBroken=$((damagedBroken + 1))
    fi
done < <(find "$WORK/root" -type f -print0 | sort -z)
echo
echo "files: $total, byte for byte: $same"
for k in "${!found[@]}"; do echo "  detected $k: ${found[$k]}"; done
echo "UTF-8 files with one stray byte: $damagedTotal, still UTF-8: $damagedUtf8, byte for byte: $damagedSame, broken further at -l 4: $damagedBroken"
echo "  taken for UTF-8 by uchardet: $damagedUchardet, by nkf: $damagedNkf (each 0 when not installed)"
