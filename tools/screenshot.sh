#!/usr/bin/env bash
# Takes a screenshot of Jestpad on the bundled sample, on a virtual screen:
#   tools/screenshot.sh [main|settings|marks] [OUT]
# main (default): the main window, written to docs/screenshot-main.png;
# settings: the main window with the settings dialog "詳細設定" opened from
# the menu (Alt+S, then S), written to docs/screenshot-settings.png; marks:
# the main window with 表示 > 書き換え箇所を強調 on (Alt+V, then J), written
# to docs/screenshot-marks.png.
# Needs xvfb-run, xdotool, xwininfo and xprop (x11-utils) and ImageMagick's
# import; with openbox installed the windows get their title bars.
# JESTPAD_BIN names another build of the program.
set -euo pipefail
cd "$(dirname "$0")/.."
what=${1:-main}
case "$what" in
  main|settings|marks) ;;
  *) echo "usage: $0 [main|settings|marks] [OUT]" >&2; exit 2 ;;
esac
bin=${JESTPAD_BIN:-build/app/jestpad}
out=${2:-docs/screenshot-$what.png}
[ -x "$bin" ] || tools/build.sh

export JESTPAD_SHOT_BIN=$bin JESTPAD_SHOT_OUT=$out JESTPAD_SHOT_WHAT=$what
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
  [ "$JESTPAD_SHOT_WHAT" != settings ] && xdotool windowsize --sync "$main" 720 520
  xdotool windowmove --sync "$main" 40 30
  xdotool windowfocus --sync "$main"
  sleep 1.5
  if [ "$JESTPAD_SHOT_WHAT" = settings ]; then
    xdotool key --clearmodifiers alt+s
    sleep 0.5
    xdotool key s
    timeout 30 xdotool search --sync --onlyvisible --name "^詳細設定\$" >/dev/null
    sleep 1
  fi
  if [ "$JESTPAD_SHOT_WHAT" = marks ]; then
    xdotool key --clearmodifiers alt+v
    sleep 0.5
    xdotool key j
    sleep 1
  fi
  # The main window with its title bar and border (the frame extents are
  # left, right, top, bottom; none without a window manager).
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
