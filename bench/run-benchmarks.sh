#!/usr/bin/env bash
# Speed, memory and disk benchmarks of the converter against the system ffmpeg on the same
# generated inputs, in one invocation; prints the ratios. Not run by CI (minutes of work, GBs of
# frame files). Usage: bench/run-benchmarks.sh [build-folder]   (default: build)
# The frame files go to $TARN_BENCH_DIR (default <build>/bench-work); each stage deletes its own.
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build}"
convert="$build/bin/tarn-convert"
stage="$build/bench/frame_stage_bench"
work="${TARN_BENCH_DIR:-$build/bench-work}"
media="$build/bench-media"
mkdir -p "$work" "$media"
[ -x "$convert" ] && [ -x "$stage" ] && [ -x "$build/bench/frame_sink" ] ||
  { echo "build first: $convert, $stage, $build/bench/frame_sink" >&2; exit 2; }

# name size seconds [black]: H.264 + AAC at 29.97 fps.
generate() {
  local file="$media/$1" source="testsrc2=size=$2:rate=30000/1001"
  [ "${4:-}" = black ] && source="color=c=black:size=$2:rate=30000/1001"
  if [ ! -f "$file" ]; then
    echo "generating $1" >&2
    ffmpeg -v error -nostdin -y -f lavfi -i "$source" -f lavfi -i sine=frequency=440:sample_rate=44100 \
      -t "$3" -c:v libx264 -preset ultrafast -pix_fmt yuv420p -c:a aac -shortest "$file.part.mp4"
    mv "$file.part.mp4" "$file"
  fi
  echo "$file"
}
# Every timed run starts with the disk's write-back done (the BMP frames an ffmpeg reference wrote
# through the page cache otherwise slow the run after it) and after the machine has settled: on a
# VM that hands freed memory back to its host, memory freed a moment ago is cheap to use again
# and memory freed seconds ago costs a fault to the host per page. Back to back, the side that
# allocates sooner after the other exits gets the cheap memory: the same ffmpeg encode took 15.5 s
# right after another and 19.0 s four seconds after it. Each run therefore starts from the same,
# settled state, as a user's run does.
settle() {
  sync
  sleep "${TARN_BENCH_SETTLE:-6}"
}
seconds_of() {
  settle
  /usr/bin/time -f %e -o "$work/time.txt" "$@" >/dev/null 2>"$work/stderr.txt" || true
  tail -1 "$work/time.txt"
}
ratio() { python3 -c "import sys; print(f'{float(sys.argv[1]) / float(sys.argv[2]):.2f}')" "$1" "$2"; }
median() { printf '%s\n' "$@" | sort -g | awk '{v[NR]=$1} END {print v[int((NR+1)/2)]}'; }
# Each side runs this many times, taking turns, and the medians are compared: a shared machine's
# load comes and goes.
repeats="${TARN_BENCH_REPEATS:-3}"
# TARN_BENCH_SECTIONS picks sections: any of "stage whole noencode memory long" (default all but
# long, whose 10-minute input alone takes minutes to make).
wants() { [[ " ${TARN_BENCH_SECTIONS:-stage whole noencode memory} " == *" $1 "* ]]; }

# The encoder's options for the output, one a line, from the tool's "running:" line in REPORT:
# everything after the last input, the output path left out.
encoder_options() {
  python3 - "$(grep -m1 '^ffmpeg_III: running: ' "$1" | sed 's/^ffmpeg_III: running: //')" <<'PY'
import shlex, sys
args = shlex.split(sys.argv[1])
last_input = max(i for i, a in enumerate(args) if a == "-i")
for a in args[last_input + 2:-1]:
    print(a)
PY
}

# Canvas of a W x H input: Hc rows, the frame's top edge `top` rows below the canvas top.
geometry() {
  local w=$1 h=$2
  local hc=$(( (w / 2) / 2 * 2 ))
  local offset=$(python3 -c "print(round(($hc - $h + 2) / 2))")
  echo "$hc $(( hc - offset - h + 2 ))"
}

