#!/usr/bin/env bash
# Installs every Debian 12 package the converter needs to build, run and test.
set -euo pipefail
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update
$SUDO apt-get install -y --no-install-recommends \
  build-essential cmake ninja-build pkg-config git \
  libwxgtk3.2-dev libgtk-3-dev libsdl2-dev libcli11-dev nlohmann-json3-dev \
  libavformat-dev libavcodec-dev libswscale-dev libavutil-dev libswresample-dev ffmpeg \
  libyuv-dev \
  googletest libgtest-dev libgmock-dev \
  xvfb xauth xdotool imagemagick clang-format \
  desktop-file-utils appstream help2man file openbox wmctrl clang libclang-rt-dev
