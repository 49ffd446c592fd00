#!/usr/bin/env bash
# Fresh Debian 12 machine: install, build and run every test: the normal build (window tests under
# Xvfb included), then an address+undefined sanitizer build, then the pipeline tests under the
# thread sanitizer. Fails on any failing test or sanitizer report.
set -euo pipefail
cd "$(dirname "$0")/.."
if [ "${TARN_SKIP_INSTALL:-0}" != "1" ]; then bash scripts/install-deps.sh; fi
jobs="$(nproc)"
summary="$(mktemp)"
trap 'rm -f "$summary"' EXIT

# Runs ctest and keeps its closing count for the summary line at the end. A stage whose filter
# selects no test fails instead of passing silently.
run_ctest() {
  local out
  out="$(mktemp)"
  set +e
  ctest --no-tests=error "$@" 2>&1 | tee "$out"
  local status=${PIPESTATUS[0]}
  set -e
  grep -E 'tests passed, [0-9]+ tests failed out of [0-9]+' "$out" >> "$summary" || true
  rm -f "$out"
  return "$status"
}

echo "== format check"
files=$(git ls-files '*.cpp' '*.h' 2>/dev/null || true)
if [ -n "$files" ]; then clang-format --dry-run --Werror $files; fi

echo "== build and test"
bash scripts/build.sh build
run_ctest --test-dir build --output-on-failure -j "$jobs"

echo "== Debian packages, installed and run as an unprivileged user"
bash scripts/package-check.sh build

echo "== address and undefined-behaviour sanitizers"
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:halt_on_error=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
bash scripts/build.sh build-asan -DTARN_BUILD_GUI=OFF -DTARN_SANITIZE=address,undefined \
  -DCMAKE_BUILD_TYPE=Debug
run_ctest --test-dir build-asan --output-on-failure -j "$jobs" -LE nosanitize

echo "== thread sanitizer (pipeline tests)"
export TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 suppressions=$PWD/tests/tsan.supp"
cmake -S . -B build-tsan -G Ninja -DTARN_BUILD_GUI=OFF -DTARN_SANITIZE=thread -DCMAKE_BUILD_TYPE=Debug
cmake --build build-tsan -j "$jobs" --target pipeline_tests ffmpeg_III
run_ctest --test-dir build-tsan --output-on-failure -j "$jobs" -L pipeline

echo "== fuzz targets (libFuzzer, address and undefined sanitizers, ${TARN_FUZZ_SECONDS:-20} s each)"
bash scripts/fuzz.sh "${TARN_FUZZ_SECONDS:-20}"

failed=$(awk '{for(i=1;i<=NF;i++) if($i=="failed") f+=$(i-1)} END{print f+0}' "$summary")
total=$(awk '{t+=$NF} END{print t+0}' "$summary")
echo "total: $((total - failed)) passed, $failed failed"
