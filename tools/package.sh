#!/usr/bin/env bash
# Builds the Debian package build/jestpad_<version>_<arch>.deb: the programs are
# built for /usr in build-pkg/ with Debian's build flags (hardening included),
# then CPack makes the package.
#   tools/package.sh                  build the package
#   tools/package.sh --install-test   build it, install it with apt-get, try the
#                                     installed programs, then purge it
set -euo pipefail
cd "$(dirname "$0")/.."

install_test=false
case "${1:-}" in
  "") ;;
  --install-test) install_test=true ;;
  *) echo "usage: $0 [--install-test]" >&2; exit 2 ;;
esac

# -ffile-prefix-map names the source folder as ".", so run from the top.
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
cxxflags="$(dpkg-buildflags --get CXXFLAGS) $(dpkg-buildflags --get CPPFLAGS)"
ldflags=$(dpkg-buildflags --get LDFLAGS)

cmake -S . -B build-pkg -G Ninja -DCMAKE_BUILD_TYPE=None -DCMAKE_INSTALL_PREFIX=/usr \
  -DCMAKE_CXX_FLAGS="$cxxflags" -DCMAKE_EXE_LINKER_FLAGS="$ldflags" \
  -DJESTPAD_BUILD_GUI=ON -DJESTPAD_BUILD_TESTS=OFF -DJESTPAD_BUILD_BENCH=OFF \
  -DJESTPAD_BUILD_FUZZ=OFF -DJESTPAD_SANITIZE=OFF >/dev/null
cmake --build build-pkg -j"$(nproc)"

rm -f build-pkg/*.deb
(cd build-pkg && cpack -G DEB >/dev/null)
debs=(build-pkg/*.deb)
if [ "${#debs[@]}" -ne 1 ] || [ ! -f "${debs[0]}" ]; then
  echo "$0: cpack made no single package: ${debs[*]}" >&2
  exit 1
fi
mkdir -p build
deb=build/$(basename "${debs[0]}")
mv "${debs[0]}" "$deb"
echo "$deb"

$install_test || exit 0

# ---- install test: a real apt-get install, then a purge --------------------
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
if dpkg-query -W -f='${Status}' jestpad 2>/dev/null | grep -q "ok installed"; then
  echo "$0: jestpad is installed already; remove it before the install test" >&2
  exit 1
fi
work=$(mktemp -d)
purge() {
  DEBIAN_FRONTEND=noninteractive $sudo apt-get purge -y jestpad >/dev/null
  rm -rf "$work"
}
trap purge EXIT
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y "$PWD/$deb"

check() {
  local what=$1
  shift
  if "$@"; then
    echo "ok: $what"
  else
    echo "FAILED: $what" >&2
    exit 1
  fi
}
id=io.github.jestpad.jestpad
check "jestpad --version: $(jestpad --version)" test "$(jestpad --version)" = "Jestpad Version 3.0β"
jestcat -s 7 /usr/share/jestpad/sample.txt >"$work/installed.txt"
built=build/cli/jestcat
[ -x "$built" ] || built=build-pkg/cli/jestcat
"$built" -s 7 samples/sample.txt >"$work/built.txt"
check "jestcat -s 7 on the installed sample gives $built's bytes" \
  cmp "$work/installed.txt" "$work/built.txt"
check "man -w jestpad: $(man -w jestpad)" test "$(man -w jestpad)" = /usr/share/man/man1/jestpad.1.gz
check "man -w jestcat: $(man -w jestcat)" test "$(man -w jestcat)" = /usr/share/man/man1/jestcat.1.gz
check "desktop entry /usr/share/applications/$id.desktop" \
  desktop-file-validate "/usr/share/applications/$id.desktop"
check "icon /usr/share/icons/hicolor/48x48/apps/$id.png" test -s "/usr/share/icons/hicolor/48x48/apps/$id.png"
check "text/plain offers Jestpad (mimeinfo.cache)" \
  grep -q "^text/plain=.*$id.desktop" /usr/share/applications/mimeinfo.cache
# The window's program, without a display: print the sample rewritten to a PDF.
QT_QPA_PLATFORM=offscreen HOME=$work jestpad -pt /usr/share/jestpad/sample.txt "$work/sample.pdf" \
  2>/dev/null
check "jestpad -pt prints the sample to a PDF" grep -q '^%PDF-' "$work/sample.pdf"
trap - EXIT
purge
check "purged" test -z "$(dpkg-query -W -f='${Status}' jestpad 2>/dev/null | grep 'ok installed')"
