#!/usr/bin/env bash
# Sets up, then builds and runs the tests twice: in a release build, as
# packagers build it, whose Debian package is then made and checked, and with
# AddressSanitizer and UndefinedBehaviorSanitizer; then fuzzes. Every build
# treats warnings as errors. Fails on the first failure.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh

echo "== Format check =="
git ls-files '*.cpp' '*.h' | xargs clang-format --dry-run -Werror

echo "== Include direction check =="
python3 scripts/check_includes.py

echo "== Release build =="
bash scripts/build.sh build -DCMAKE_BUILD_TYPE=Release -DKMLCOMPAT_WERROR=ON
(cd build && ctest --output-on-failure -j"$(nproc)")

echo "== Debian package of the release build =="
bash scripts/package_check.sh build

echo "== AddressSanitizer + UndefinedBehaviorSanitizer build, inflating through zlib =="
bash scripts/build.sh build-asan -DKMLCOMPAT_SANITIZE=ON -DKMLCOMPAT_WERROR=ON \
  -DKMLCOMPAT_WITH_ISAL=OFF
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$PWD/tests/lsan.supp}
(cd build-asan && ctest --output-on-failure -j"$(nproc)")

echo "== Fuzzing =="
bash scripts/fuzz.sh 30 45 45 30 20
