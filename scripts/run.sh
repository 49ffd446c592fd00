#!/usr/bin/env bash
# Fresh Debian 12 machine: install, build and start the converter.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
bash scripts/build.sh build
exec build/bin/tarn-converter
