#!/usr/bin/env bash
# Installs what is missing, builds, and starts Jestpad on the bundled sample.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/setup.sh
tools/build.sh
sample=samples/sample.txt
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  cat >&2 <<MSG
There is no display (neither DISPLAY nor WAYLAND_DISPLAY is set), so the window
cannot open here. Meanwhile, here is the sample rewritten by jestcat:

MSG
  build/cli/jestcat "$sample" | iconv -f CP932 -t UTF-8
  cat >&2 <<MSG

To see the window without a desktop, run it on a virtual screen and take a
screenshot:   tools/screenshot.sh    (writes docs/screenshot-main.png)
or start it yourself:   xvfb-run -a build/app/jestpad $sample
MSG
  exit 0
fi
exec build/app/jestpad "$sample"
