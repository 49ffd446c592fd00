#!/usr/bin/env bash
# Shows the converter's outputs in real players and compares the colours they display with the
# input's, patch by patch.
#
# Usage: scripts/player-colours.sh [BUILD_DIR]     (BUILD_DIR defaults to build)
#
# Makes a 1920x480 movie of flat colour patches (H.264 4:2:0 and AAC sound), converts it with
# BUILD_DIR/bin/tarn-convert to MP4, WEBM and MOV, and shows every output
#   - in mpv, through its software output writing a PNG (--vo=image) and its usual OpenGL output
#     (--vo=gpu on Mesa's software renderer under Xvfb, a screenshot of the window), and
#   - in headless Chromium, through its GPU path on SwiftShader (a <video> seeked to 0.5 s, drawn
#     into a <canvas> and read back with getImageData, and a screenshot of the page showing the
#     <video> itself) and through its software path (--disable-gpu, the canvas only).
# It prints, per player and file, every patch's input RGB (the input decoded with its own tags),
# the RGB shown (mean of the patch's inner area), the largest channel difference and PASS/FAIL
# against 3. For comparison the same input padded by plain ffmpeg is shown too: untagged BT.601
# (players read it as BT.709: wrong colours) and tagged BT.709.
# Exit status: 0 when every patch of every converted output is within 3 in both mpv outputs and
# in Chromium's GPU path, 1 otherwise, 2 when a tool is missing or a step fails. Chromium's
# software path is shown but not counted: it is off in strong blues for every BT.709 file, plain
# ffmpeg's too.
#
# Needs ffmpeg, ffprobe, python3, xvfb-run, mpv and chromium. Not run by CI; on Debian install the
# players with: apt-get install -y mpv chromium
set -euo pipefail

cd "$(dirname "$0")/.."
build="${1:-build}"
convert="$build/bin/tarn-convert"
if [[ ! -x "$convert" ]]; then
  echo "no $convert: build first (bash scripts/build.sh $build)" >&2
  exit 2
fi
for tool in ffmpeg ffprobe python3 xvfb-run mpv chromium; do
  if ! command -v "$tool" >/dev/null; then
    echo "$tool is missing; on Debian: apt-get install -y mpv chromium xvfb ffmpeg python3" >&2
    exit 2
  fi
done

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

# The patches, left to right, 240 x 480 each: the colours browsers got wrong in untagged files,
# a grey, a white and more.
patches=(FC0000 00FF02 0000FA 808080 F0F0F0 0DA038 FADC14 C81EC8)
names=(red green blue grey white logo-green yellow magenta)
patch_width=240
strip_height=480
seek=0.5
exact=accurate_rnd+full_chroma_int  # swscale's exact rounding

graph=""
stack=""
for i in "${!patches[@]}"; do
  graph+="color=c=0x${patches[$i]}:s=${patch_width}x${strip_height}:r=25:d=2[p$i];"
  stack+="[p$i]"
done
graph+="${stack}hstack=inputs=${#patches[@]}"
input="$work/patches.mp4"
ffmpeg -v error -nostdin -y -f lavfi -i "$graph" -f lavfi -i "sine=f=440:d=2" -map 0:v -map 1:a \
  -c:v libx264 -crf 8 -pix_fmt yuv420p -c:a aac -shortest "$input"

probe() {  # FILE ENTRY: one entry of the first video stream
  ffprobe -v error -select_streams v:0 -show_entries "stream=$2" -of default=nw=1:nk=1 "$1"
}

# The picture at $seek of a file as RGB, read with its own matrix and range tags; untagged
# pictures are BT.601 below 720 lines and BT.709 from 720 up.
decode_rgb() {  # FILE RAW_OUT
  local height space matrix range
  height="$(probe "$1" height)"
  space="$(probe "$1" color_space)"
  matrix=bt601
  ((height >= 720)) && matrix=bt709
  [[ "$space" == bt709 ]] && matrix=bt709
  [[ "$space" == bt470bg || "$space" == smpte170m ]] && matrix=bt601
  range=tv
  [[ "$(probe "$1" color_range)" == pc ]] && range=pc
  ffmpeg -v error -nostdin -y -ss "$seek" -i "$1" -frames:v 1 \
    -vf "scale=in_color_matrix=$matrix:in_range=$range:flags=$exact" \
    -pix_fmt rgb24 -f rawvideo "$2"
}

