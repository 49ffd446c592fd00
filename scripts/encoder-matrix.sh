#!/usr/bin/env bash
# The encoder tool's matrix: the main-encode command lines the converter builds, run through
# build/bin/PLUG-IN/ffmpeg_III.exe with the system ffmpeg, each output checked with ffprobe
# (container, codecs, 4:2:0, size, frame rate, duration within one frame, sound, spherical tag).
# Not run by CI.
#
#   scripts/encoder-matrix.sh [--full] [--keep] [--only=mp4,webm,...]
#
# Default: every value of every option at least once per container, the others at "Auto" /
# "Natural size" / "Default" (51 runs per container, 408 in all), then the quality sweep 1..21
# on larger frames (file sizes must shrink monotonically) and the codec-mode speeds.
# --full: the whole product (8 x 22 x 10 x 6 x 6 x 2 x 5 = 633,600 runs; days on two cores).
set -uo pipefail
cd "$(dirname "$0")/.."
tool="$PWD/build/bin/PLUG-IN/ffmpeg_III.exe"
[ -x "$tool" ] || { echo "build the tool first: $tool"; exit 2; }
full=0
keep=0
containers=(flv mov avi mp4 m4v ogg ogv webm)
for arg in "$@"; do
  case "$arg" in
    --full) full=1 ;;
    --keep) keep=1 ;;
    --only=*) IFS=, read -r -a containers <<<"${arg#--only=}" ;;
    *) echo "unknown argument $arg"; exit 2 ;;
  esac
done
work="$(mktemp -d)"
[ "$keep" = 1 ] || trap 'rm -rf "$work"' EXIT

bitrates=("" 500k 700k 900k 1200k 1500k 2000k 3000k 4000k 5000k)
second=" -g 250 -keyint_min 25 -sc_threshold 40 -i_qfactor 0.71 -b_strategy 1 -qcomp 0.6 -qmin 10 -qmax 51 -qdiff 4 "
max=" -threads 0 -coder 1 -flags +loop -cmp +chroma -partitions +parti8x8+parti4x4+partp8x8+partp4x4-partb8x8  -subq 8 "
modes=(
  ""
  " -threads 0 -coder 0 -flags +loop -cmp +chroma -partitions -parti8x8-parti4x4-partp8x8-partp4x4-partb8x8  -subq 0 -me_range 16 $second"
  " -threads 0 -coder 0 -flags +loop -cmp +chroma -partitions -parti8x8+parti4x4+partp8x8-partp4x4-partb8x8  -subq 3 -me_range 16 $second"
  " -threads 0 -coder 1 -flags +loop -cmp +chroma -partitions -parti8x8+parti4x4+partp8x8+partp4x4-partb8x8  -subq 5 -me_range 16 $second"
  "$max -me_range 16 -g 250 -keyint_min 25 -sc_threshold 40 -i_qfactor 0.71 -b_strategy 1 -qcomp 0.6 -qmin 10 -qmax 51 -qdiff 4 -refs 16 "
  "$max -me_range 16 -g 250 -keyint_min 25 -sc_threshold 40 -i_qfactor 0.71 -b_strategy 1 -qcomp 0.6 -qmin 10 -qmax 51 -qdiff 4 -refs 4 "
)
mode_names=(Auto "Ultra Fast" Fast Medium Max Slower)
factors=(0 0.89999997615814 0.80000001192093 0.69999998807907 0.60000002384186 0.5)

# Frame files: W x H, N frames at 25 fps, plus temp.wav.
make_frames() {  # folder width height count
  mkdir -p "$1"
  ffmpeg -hide_banner -loglevel error -nostdin -f lavfi \
    -i "testsrc2=size=$(($2 + $2 % 2))x$(($3 + $3 % 2)):rate=25,format=bgra,crop=$2:$3:0:0,noise=alls=12:allf=t" \
    -frames:v "$4" -pix_fmt bgra \
    -start_number 0 "$1/temp%06d.bmp" || exit 2
  ffmpeg -hide_banner -loglevel error -nostdin -f lavfi -i sine=frequency=440 -t 3 -ac 2 \
    -ar 44100 -c:a pcm_s16le "$1/temp.wav" || exit 2
}

clock() {  # seconds -> hh:mm:ss.mmm
  awk -v s="$1" 'BEGIN { h=int(s/3600); m=int((s-h*3600)/60); printf "%02d:%02d:%06.3f", h, m, s-h*3600-m*60 }'
}

