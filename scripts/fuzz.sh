#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for the given number
# of seconds (default 60) over its seed corpus. Fails on any crash, leak,
# time-out or sanitizer report.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
CC=clang CXX=clang++ bash scripts/build.sh build-fuzz -DKMLCOMPAT_FUZZ=ON \
  -DKMLCOMPAT_WITH_GUI=OFF -DKMLCOMPAT_BUILD_TESTS=OFF
work=$(mktemp -d "${TMPDIR:-/tmp}/kmlcompat-fuzz-XXXXXX")
trap 'rm -rf "$work"' EXIT
cp fuzz/corpus/kml/* "$work/"
echo "== kml_rewrite_fuzzer, ${seconds}s =="
log="$work/fuzz.log"
if ! TMPDIR="$work" build-fuzz/bin/kml_rewrite_fuzzer -max_total_time="$seconds" -max_len=4096 \
  -timeout=10 -rss_limit_mb=2048 -artifact_prefix="$PWD/build-fuzz/" -print_final_stats=1 \
  "$work" >"$log" 2>&1; then
  tail -n 60 "$log"
  echo "fuzzing failed; the input is kept in build-fuzz/"
  exit 1
fi
grep -E '^(Done|stat::number_of_executed_units)' "$log" || true
