#!/usr/bin/env bash
# Takes docs/screenshot-terminal.png and docs/screenshot-peripherals.png again: the desktop program
# from build/ under Xvfb (1100 x 620) with openbox, driven by xdotool as a user would, captured
# with ImageMagick's import. Needs the Debian packages xvfb, openbox, xdotool and imagemagick.
# Then docs/screenshot-profile.png and docs/screenshot-coverage.png: tests/analysis/c/profile.c,
# built with SDCC, run with Run > Record Coverage and Profile on a 1600 x 1000 screen.
# "bash scripts/screenshots.sh analysis" takes only those two.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
for tool in Xvfb openbox xdotool import; do
  command -v "$tool" >/dev/null || { echo "$tool is missing (apt-get install xvfb openbox xdotool imagemagick)" >&2; exit 1; }
done
[ -x build/corvamat ] || { echo "build/corvamat is missing: build it first" >&2; exit 1; }

# A copy of the program in a folder of its own starts with the default settings and leaves the
# settings file beside build/corvamat alone.
work=$(mktemp -d)
cp build/corvamat "$work/"
xvfb="" wm="" app=""
trap 'kill $app $wm $xvfb 2>/dev/null || true; rm -rf "$work"' EXIT
export DISPLAY=:$((100 + RANDOM % 400))
Xvfb "$DISPLAY" -screen 0 1100x620x24 -nolisten tcp >/dev/null 2>&1 & xvfb=$!
sleep 1
openbox >/dev/null 2>&1 & wm=$!
sleep 1

# shot PROGRAM OUTPUT KEYS...: opens PROGRAM through File > Open Program File..., types KEYS (a
# number waits that many tenths of a second), takes the screen.
shot() {
  local program=$1 output=$2
  shift 2
  rm -f "$work/corvamat.ini"
  "$work/corvamat" >/dev/null 2>&1 & app=$!
  sleep 2
  xdotool key alt+f; sleep 0.5; xdotool key Return; sleep 1.5
  xdotool type --delay 15 "$root/examples/$program"; xdotool key Return; sleep 1.5
  for k in "$@"; do
    if [[ $k =~ ^[0-9]+$ ]]; then sleep "$(printf '%d.%d' $((k / 10)) $((k % 10)))"; else xdotool key "$k"; sleep 0.4; fi
  done
  import -window root "$root/docs/$output"
  kill "$app"; wait "$app" 2>/dev/null || true
  app=""
}

if [ "${1:-all}" != analysis ]; then
  shot hello.hex screenshot-terminal.png ctrl+s ctrl+i F9 15
  # View > 7-Segment-LEDs is the seventh item of its menu.
  shot ledcount.hex screenshot-peripherals.png ctrl+r ctrl+p alt+v Down Down Down Down Down Down Return F9 20
  echo "docs/screenshot-terminal.png and docs/screenshot-peripherals.png written"
fi

# Coverage and profile: a larger screen, the program given on the command line.
kill "$wm" "$xvfb" 2>/dev/null || true
wait "$wm" "$xvfb" 2>/dev/null || true
Xvfb "$DISPLAY" -screen 0 1600x1000x24 -nolisten tcp >/dev/null 2>&1 & xvfb=$!
sleep 1
openbox >/dev/null 2>&1 & wm=$!
sleep 1
cp tests/analysis/c/profile.c "$work/"
(cd "$work" && sdcc -mmcs51 --debug --stack-auto -o profile.ihx profile.c)
rm -f "$work/corvamat.ini"
"$work/corvamat" "$work/profile.ihx" >/dev/null 2>&1 & app=$!
sleep 3
# Run > Record Coverage and Profile is the last but one item of its menu; View > Performance
# Analyzer the last but one of its, View > Source the fourth from the end.
xdotool key alt+r; sleep 0.5; xdotool key Up Up Return; sleep 0.5
xdotool key F9; sleep 2
xdotool key alt+v; sleep 0.5; xdotool key Up Up Up Up Return; sleep 1
xdotool key alt+v; sleep 0.5; xdotool key Up Up Return; sleep 1
# The analyzer's fifth row (count, by cycles) opens count in the Source window.
xdotool mousemove 960 213 click --repeat 2 1; sleep 1
import -window root -crop 610x310+902+70 "$root/docs/screenshot-profile.png"
# The Source window maximised by a double-click on its title.
xdotool mousemove 620 81 click --repeat 2 1; sleep 1
import -window root -crop 760x860+0+60 "$root/docs/screenshot-coverage.png"
kill "$app"; wait "$app" 2>/dev/null || true
app=""
echo "docs/screenshot-profile.png and docs/screenshot-coverage.png written"