# Means of the patches' inner areas in a raw RGB picture whose strip starts at row TOP.
cat >"$work/means.py" <<'EOF'
import sys
path, width, height, top, count, patch_width, strip_height = sys.argv[1:8]
width, height, top, count = int(width), int(height), int(top), int(count)
patch_width, strip_height = int(patch_width), int(strip_height)
data = open(path, "rb").read()
if len(data) != width * height * 3:
    sys.exit(f"{path}: {len(data)} bytes, not a {width}x{height} RGB picture")
margin_x, margin_y = patch_width // 6, strip_height // 8
y0, y1 = top + margin_y, top + strip_height - margin_y
for i in range(count):
    x0, x1 = i * patch_width + margin_x, (i + 1) * patch_width - margin_x
    sums = [0, 0, 0]
    for y in range(y0, y1):
        row = data[(y * width + x0) * 3:(y * width + x1) * 3]
        for c in range(3):
            sums[c] += sum(row[c::3])
    n = (x1 - x0) * (y1 - y0)
    print(" ".join(f"{s / n:.2f}" for s in sums))
EOF

means() {  # RAW WIDTH HEIGHT TOP
  python3 "$work/means.py" "$1" "$2" "$3" "$4" "${#patches[@]}" "$patch_width" "$strip_height"
}

decode_rgb "$input" "$work/input.rgb"
means "$work/input.rgb" "$(probe "$input" width)" "$strip_height" 0 >"$work/input.means"

# The converter's outputs, and two files plain ffmpeg makes of the same input, padded the same
# way: an untagged BT.601 one (which players read as BT.709, wrong) and a BT.709 tagged one (what
# a player makes of a correct BT.709 file).
outputs=()
for extension in mp4 webm mov; do
  "$convert" -y --quiet --temp "$work/temp" "$input" "$work/tarn.$extension"
  outputs+=("tarn.$extension")
done
width="$(probe "$work/tarn.mp4" width)"
height="$(probe "$work/tarn.mp4" height)"
top=$(((height - strip_height) / 2))
plain() {  # NAME FILTERS FFMPEG_OPTIONS...
  local name="$1" filters="$2"
  shift 2
  ffmpeg -v error -nostdin -y -i "$input" -vf "pad=$width:$height:0:$top$filters" -c:v libx264 \
    -crf 8 -pix_fmt yuv420p "$@" -c:a copy "$work/$name"
  outputs+=("$name")
}
plain plain-untagged-601.mp4 ""
# swscale changes the matrix of YUV to YUV badly (greys tinted), so through RGB.
plain plain-tagged-709.mp4 \
  ",scale=flags=$exact,format=gbrp,scale=out_color_matrix=bt709:out_range=tv:flags=$exact" \
  -colorspace bt709 -color_primaries bt709 -color_trc bt709 -color_range tv

# mpv: the first picture at $seek through its normal video output chain, written as a PNG.
show_in_mpv() {  # FILE MEANS_OUT
  local dir="$work/mpv-${1##*/}"
  mpv --no-config --really-quiet --no-audio --start="$seek" --frames=1 --vo=image \
    --vo-image-format=png --vo-image-outdir="$dir" "$1"
  ffmpeg -v error -nostdin -y -i "$dir/00000001.png" -pix_fmt rgb24 -f rawvideo "$dir/shown.rgb"
  means "$dir/shown.rgb" "$width" "$height" "$top" >"$2"
}

