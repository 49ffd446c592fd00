#!/usr/bin/env bash
# The Debian packages of a build: validates the desktop file and the AppStream metadata, builds
# the packages with CPack, checks their Depends, unpacks them into a scratch root and runs the
# programs from there as an unprivileged user: tarn-convert on a real movie (the output checked
# with ffprobe -count_frames), and the window program opened on a movie under Xvfb.
#   scripts/package-check.sh [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build}"
app_id=com.kestrova.TarnConverter
fail() { echo "FAIL: $*" >&2; exit 1; }

desktop-file-validate "packaging/$app_id.desktop"
appstreamcli validate --no-net "$build/packaging/"*.metainfo.xml

rm -rf "$build/packages"
(cd "$build" && cpack -G DEB >/dev/null)
console_deb="$(ls "$build"/packages/tarn-convert_*.deb)"
window_deb="$(ls "$build"/packages/tarn-converter_*.deb)"
version="$(dpkg-deb -f "$console_deb" Version)"
[ "$(dpkg-deb -f "$window_deb" Version)" = "$version" ] || fail "package versions differ"
console_depends="$(dpkg-deb -f "$console_deb" Depends)"
window_depends="$(dpkg-deb -f "$window_deb" Depends)"
echo "tarn-convert $version Depends: $console_depends"
echo "tarn-converter $version Depends: $window_depends"
[[ ", $console_depends," == *", ffmpeg,"* ]] || fail "tarn-convert does not depend on ffmpeg"
[[ "$console_depends" == *libavformat* ]] || fail "tarn-convert lacks its FFmpeg libraries"
[[ "$window_depends" == *"tarn-convert (= $version)"* ]] || fail "tarn-converter lacks tarn-convert"
[[ "$window_depends" == *libwxgtk3.2-1* ]] || fail "tarn-converter lacks wxWidgets"
# Every dependency can be met from the archive.
apt-get install --simulate "$PWD/$console_deb" "$PWD/$window_deb" >/dev/null

work="$(mktemp -d)"
pid=""
trap 'rm -rf "$work"' EXIT
chmod 755 "$work"
root="$work/root"
dpkg -x "$console_deb" "$root"
dpkg -x "$window_deb" "$root"
home="$work/home"
data="$work/data"
mkdir -p "$home" "$data"
ffmpeg -hide_banner -loglevel error -nostdin -y -f lavfi -i testsrc2=size=480x120:rate=25 \
  -f lavfi -i sine=frequency=330:sample_rate=48000 -t 3 -c:v libx264 -pix_fmt yuv420p \
  -c:a aac -shortest "$data/pano.mp4"
as_user=()
if [ "$(id -u)" = 0 ]; then
  chown -R nobody "$home" "$data"
  as_user=(setpriv --reuid=nobody --regid=nogroup --clear-groups)
else
  chmod -R a-w "$root/usr/lib/tarn-converter"
fi
run() { (cd "$data" && env -i PATH=/usr/bin:/bin HOME="$home" "${as_user[@]}" "$@"); }

[ "$(run "$root/usr/bin/tarn-convert" --version)" = "tarn-convert $version" ] || fail "--version"
run "$root/usr/bin/tarn-convert" "$data/pano.mp4" "$data/pano_Unwrapped.webm"
probe="$(ffprobe -v error -count_frames -show_entries stream=codec_type,width,height,nb_read_frames \
  -of default=noprint_wrappers=1 "$data/pano_Unwrapped.webm")"
grep -qx 'width=480' <<<"$probe" && grep -qx 'height=240' <<<"$probe" || fail "size: $probe"
# WEBM is written at 30 frames per second: 3 s of the 25 fps movie are 90 frames.
grep -qx 'nb_read_frames=90' <<<"$probe" || fail "frames: $probe"
grep -qx 'codec_type=audio' <<<"$probe" || fail "no sound: $probe"
echo "packaged tarn-convert as $(run id -un): 90 frames 480x240 with sound"

# The window program as "Open With" starts it: through the splash to the movie, its log and
# temporary folder in the user's folders.
cat >"$work/window.sh" <<'INNER'
set -u
"$1/usr/bin/tarn-converter" "$2" 2>/dev/null &
pid=$!
log="$HOME/.local/state/tarn-converter/TarnConverter.log"
for _ in $(seq 150); do
  splash="$(xdotool search --name '^Kestrova Tarn Video Converter$' 2>/dev/null | head -1)"
  [ -n "$splash" ] && break
  sleep 0.2
done
sleep 0.5
[ -n "$splash" ] && xdotool windowfocus --sync "$splash" key Return
status=1
for _ in $(seq 150); do
  if grep -q "^Render file: $2" "$log" 2>/dev/null && grep -q '^numframes = ' "$log"; then
    status=0
    break
  fi
  sleep 0.2
done
kill "$pid" 2>/dev/null
wait "$pid" 2>/dev/null
exit $status
INNER
run env NO_AT_BRIDGE=1 GSETTINGS_BACKEND=memory xvfb-run -a -s "-screen 0 1280x1024x24 -nolisten tcp" \
  bash "$work/window.sh" "$root" "$data/pano.mp4" || fail "the window program did not open the movie"
[ -d "$home/.cache/tarn-converter/TEMP" ] || fail "no temporary folder in the user's cache"
[ -z "$(find "$root/usr/lib/tarn-converter" -newer "$console_deb" -not -type d)" ] ||
  fail "files were written into the program folder"
echo "packaged tarn-converter opened the movie given to it; files in the user's folders"
