#!/usr/bin/env bash
# Saves screenshots of the converter's main window into docs/: idle, playing a movie, and
# converting it. Runs the real program on a virtual X server and drives it with xdotool the way a
# user would (keys, the toolkit's own file choosers). Needs a build in build/ (scripts/build.sh).
# Usage: scripts/screenshots.sh [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build}"

if [ -z "${TARN_SCREENSHOT_INNER:-}" ]; then
  export TARN_SCREENSHOT_INNER=1 NO_AT_BRIDGE=1 GSETTINGS_BACKEND=memory
  exec xvfb-run -a -s "-screen 0 1280x1024x24 -nolisten tcp" bash "$0" "$@"
fi

program="$PWD/$build/bin/tarn-converter"
docs="$PWD/docs"
work="$(mktemp -d)"
trap 'kill "${pid:-0}" 2>/dev/null || true; rm -rf "$work"' EXIT
mkdir -p "$docs"

# A wide cylindrical strip with sound, and a nadir logo.
ffmpeg -hide_banner -loglevel error -y -f lavfi -i "testsrc2=size=960x240:rate=25" \
  -f lavfi -i "sine=frequency=330:sample_rate=44100" -t 8 -c:v libx264 -pix_fmt yuv420p \
  -c:a aac -shortest "$work/pano.mp4"
ffmpeg -hide_banner -loglevel error -y -f lavfi \
  -i "gradients=s=1200x120:c0=0x1432C3:c1=0x78C8FF:x0=0:y0=0:x1=1200:y1=120:speed=0.00001" \
  -frames:v 1 "$work/logo.jpg"

window_id() { xdotool search --name "$1" 2>/dev/null | head -1 || true; }
wait_window() {
  for _ in $(seq 100); do
    id="$(window_id "$1")"
    if [ -n "$id" ]; then echo "$id"; return 0; fi
    sleep 0.1
  done
  echo "no window named $1" >&2
  return 1
}
# The main window with its menu bar, from the screen.
shoot() {
  eval "$(xdotool getwindowgeometry --shell "$main")"
  import -window root -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage "$docs/$1"
  echo "saved docs/$1"
}
type_path() {  # into the toolkit's file chooser named $1
  chooser="$(wait_window "$1")"
  sleep 0.8
  xdotool windowfocus --sync "$chooser"
  xdotool key ctrl+a
  xdotool type --delay 15 "$2"
  sleep 0.3
  xdotool key Return
}

"$program" &
pid=$!
splash="$(wait_window "Kestrova Tarn Video Converter")"
sleep 1
xdotool windowfocus --sync "$splash"
xdotool key Return  # "Start"
sleep 1.5
main="$(wait_window "v1.0 Build 002.02")"
xdotool windowfocus --sync "$main"
sleep 0.5
shoot main-idle.png

xdotool key ctrl+l
type_path "Load Video" "$work/pano.mp4"
sleep 3
shoot main-playing.png

# The "Add Logo" picture button (the menu bar lies above the 1024 x 480 client area).
eval "$(xdotool getwindowgeometry --shell "$main")"
xdotool mousemove --window "$main" 918 $((HEIGHT - 480 + 407)) click 1
type_path "Load Video" "$work/logo.jpg"
sleep 1.5

xdotool windowfocus --sync "$main"
xdotool key ctrl+c
type_path "Save Rectangular Video" "$work/pano_Unwrapped.mp4"
sleep 1.2
shoot main-converting.png
for _ in $(seq 120); do
  [ -n "$(window_id "Output Movie Compression")" ] && break
  sleep 0.25
done
sleep 1
shoot main-encoding.png

# Let the run finish, decline another encode, and leave through the exit question.
for _ in $(seq 120); do
  box="$(window_id "Successful termination")"
  [ -n "$box" ] && break
  sleep 0.5
done
if [ -n "${box:-}" ]; then
  sleep 0.5
  shoot main-converted.png
  xdotool windowfocus --sync "$box"
  xdotool key Escape
fi
sleep 1
xdotool windowfocus --sync "$main"
xdotool key alt+F4 2>/dev/null || true
kill "$pid" 2>/dev/null || true
wait "$pid" 2>/dev/null || true