# The command line of the converter's main encode, after the program name.
command_line() {  # folder ext quality bitrate mode resize channels rate width height seconds
  local folder=$1 ext=$2 q=$3 b=$4 m=$5 r=$6 ch=$7 sr=$8 w=$9 h=${10} secs=${11}
  local size="" rate audio codec tail
  if [ "$r" != 0 ]; then
    size=$(awk -v f="${factors[$r]}" -v w="$w" -v h="$h" \
      'BEGIN { printf " -s %dx%d ", 16*int(f*w/16), 16*int(f*h/16) }')
  fi
  case $sr in
    0|2) rate=44100 ;;
    1) if [ "$ext" = flv ]; then rate=44100; else rate=48000; fi ;;
    3) rate=22050 ;;
    4) rate=11025 ;;
  esac
  audio=" -ac $([ "$ch" = 0 ] && echo 2 || echo 1)  -ar $rate "
  local bpiece=""
  [ -n "${bitrates[$b]}" ] && bpiece=" -b ${bitrates[$b]} "
  local t=" -t $(clock "$secs")$bpiece${modes[$m]}$size"
  local n=$((q + 10)) fmt=$ext
  [ "$ext" = ogv ] && fmt=ogg
  case $ext in
    flv|mov|avi)
      codec=" -vcodec libx264 -acodec $([ "$ext" = avi ] && echo pcm_s16le || echo mp3) "
      if [ "$q" = 0 ]; then tail=" -crf 22 -qscale 15 -f $fmt "; else tail=" -crf $n -f $fmt "; fi ;;
    *)
      codec=" -r 30 "
      if [ "$q" = 0 ]; then tail=" -sameq -qscale 15 -f $fmt "; else tail=" -qscale $q -f $fmt "; fi ;;
  esac
  echo " -r 25.00 -i $folder/temp%06d.bmp -i $folder/temp.wav$audio$codec$t$tail -y "
}

expected_rate() {  # ext sampleRateIndex -> Hz
  [ "$1" = webm ] && { echo 48000; return; }
  case $2 in 0|2) echo 44100 ;; 1) [ "$1" = flv ] && echo 44100 || echo 48000 ;; 3) echo 22050 ;; 4) echo 11025 ;; esac
}

passed=0
failed=0
failures="$work/failures.txt"
: >"$failures"

# Runs one encode and checks it; records a failure line with the reason.
check_run() {  # folder ext q b m r ch sr width height seconds
  local folder=$1 ext=$2 q=$3 b=$4 m=$5 r=$6 ch=$7 sr=$8 w=$9 h=${10} secs=${11}
  local out="$work/out.$ext" line reason=""
  line=$(command_line "$@")
  # shellcheck disable=SC2086
  "$tool" $line "$out" 2>"$work/stderr" || reason="tool exit $?"
  local vcodec acodec fmt ew eh fps
  case $ext in
    flv) fmt=flv; vcodec=h264; acodec=mp3; fps=25 ;;
    mov) fmt=mov; vcodec=h264; acodec=mp3; fps=25 ;;
    avi) fmt=avi; vcodec=h264; acodec=pcm_s16le; fps=25 ;;
    mp4|m4v) fmt=mp4; vcodec=h264; acodec=aac; fps=30 ;;
    ogg|ogv) fmt=ogg; vcodec=theora; acodec=vorbis; fps=30 ;;
    webm) fmt=webm; vcodec=vp9; acodec=opus; fps=30 ;;
  esac
  if [ "$r" != 0 ]; then
    read -r ew eh < <(awk -v f="${factors[$r]}" -v w="$w" -v h="$h" \
      'BEGIN { print 16*int(f*w/16), 16*int(f*h/16) }')
  else
    ew=$((w + w % 2)); eh=$((h + h % 2))
  fi
  if [ -z "$reason" ]; then
    local probe
    probe=$(ffprobe -v error -count_frames -show_entries \
      stream=codec_type,codec_name,width,height,pix_fmt,r_frame_rate,nb_read_frames,sample_rate,channels:format=format_name \
      -of default=nw=1 "$out" 2>&1)
    local times
    times=$(ffprobe -v error -select_streams v:0 -show_entries frame=best_effort_timestamp_time \
      -of csv=p=0 "$out" 2>/dev/null | grep -v N/A)
    reason=$(awk -v probe="$probe" -v times="$times" -v fmt="$fmt" -v vc="$vcodec" -v ac="$acodec" \
      -v ew="$ew" -v eh="$eh" -v fps="$fps" -v secs="$secs" -v ch="$((ch == 0 ? 2 : 1))" \
      -v sr="$(expected_rate "$ext" "$sr")" 'BEGIN {
        n = split(probe, lines, "\n"); type = ""
        for (i = 1; i <= n; i++) {
          split(lines[i], kv, "=")
          if (kv[1] == "codec_name") codec = kv[2]
          if (kv[1] == "codec_type") { type = kv[2]; types[type] = codec }
          if (kv[1] == "format_name") format = kv[2]
          v[type "," kv[1]] = kv[2]
        }
        # codec_name comes before codec_type in the default writer
        if (index(format, fmt) == 0) { print "format " format; exit }
        if (!("video" in types)) { print "no video"; exit }
        if (types["video"] != vc) { print "video codec " types["video"]; exit }
        if (v["video,pix_fmt"] != "yuv420p") { print "pix_fmt " v["video,pix_fmt"]; exit }
        if (v["video,width"] != ew || v["video,height"] != eh) { print "size " v["video,width"] "x" v["video,height"] " not " ew "x" eh; exit }
        split(v["video,r_frame_rate"], rr, "/"); rate = rr[1] / rr[2]
        if (rate < fps - 0.01 || rate > fps + 0.01) { print "frame rate " rate; exit }
        count = v["video,nb_read_frames"] / rate
        m = split(times, t, "\n"); lo = 1e9; hi = -1
        for (i = 1; i <= m; i++) if (t[i] != "") { if (t[i] < lo) lo = t[i]; if (t[i] > hi) hi = t[i] }
        span = hi >= 0 ? hi - lo + 1 / rate : 0
        d = count > span ? count : span
        if (d - secs > 1 / rate + 1e-6 || secs - d > 1 / rate + 1e-6) { print "duration " d " not " secs; exit }
        if (!("audio" in types)) { print "no sound"; exit }
        if (types["audio"] != ac) { print "audio codec " types["audio"]; exit }
        if (v["audio,sample_rate"] != sr) { print "sample rate " v["audio,sample_rate"] " not " sr; exit }
        if (v["audio,channels"] != ch) { print "channels " v["audio,channels"]; exit }
      }')
  fi
  if [ -z "$reason" ] && [ "$w" = $((2 * h)) ]; then
    case $ext in
      mp4|m4v|mov|webm)
        [[ "$(ffprobe -v error -show_streams "$out")" == *projection=equirectangular* ]] ||
          reason="no spherical metadata" ;;
      *)
        [[ "$(ffprobe -v error -show_streams "$out")" == *Spherical* ]] &&
          reason="unexpected spherical metadata" ;;
    esac
  fi
  if [ -z "$reason" ]; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
    echo "$ext q=$q b=$b mode=$m resize=$r ch=$ch sr=$sr ${w}x$h: $reason" | tee -a "$failures"
  fi
}

