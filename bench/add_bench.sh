#!/usr/bin/env bash
# Creating an archive from a mixed tree of about 300 MB in 20,000 files
# (KML, CSV and text files, most of them small, with random and zero-filled
# ones among them) at level 1: `parcelon add --level 1` against
# `zip -1 -r`, in one run, taking turns; the fastest of three runs each
# counts. Also reports the peak memory of parcelon.
#
# Usage: bench/add_bench.sh [BUILD_DIR] [FOLDER]   (defaults: build, $TMPDIR or /tmp)
set -euo pipefail
source "$(dirname "$0")/bench_common.sh"
bench_setup add "${1:-}" "${2:-}"

bench_mixed_tree "$work/tree" 7 200 17000 2800 150 50
sync

for round in 1 2 3; do
  rm -f "$work/p.zip"
  bench_time parcelon "%e %M" "$parcelon" add --quiet --level 1 --base-dir "$work" "$work/p.zip" tree
  rm -f "$work/z.zip"
  bench_time zip "%e %M" zip -1 -qr z.zip tree
done
p=$(bench_best parcelon)
z=$(bench_best zip)
rss=$(cut -d' ' -f2 "$work/parcelon.times" | sort -n | tail -1)
echo "parcelon add --level 1: ${p} s (peak RSS ${rss} KiB)"
echo "zip -1 -r:              ${z} s"
echo "parcelon / zip = $(bench_ratio "$p" "$z")"
echo "archives: parcelon $(stat -c %s "$work/p.zip") bytes, zip $(stat -c %s "$work/z.zip") bytes"
unzip -tqq "$work/p.zip" && echo "unzip -t: parcelon's archive is sound"
