#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each over its seed corpus:
# the KML rewriter fuzzer for KML_SECONDS (default 60), the archive-opening
# fuzzer for ARCHIVE_SECONDS (default 60), then the fuzzer that tests every
# entry (inflating it) for TEST_SECONDS (default 60), then the fuzzer that
# decrypts entry data for CRYPTO_SECONDS (default 60), then the fuzzer that
# recovers a valid archive from arbitrary rollback journal bytes for
# JOURNAL_SECONDS (default 20). Fails on any crash, leak, time-out or
# sanitizer report.
#
# Usage: fuzz.sh [KML_SECONDS] [ARCHIVE_SECONDS] [TEST_SECONDS] [CRYPTO_SECONDS]
#                [JOURNAL_SECONDS]
set -euo pipefail
cd "$(dirname "$0")/.."
kml_seconds=${1:-60}
archive_seconds=${2:-60}
test_seconds=${3:-60}
crypto_seconds=${4:-60}
journal_seconds=${5:-20}
CC=clang CXX=clang++ bash scripts/build.sh build-fuzz -DKMLCOMPAT_FUZZ=ON \
  -DKMLCOMPAT_WITH_GUI=OFF -DKMLCOMPAT_BUILD_TESTS=OFF -DKMLCOMPAT_WERROR=ON
work=$(mktemp -d "${TMPDIR:-/tmp}/kmlcompat-fuzz-XXXXXX")
trap 'rm -rf "$work"' EXIT

# run_fuzzer NAME CORPUS SECONDS MAX_LEN
run_fuzzer() {
  local name=$1 corpus=$2 seconds=$3 max_len=$4
  local dir="$work/$name" log="$work/$name.log"
  mkdir -p "$dir"
  cp "$corpus"/* "$dir/"
  echo "== $name, ${seconds}s =="
  if ! TMPDIR="$work" "build-fuzz/bin/$name" -max_total_time="$seconds" -max_len="$max_len" \
    -timeout=10 -rss_limit_mb=2048 -artifact_prefix="$PWD/build-fuzz/" -print_final_stats=1 \
    "$dir" >"$log" 2>&1; then
    tail -n 60 "$log"
    echo "fuzzing failed; the input is kept in build-fuzz/"
    exit 1
  fi
  grep -E '^(Done|stat::number_of_executed_units)' "$log" || true
}

run_fuzzer kml_rewrite_fuzzer fuzz/corpus/kml "$kml_seconds" 4096
run_fuzzer archive_open_fuzzer fuzz/corpus/archive "$archive_seconds" 65536
run_fuzzer archive_test_fuzzer fuzz/corpus/archive "$test_seconds" 65536
run_fuzzer entry_decrypt_fuzzer fuzz/corpus/crypto "$crypto_seconds" 65536
run_fuzzer journal_recovery_fuzzer fuzz/corpus/journal "$journal_seconds" 4096