small="$work/small"
make_frames "$small" 320 160 12
odd="$work/odd"
make_frames "$odd" 321 160 12
secs=0.48
start=$(date +%s)
if [ "$full" = 1 ]; then
  for ext in "${containers[@]}"; do for q in $(seq 0 21); do for b in $(seq 0 9); do
    for m in $(seq 0 5); do for r in $(seq 0 5); do for ch in 0 1; do for sr in $(seq 0 4); do
      check_run "$small" "$ext" "$q" "$b" "$m" "$r" "$ch" "$sr" 320 160 "$secs"
    done; done; done; done
  done; done; done
else
  for ext in "${containers[@]}"; do
    for q in $(seq 0 21); do check_run "$small" "$ext" "$q" 0 0 0 0 0 320 160 "$secs"; done
    for b in $(seq 1 9); do check_run "$small" "$ext" 0 "$b" 0 0 0 0 320 160 "$secs"; done
    for m in $(seq 1 5); do check_run "$small" "$ext" 0 0 "$m" 0 0 0 320 160 "$secs"; done
    for r in $(seq 1 5); do check_run "$small" "$ext" 0 0 0 "$r" 0 0 320 160 "$secs"; done
    check_run "$small" "$ext" 0 0 0 0 1 0 320 160 "$secs"
    for sr in $(seq 1 4); do check_run "$small" "$ext" 0 0 0 0 0 "$sr" 320 160 "$secs"; done
    # An odd width, a bit rate, a codec mode and mono at 22050 together.
    check_run "$odd" "$ext" 7 5 2 0 1 3 321 160 "$secs"
  done
fi
echo "== option matrix: $passed passed, $failed failed ($(($(date +%s) - start)) s)"

# Quality 1..21: the file must shrink at every step.
sweep="$work/sweep"
make_frames "$sweep" 640 320 25
echo "== quality sweep, 640x320, 25 frames: file sizes for quality 1..21"
monotonic_fail=0
for ext in "${containers[@]}"; do
  sizes=()
  for q in $(seq 1 21); do
    line=$(command_line "$sweep" "$ext" "$q" 0 0 0 0 0 640 320 1.0)
    # shellcheck disable=SC2086
    "$tool" $line "$work/q.$ext" 2>/dev/null
    sizes+=("$(stat -c %s "$work/q.$ext")")
  done
  verdict=monotonic
  for i in $(seq 1 20); do
    [ "${sizes[$i]}" -lt "${sizes[$((i - 1))]}" ] || verdict="NOT monotonic at $((i + 1))"
  done
  [ "$verdict" = monotonic ] || monotonic_fail=$((monotonic_fail + 1))
  echo "$ext: ${sizes[*]} -> $verdict"
done

# Codec-mode speeds: wall and CPU seconds of tool and ffmpeg together.
echo "== codec modes, 640x320, 25 frames (seconds: wall / cpu)"
for ext in mp4 webm; do
  for m in $(seq 0 5); do
    line=$(command_line "$sweep" "$ext" 0 0 "$m" 0 0 0 640 320 1.0)
    # shellcheck disable=SC2086
    /usr/bin/time -f "%e %U %S" -o "$work/time" "$tool" $line "$work/m.$ext" 2>/dev/null
    read -r wall user sys <"$work/time"
    printf '%-5s %-11s %6.2f / %6.2f\n' "$ext" "${mode_names[$m]}" "$wall" "$(echo "$user + $sys" | bc -l)"
  done
done
[ "$failed" = 0 ] && [ "$monotonic_fail" = 0 ]
