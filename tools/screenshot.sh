#!/usr/bin/env bash
# Takes docs/screenshot-main.png: the Jestpad main window on the bundled
# sample, on a virtual screen, with its menu, tool bar, rewritten text and
# status bar. Needs xvfb-run, xdotool, xwininfo and xprop (x11-utils) and
# ImageMagick's import; with openbox installed the window gets its title bar.
# JESTPAD_BIN names another build of the program.
set -euo pipefail
cd "$(dirname "$0")/.."
bin=${JESTPAD_BIN:-build/app/jestpad}
out=${1:-docs/screenshot-main.png}
[ -x "$bin" ] || tools/build.sh

export JESTPAD_SHOT_BIN=$bin JESTPAD_SHOT_OUT=$out
xvfb-run -a -s "-screen 0 1024x768x24" bash -euo pipefail -c '
  # A home of its own: the shot neither reads nor writes the user'"'"'s settings.
  export HOME=$(mktemp -d)
  unset XDG_CONFIG_HOME XDG_RUNTIME_DIR
  pids=()
  trap "kill \${pids[*]} 2>/dev/null || true; rm -rf \"\$HOME\"" EXIT
  if command -v openbox >/dev/null; then
    openbox >/dev/null 2>&1 &
    pids+=($!)
    sleep 1
  fi
  "$JESTPAD_SHOT_BIN" samples/sample.txt 2>/dev/null &
  pid=$!
  pids+=($pid)
  main=$(timeout 30 xdotool search --sync --onlyvisible --pid "$pid" --name "Jestpad" | head -n1)
  xdotool windowsize --sync "$main" 720 520
  xdotool windowmove --sync "$main" 40 30
  xdotool windowfocus --sync "$main"
  sleep 1.5
  # The window with its title bar and border (the frame extents are left,
  # right, top, bottom; none without a window manager).
  geo() { xwininfo -id "$main" | sed -n "s/^ *$1: *\([0-9]*\).*/\1/p"; }
  x=$(geo "Absolute upper-left X") y=$(geo "Absolute upper-left Y")
  w=$(geo Width) h=$(geo Height)
  read -r l r t b < <(xprop -id "$main" _NET_FRAME_EXTENTS 2>/dev/null |
    sed -n "s/.*= *\([0-9]*\), *\([0-9]*\), *\([0-9]*\), *\([0-9]*\).*/\1 \2 \3 \4/p" |
    grep . || echo 0 0 0 0)
  import -window root -crop "$((w + l + r))x$((h + t + b))+$((x - l))+$((y - t))" +repage \
    "$JESTPAD_SHOT_OUT"
'
echo "wrote $out"
