#!/usr/bin/env bash
# Checks the Debian package without network: builds it with tools/package.sh,
# unpacks it into a temporary folder and runs on it desktop-file-validate,
# appstreamcli, mandoc, man, lintian and the unpacked programs, whose output is
# compared with the jestcat of build/.
set -euo pipefail
cd "$(dirname "$0")/.."

id=io.github.jestpad.jestpad
failed=()
step() { echo "== $*"; }
fail() {
  echo "FAILED: $*" >&2
  failed+=("$*")
}

deb=$(tools/package.sh | tail -n1)
[ -x build/cli/jestcat ] || {
  cmake -S . -B build -G Ninja >/dev/null
  cmake --build build --target jestcat
}
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
dpkg-deb -x "$deb" "$root/pkg"
pkg=$root/pkg

step "contents of $deb"
dpkg-deb -c "$deb" | awk '{print $1, $2, $6}'
step "control"
dpkg-deb -f "$deb"

step desktop-file-validate
desktop-file-validate "$pkg/usr/share/applications/$id.desktop" || fail desktop-file-validate

step "appstreamcli validate --no-net --strict"
appstreamcli validate --no-net --strict "$pkg/usr/share/metainfo/$id.metainfo.xml" ||
  fail "appstreamcli validate"
step "appstreamcli validate-tree --no-net"
appstreamcli validate-tree --no-net "$pkg" || fail "appstreamcli validate-tree"

# One id names the desktop entry, the AppStream component, its launchable, the
# icon and the window's desktop file name.
step "application id $id"
grep -qx "Icon=$id" "$pkg/usr/share/applications/$id.desktop" || fail "desktop entry's Icon is not $id"
grep -q "<id>$id</id>" "$pkg/usr/share/metainfo/$id.metainfo.xml" || fail "metainfo id is not $id"
grep -q "<launchable type=\"desktop-id\">$id.desktop</launchable>" \
  "$pkg/usr/share/metainfo/$id.metainfo.xml" || fail "metainfo launchable is not $id.desktop"
for size in 16x16 32x32 48x48 64x64 128x128 256x256; do
  f=$pkg/usr/share/icons/hicolor/$size/apps/$id.png
  [ "$(identify -format %wx%h "$f" 2>/dev/null)" = "$size" ] || fail "icon $f is missing or not $size"
done
[ -s "$pkg/usr/share/icons/hicolor/scalable/apps/$id.svg" ] || fail "scalable icon missing"
strings -el "$pkg/usr/bin/jestpad" | grep -qx "$id" || fail "jestpad does not set desktop file name $id"

step "mandoc -T lint, man --warnings"
for page in jestpad jestcat; do
  f=$pkg/usr/share/man/man1/$page.1.gz
  out=$(mandoc -T lint "$f" 2>&1) && [ -z "$out" ] || fail "mandoc -T lint $page.1: $out"
  out=$(LC_ALL=C.UTF-8 man --warnings -l "$f" 2>&1 >/dev/null) && [ -z "$out" ] ||
    fail "man --warnings $page.1: $out"
done

step "lintian"
lintian --fail-on error,warning --display-info "$deb" || fail lintian

step "unpacked jestcat against build/cli/jestcat, seed 7"
# label | arguments (the sample files are taken from the package or the sources)
while IFS='|' read -r label args; do
  # shellcheck disable=SC2086
  "$pkg/usr/bin/jestcat" -s 7 ${args//@/$pkg/usr/share/jestpad/} >"$root/unpacked.out" ||
    fail "unpacked jestcat $label exited $?"
  # shellcheck disable=SC2086
  build/cli/jestcat -s 7 ${args//@/samples/} >"$root/built.out"
  if [ ! -s "$root/built.out" ] || ! cmp -s "$root/unpacked.out" "$root/built.out"; then
    fail "unpacked jestcat $label differs from build/cli/jestcat"
  else
    echo "ok: $label"
  fi
done <<'CASES'
built-in rules|@sample.txt
level 4, sample rules|-l 4 -r @sample.rules @sample.txt
tags and comments|--html --comments @sample.html @sample.c
CASES

step "unpacked jestpad"
[ "$("$pkg/usr/bin/jestpad" --version)" = "Jestpad Version 3.0β" ] || fail "jestpad --version"
QT_QPA_PLATFORM=offscreen HOME=$root "$pkg/usr/bin/jestpad" -pt samples/sample.txt "$root/s.pdf" \
  2>/dev/null || fail "jestpad -pt exited $?"
grep -q '^%PDF-' "$root/s.pdf" 2>/dev/null || fail "jestpad -pt wrote no PDF"

if ((${#failed[@]})); then
  echo "package check: ${#failed[@]} failed: ${failed[*]}" >&2
  exit 1
fi
echo "package check: all passed ($deb)"