# mpv's usual output, OpenGL (here Mesa's software renderer under Xvfb, allowed by --gpu-sw): a
# screenshot of the window, taken once the seek has shown its picture.
cat >"$work/screenshot.lua" <<'EOF'
mp.register_event("playback-restart", function()
  mp.add_timeout(0.5, function()
    mp.commandv("screenshot-to-file", mp.get_opt("shot"), "window")
    mp.command("quit")
  end)
end)
EOF
show_in_mpv_gpu() {  # FILE MEANS_OUT
  local png="$work/mpv-gpu-${1##*/}.png"
  timeout 120 xvfb-run -a -s "-screen 0 ${width}x${height}x24" \
    mpv --no-config --really-quiet --no-audio --vo=gpu --gpu-sw --pause --start="$seek" \
    --geometry="${width}x${height}+0+0" --no-border \
    --script="$work/screenshot.lua" --script-opts="shot=$png" "$1" 2>/dev/null
  [[ -f "$png" ]] || { echo "mpv --vo=gpu showed nothing of ${1##*/}" >&2; exit 2; }
  ffmpeg -v error -nostdin -y -i "$png" -pix_fmt rgb24 -f rawvideo "$png.rgb"
  means "$png.rgb" "$width" "$height" "$top" >"$2"
}

# Chromium: the page seeks the video, draws it into a canvas and prints the patch means, or
# shows the video alone at its own size for a screenshot.
cat >"$work/page.html" <<EOF
<!doctype html>
<html><head><style>body { margin: 0; overflow: hidden; } video { display: block; }</style></head>
<body><video id="video" muted playsinline preload="auto"></video><pre id="result">pending</pre>
<script>
const result = document.getElementById('result');
const video = document.getElementById('video');
const query = new URLSearchParams(location.search);
const count = ${#patches[@]}, patchWidth = $patch_width, stripHeight = $strip_height;
video.addEventListener('error', () => {
  result.textContent = 'ERROR ' + (video.error ? video.error.code + ' ' + video.error.message : '');
});
video.addEventListener('loadedmetadata', () => { video.currentTime = $seek; });
video.addEventListener('seeked', () => {
  if (query.get('mode') === 'screenshot') { result.remove(); return; }
  const canvas = document.createElement('canvas');
  canvas.width = video.videoWidth;
  canvas.height = video.videoHeight;
  const context = canvas.getContext('2d');
  context.drawImage(video, 0, 0);
  const data = context.getImageData(0, 0, canvas.width, canvas.height).data;
  const top = (canvas.height - stripHeight) / 2;
  const marginX = Math.floor(patchWidth / 6), marginY = Math.floor(stripHeight / 8);
  const lines = [];
  for (let i = 0; i < count; ++i) {
    const sums = [0, 0, 0];
    let n = 0;
    for (let y = top + marginY; y < top + stripHeight - marginY; ++y) {
      for (let x = i * patchWidth + marginX; x < (i + 1) * patchWidth - marginX; ++x) {
        const k = (y * canvas.width + x) * 4;
        sums[0] += data[k]; sums[1] += data[k + 1]; sums[2] += data[k + 2]; ++n;
      }
    }
    lines.push(sums.map((s) => (s / n).toFixed(2)).join(' '));
  }
  result.textContent = 'MEANS\n' + lines.join('\n') + '\nEND';
});
video.src = query.get('src');
</script></body></html>
EOF

# Chromium draws video through its GPU path when it has a GPU, here SwiftShader (a GPU in
# software), and through its software path without one.
chromium_run() {  # MODE ARGS...: headless Chromium (MODE gpu or software), a profile of its own
  local mode_flags=(--disable-gpu)
  [[ "$1" == gpu ]] && mode_flags=(--use-angle=swiftshader --enable-unsafe-swiftshader)
  shift
  timeout 120 chromium --headless --no-sandbox "${mode_flags[@]}" \
    --user-data-dir="$work/chromium-profile" \
    --autoplay-policy=no-user-gesture-required --allow-file-access-from-files \
    --virtual-time-budget=10000 "$@" 2>>"$work/chromium.log"
}

show_in_chromium_canvas() {  # MODE FILE MEANS_OUT
  local dom="$work/chromium-$1-${2##*/}.html"
  chromium_run "$1" --dump-dom "file://$work/page.html?src=${2##*/}" >"$dom"
  if ! grep -q '<pre id="result">MEANS' "$dom"; then
    echo "Chromium did not show ${2##*/}: $(grep -o 'ERROR[^<]*' "$dom" || echo 'no result')" >&2
    exit 2
  fi
  awk '/<pre id="result">MEANS/ { inside = 1; next } inside && /END/ { exit } inside' "$dom" >"$3"
}

show_in_chromium_screenshot() {  # MODE FILE MEANS_OUT
  local png="$work/chromium-$1-${2##*/}.png"
  chromium_run "$1" --hide-scrollbars --window-size="$width,$height" --screenshot="$png" \
    "file://$work/page.html?mode=screenshot&src=${2##*/}" >/dev/null
  ffmpeg -v error -nostdin -y -i "$png" -pix_fmt rgb24 -f rawvideo "$png.rgb"
  means "$png.rgb" "$width" "$height" "$top" >"$3"
}

for output in "${outputs[@]}"; do
  show_in_mpv "$work/$output" "$work/$output.mpv"
  show_in_mpv_gpu "$work/$output" "$work/$output.mpv-gpu"
  show_in_chromium_canvas gpu "$work/$output" "$work/$output.chromium-gpu-canvas"
  show_in_chromium_screenshot gpu "$work/$output" "$work/$output.chromium-gpu-screenshot"
  show_in_chromium_canvas software "$work/$output" "$work/$output.chromium-software-canvas"
done

# The table, and the verdict over the converter's outputs in mpv and in Chromium's GPU path.
python3 - "$work" "${names[*]}" "${outputs[@]}" <<'EOF'
import sys
work, names, outputs = sys.argv[1], sys.argv[2].split(), sys.argv[3:]
def read(path):
    return [[float(v) for v in line.split()] for line in open(path) if line.strip()]
def rgb(colour):
    return ",".join(f"{v:.0f}" for v in colour)
reference = read(f"{work}/input.means")
players = [
    ("mpv --vo=image (software)", "mpv", True),
    ("mpv --vo=gpu (OpenGL on Mesa llvmpipe, Xvfb), window screenshot", "mpv-gpu", True),
    ("Chromium GPU path (SwiftShader), <canvas> getImageData", "chromium-gpu-canvas", True),
    ("Chromium GPU path (SwiftShader), page screenshot", "chromium-gpu-screenshot", True),
    ("Chromium software path (--disable-gpu), <canvas> getImageData",
     "chromium-software-canvas", False),
]
failed = False
summary = []
for player, suffix, counted in players:
    print(f"\n{player}{'' if counted else ' (shown, not counted)'}")
    print(f"{'patch':<11} {'input':<12}" + "".join(f" {o:<24}" for o in outputs))
    worst = {o: 0.0 for o in outputs}
    shown = {o: read(f"{work}/{o}.{suffix}") for o in outputs}
    for i, (name, want) in enumerate(zip(names, reference)):
        line = f"{name:<11} {rgb(want):<12}"
        for output in outputs:
            got = shown[output][i]
            diff = max(abs(a - b) for a, b in zip(want, got))
            worst[output] = max(worst[output], diff)
            verdict = "PASS" if diff <= 3 else "FAIL"
            if output.startswith("tarn.") and counted:
                failed |= diff > 3
            line += f" {rgb(got):<12}{diff:5.1f} {verdict:<5}"
        print(line)
    summary.append(f"{player}: largest difference " +
                   ", ".join(f"{o} {worst[o]:.1f}" for o in outputs))
print("\nplain-*: made by plain ffmpeg for comparison, never counted.")
print("\n".join(summary))
print("converted outputs in mpv and in Chromium's GPU path:",
      "FAIL, some patch is more than 3 off" if failed else "PASS, every patch within 3")
sys.exit(1 if failed else 0)
EOF
