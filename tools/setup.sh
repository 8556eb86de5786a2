#!/usr/bin/env bash
# Installs the Debian 12 packages that Jestpad needs to build, test and run.
# Idempotent: asks apt only for what is missing.
set -euo pipefail

packages=(
  # build
  cmake ninja-build g++ pkg-config
  # window (Qt 6), X11 lock-key state, Japanese dialogs and fonts
  qt6-base-dev qt6-base-dev-tools qt6-qpa-plugins qt6-translations-l10n
  libx11-dev libgl-dev
  fonts-ipafont-mincho fonts-ipafont-gothic
  # tests, benchmarks, sanitizers and the fuzzer
  libgtest-dev libbenchmark-dev clang libclang-rt-14-dev
  # lint (tools/lint.sh)
  clang-tidy clang-format
  # running and looking at the window without a desktop
  xvfb xauth imagemagick xdotool x11-utils openbox
  # the Debian package and its checks
  dpkg-dev desktop-file-utils appstream mandoc man-db lintian
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  $sudo apt-get update
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends "${missing[@]}"
fi