if wants stage; then
echo "== frame stage (decode, canvas, frame files) against ffmpeg's padded BMP frames"
for input in "1920x480 20" "3840x960 10"; do
  set -- $input
  movie=$(generate "bench-$1-$2s.mp4" "$1" "$2")
  w=${1%x*}; h=${1#*x}
  read -r hc top < <(geometry "$w" "$h")
  ours_runs=(); theirs_runs=()
  for _ in $(seq "$repeats"); do
    rm -rf "$work/ours"; mkdir -p "$work/ours"
    settle
    ours_runs+=("$("$stage" "$movie" "$work/ours" | awk '{print $4}')")
    rm -rf "$work/ours"
    rm -rf "$work/ffmpeg"; mkdir -p "$work/ffmpeg"
    theirs_runs+=("$(seconds_of ffmpeg -v error -nostdin -y -i "$movie" -vf "pad=$w:$hc:0:$top" \
      -pix_fmt bgra -start_number 0 -f image2 "$work/ffmpeg/temp%06d.bmp")")
    rm -rf "$work/ffmpeg"
  done
  ours=$(median "${ours_runs[@]}"); theirs=$(median "${theirs_runs[@]}")
  echo "$1 ${2}s: ours ${ours}s, ffmpeg ${theirs}s, ratio $(ratio "$ours" "$theirs") (target <= 1.0)"
done
fi

if wants whole; then
echo "== whole conversion to MP4, default settings, against a one-pass ffmpeg pad-and-encode"
# size seconds target: medians of whole tarn-convert runs and of ffmpeg with the very encoder
# options our tool passed, then one profiled run of each (CPU seconds per stage, idle cores).
whole() {
  local size=$1 seconds=$2 target=$3
  local movie w h hc top
  movie=$(generate "bench-$size-${seconds}s.mp4" "$size" "$seconds")
  w=${size%x*}; h=${size#*x}
  read -r hc top < <(geometry "$w" "$h")
  rm -rf "$work/run"; mkdir -p "$work/run"
  local ours_runs=() theirs_runs=() options=()
  for _ in $(seq "$repeats"); do
    ours_runs+=("$(TARN_ENCODER_REPORT="$work/report.txt" seconds_of "$convert" -y "$movie" "$work/ours.mp4" --temp "$work/run")")
    if [ ${#options[@]} -eq 0 ]; then
      mapfile -t options < <(encoder_options "$work/report.txt")
    fi
    theirs_runs+=("$(seconds_of ffmpeg -hide_banner -nostdin -y -v error -i "$movie" -vf "pad=$w:$hc:0:$top" \
      "${options[@]}" "$work/theirs.mp4")")
  done
  local ours theirs
  ours=$(median "${ours_runs[@]}"); theirs=$(median "${theirs_runs[@]}")
  echo "   runs: ours ${ours_runs[*]} s; ffmpeg ${theirs_runs[*]} s"
  echo "$size ${seconds}s: ours ${ours}s, ffmpeg ${theirs}s, ratio $(ratio "$ours" "$theirs") (target <= $target)"
  echo "   encoder options: ${options[*]}"
  echo "   profile of one run of ours:"
  settle
  python3 bench/stage_profile.py "$convert" -y "$movie" "$work/ours.mp4" --temp "$work/run" || true
  echo "   profile of one run of ffmpeg:"
  settle
  python3 bench/stage_profile.py ffmpeg -hide_banner -nostdin -y -v error -i "$movie" \
    -vf "pad=$w:$hc:0:$top" "${options[@]}" "$work/theirs.mp4" || true
  rm -rf "$work/run" "$work/ours.mp4" "$work/theirs.mp4"
}
echo "   load before: $(cut -d' ' -f1-3 /proc/loadavg)"
whole 1920x480 20 1.15
whole 3840x960 10 1.20
echo "   load after: $(cut -d' ' -f1-3 /proc/loadavg)"
fi

if wants noencode; then
echo "== whole run with the encode left out (probe, sound, frame files, cleanup) against ffmpeg"
echo "   writing the same BMP frames and sound and deleting them"
# A copy of tarn-convert whose encoder tool is frame_sink: the real tool extracts the sound, the
# sink takes the frame files as the encode would (consumed, deleted) and encodes nothing.
noencode="$work/noencode/bin"
rm -rf "$work/noencode"; mkdir -p "$noencode/PLUG-IN"
cp "$convert" "$noencode/tarn-convert"
ln -s "$(cd "$build/bench" && pwd)/frame_sink" "$noencode/PLUG-IN/ffmpeg_III.exe"
real_tool="$(cd "$build/bin/PLUG-IN" && pwd)/ffmpeg_III.exe"
for input in "1920x480 20" "3840x960 10"; do
  set -- $input
  movie=$(generate "bench-$1-$2s.mp4" "$1" "$2")
  w=${1%x*}
  read -r hc top < <(geometry "$w" "${1#*x}")
  ours_runs=(); theirs_runs=()
  for _ in $(seq "$repeats"); do
    rm -rf "$work/run"; mkdir -p "$work/run"
    ours_runs+=("$(TARN_BENCH_REAL_TOOL="$real_tool" seconds_of "$noencode/tarn-convert" -y "$movie" \
      "$work/noencode.mp4" --temp "$work/run")")
    rm -rf "$work/ffmpeg"; mkdir -p "$work/ffmpeg"
    theirs_runs+=("$(seconds_of sh -c 'ffmpeg -v error -nostdin -y -i "$1" -vf "$2" -pix_fmt bgra \
      -start_number 0 -f image2 "$3/temp%06d.bmp" -vn -ac 2 -ar 44100 -c:a pcm_s16le "$3/temp.wav" \
      && rm -rf "$3"' sh "$movie" "pad=$w:$hc:0:$top" "$work/ffmpeg")")
  done
  ours=$(median "${ours_runs[@]}"); theirs=$(median "${theirs_runs[@]}")
  echo "   runs: ours ${ours_runs[*]} s; ffmpeg ${theirs_runs[*]} s"
  echo "$1 ${2}s: ours ${ours}s, ffmpeg ${theirs}s, ratio $(ratio "$ours" "$theirs") (target <= 0.6)"
done
rm -rf "$work/noencode" "$work/run" "$work/noencode.mp4"
fi

if wants memory; then
echo "== peak memory of tarn-convert, 20 s against 60 s (1920x480, Ultra Fast, 50%)"
peak() {
  python3 - "$@" <<'PY'
import subprocess, sys, time
process = subprocess.Popen(sys.argv[1:], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
peak = 0
while process.poll() is None:
    try:
        with open(f"/proc/{process.pid}/status") as status:
            for line in status:
                if line.startswith("VmHWM:"):
                    peak = max(peak, int(line.split()[1]))
    except OSError:
        pass
    time.sleep(0.05)
print(peak)
PY
}
movie=$(generate "bench-1920x480-20s.mp4" 1920x480 20)
long=$(generate "bench-1920x480-60s.mp4" 1920x480 60)
rm -rf "$work/run"; mkdir -p "$work/run"
short_kb=$(peak "$convert" -y "$movie" "$work/m.mp4" --temp "$work/run" --codec-mode 1 --resize 5)
long_kb=$(peak "$convert" -y "$long" "$work/m.mp4" --temp "$work/run" --codec-mode 1 --resize 5)
rm -rf "$work/run" "$work/m.mp4"
echo "20s: ${short_kb} kB, 60s: ${long_kb} kB, ratio $(ratio "$long_kb" "$short_kb") (target within 10%)"
fi

if wants long; then
echo "== a 10-minute 1920x480 movie: temporary folder, time per frame and memory against 20 s"
# tarn-convert consumes its frame files: the temporary folder holds a window of them, not the
# 133 GB of the whole sequence. Whole-conversion ratios against one-pass ffmpeg with the same x264
# options, for the 20 s and the 10 min movie; peak memory of both runs.
long_pair() {
  local movie=$1 label=$2
  rm -rf "$work/run"; mkdir -p "$work/run"
  settle
  read -r ours_s ours_temp ours_kb ours_status < <(TARN_ENCODER_REPORT="$work/report.txt" \
    python3 bench/run_sampled.py "$work/run" "$convert" -y "$movie" "$work/ours.mp4" --temp "$work/run")
  mapfile -t options < <(encoder_options "$work/report.txt")
  read -r hc top < <(geometry 1920 480)
  theirs_s=$(seconds_of ffmpeg -hide_banner -nostdin -y -v error -i "$movie" -vf "pad=1920:$hc:0:$top" \
    "${options[@]}" "$work/theirs.mp4")
  frames=$(ffprobe -v error -count_frames -select_streams v:0 -show_entries stream=nb_read_frames \
    -of default=nw=1:nk=1 "$work/ours.mp4")
  echo "$label: ours ${ours_s}s (exit $ours_status, $frames frames), ffmpeg ${theirs_s}s," \
    "ratio $(ratio "$ours_s" "$theirs_s"); peak temporary folder $ours_temp bytes; peak memory $ours_kb kB"
  rm -rf "$work/run" "$work/ours.mp4" "$work/theirs.mp4"
}
echo "   load before: $(cut -d' ' -f1-3 /proc/loadavg)"
short=$(generate "bench-1920x480-20s.mp4" 1920x480 20)
ten=$(generate "bench-1920x480-600s.mp4" 1920x480 600)
long_pair "$short" "20 s"
short_ratio=$(ratio "$ours_s" "$theirs_s"); short_kb=$ours_kb
long_pair "$ten" "10 min"
long_ratio=$(ratio "$ours_s" "$theirs_s")
echo "10 min ratio / 20 s ratio: $(ratio "$long_ratio" "$short_ratio") (target <= 1.05);" \
  "peak temporary folder $ours_temp bytes (target <= 1.1 GB);" \
  "memory 10 min / 20 s: $(ratio "$ours_kb" "$short_kb") (target within 10%)"
echo "   load after: $(cut -d' ' -f1-3 /proc/loadavg)"
fi
