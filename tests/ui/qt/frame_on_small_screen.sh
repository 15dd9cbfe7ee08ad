#!/usr/bin/env bash
# The window under a real window manager (openbox) on a 1024 x 768 screen: its frame, title
# bar and borders included, lies wholly on the screen. Usage: frame_on_small_screen.sh PROGRAM
set -euo pipefail
program=$1
work=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT

# Xvfb picks a free display and says which.
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" >/dev/null 2>&1 &
pids+=($!)
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
[ -s "$work/display" ] || { echo "Xvfb did not start"; exit 1; }
export DISPLAY=":$(cat "$work/display")"
openbox >/dev/null 2>&1 &
pids+=($!)
# A program started before the manager says what it supports takes the screen as
# unmanaged, as it would on a desktop whose manager is not yet up.
for _ in $(seq 100); do
  xprop -root _NET_SUPPORTED 2>/dev/null | grep -q _NET_FRAME_EXTENTS && break
  sleep 0.1
done
HOME=$work XDG_RUNTIME_DIR=$work "$program" >"$work/program.log" 2>&1 &
pids+=($!)

# The program's own window: the one the manager framed (its frame has the title too).
window=""
for _ in $(seq 100); do
  for candidate in $(xdotool search --name '^TQ9\.5 Dizavavov$' 2>/dev/null || true); do
    if xprop -id "$candidate" _NET_FRAME_EXTENTS 2>/dev/null | grep -q '='; then
      window=$candidate
    fi
  done
  [ -n "$window" ] && break
  sleep 0.1
done
[ -n "$window" ] || { echo "the window did not appear"; cat "$work/program.log"; exit 1; }
sleep 1.5  # the manager's placement, then the window's own
read -r left right top bottom < <(xprop -id "$window" _NET_FRAME_EXTENTS | sed 's/.*= //; s/,//g')
info=$(xwininfo -id "$window")
x=$(sed -n 's/.*Absolute upper-left X: *//p' <<<"$info")
y=$(sed -n 's/.*Absolute upper-left Y: *//p' <<<"$info")
w=$(sed -n 's/.*Width: *//p' <<<"$info")
h=$(sed -n 's/.*Height: *//p' <<<"$info")
frame_left=$((x - left)) frame_top=$((y - top))
frame_right=$((x + w + right)) frame_bottom=$((y + h + bottom))
echo "frame: ($frame_left,$frame_top) to ($frame_right,$frame_bottom) on 1024x768"
if [ "$frame_left" -lt 0 ] || [ "$frame_top" -lt 0 ] || [ "$frame_right" -gt 1024 ] ||
  [ "$frame_bottom" -gt 768 ]; then
  echo "the frame leaves the screen"
  exit 1
fi
