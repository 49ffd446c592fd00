#!/usr/bin/env bash
# Times the main encode of the encoder tool (frame files read by the tool, fed through a pipe)
# against ffmpeg reading the same 32-bit BMP frame files itself ("-i temp%06d.bmp"), with the same
# encoder options, on the same machine in the same run.
#   bench/encoder-tool-frame-reading.sh [WIDTH] [FRAMES] [ROUNDS]
# Needs a build (build/bin/PLUG-IN/ffmpeg_III.exe). Prints wall and CPU seconds (the tool and
# ffmpeg together) of each run. Even frame sizes only (no scaling in either run).
set -euo pipefail
cd "$(dirname "$0")/.."
width="${1:-1920}"
frames="${2:-150}"
rounds="${3:-1}"
height=$((width / 2))
tool="$PWD/build/bin/PLUG-IN/ffmpeg_III.exe"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

ffmpeg -hide_banner -loglevel error -nostdin -f lavfi \
  -i "testsrc2=size=${width}x${height}:rate=25" -frames:v "$frames" -pix_fmt bgra \
  -start_number 0 "$work/temp%06d.bmp"
ffmpeg -hide_banner -loglevel error -nostdin -f lavfi -i "sine=frequency=440" \
  -t "$((frames / 25 + 1))" -ac 2 -ar 44100 -c:a pcm_s16le "$work/temp.wav"
seconds=$(printf '00:00:%06.3f' "$(echo "$frames / 25" | bc -l)")

# Each line: a container tail of the converter's command line.
ultrafast="-threads 0 -coder 0 -flags +loop -cmp +chroma -partitions -parti8x8-parti4x4-partp8x8-partp4x4-partb8x8  -subq 0 -me_range 16"
tails=(
  "-vcodec libx264 -acodec mp3  -t $seconds -crf 22 -qscale 15 -f flv|default.flv"
  "-vcodec libx264 -acodec mp3  -t $seconds $ultrafast -crf 22 -qscale 15 -f flv|ultrafast.flv"
  "-r 30  -t $seconds -sameq -qscale 15 -f mp4|default.mp4"
)

timed() {  # label, command...
  local label="$1" start end user sys
  shift
  start=$(date +%s.%N)
  /usr/bin/time -f "%U %S" -o "$work/cpu" "$@" 2>"$work/stderr" >/dev/null
  end=$(date +%s.%N)
  read -r user sys <"$work/cpu"
  printf '%-28s wall %6.2f s  cpu %6.2f s\n' "$label" "$(echo "$end - $start" | bc -l)" \
    "$(echo "$user + $sys" | bc -l)"
}

echo "frames: $frames of ${width}x${height}, 32-bit BMP ($(du -sh "$work" | cut -f1) on disk)"
for round in $(seq "$rounds"); do
  for entry in "${tails[@]}"; do
    tail="${entry%|*}"
    out="${entry#*|}"
    # shellcheck disable=SC2086
    set -- -r 25.00 -i "$work/temp%06d.bmp" -i "$work/temp.wav" -ac 2 -ar 44100 $tail -y "$work/$out"
    sync
    timed "tool ($out)" "$tool" "$@"
    line=$(grep '^ffmpeg_III: running: ' "$work/stderr" | sed 's/^ffmpeg_III: running: ffmpeg //')
    # The same ffmpeg command with ffmpeg reading the BMP files itself.
    direct=$(echo "$line" | sed -E "s#-f rawvideo -pix_fmt yuv420p -video_size [0-9]+x[0-9]+ -framerate ([0-9.]+) -i - #-framerate \\1 -i $work/temp%06d.bmp #")
    [ "$direct" != "$line" ] || { echo "could not rewrite: $line"; exit 1; }
    sync
    # shellcheck disable=SC2086
    timed "ffmpeg image2 ($out)" ffmpeg $direct
  done
done
