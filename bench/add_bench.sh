#!/usr/bin/env bash
# Creating an archive from a mixed tree of about 300 MB in 20,000 files
# (KML, CSV and text files, most of them small, with random and zero-filled
# ones among them) at level 1: `parcelon add --level 1` against
# `zip -1 -r`, in one run, taking turns; the median of three runs each
# counts. parcelon deflates on one thread per core; the same add on one
# thread (--threads 1) is timed beside it, and both archives must hold the
# same bytes. Also reports the peak memory of parcelon.
#
# Usage: bench/add_bench.sh [BUILD_DIR] [FOLDER]   (defaults: build, $TMPDIR or /tmp)
set -euo pipefail
source "$(dirname "$0")/bench_common.sh"
bench_setup add "${1:-}" "${2:-}"

bench_mixed_tree "$work/tree" 7 200 17000 2800 150 50
sync

median() { sort -n | sed -n 2p; }
run_parcelon() {  # $1: the --threads value, $2: the archive's name
  rm -f "$work/$2"
  /usr/bin/time -f "%e %M" -o "$work/p.time" "$parcelon" add --quiet --level 1 --threads "$1" \
    --base-dir "$work" "$work/$2" tree
  cat "$work/p.time"
}
run_zip() {
  rm -f "$work/z.zip"
  (cd "$work" && /usr/bin/time -f "%e %M" -o "$work/z.time" zip -1 -qr z.zip tree)
  cat "$work/z.time"
}
: >"$work/p.all"
: >"$work/p1.all"
: >"$work/z.all"
for round in 1 2 3; do
  run_parcelon 0 p.zip >>"$work/p.all"
  run_zip >>"$work/z.all"
  run_parcelon 1 p1.zip >>"$work/p1.all"
done
p=$(cut -d' ' -f1 "$work/p.all" | median)
p1=$(cut -d' ' -f1 "$work/p1.all" | median)
z=$(cut -d' ' -f1 "$work/z.all" | median)
rss=$(cut -d' ' -f2 "$work/p.all" | sort -n | tail -1)
echo "parcelon add --level 1:             ${p} s (peak RSS ${rss} KiB)"
echo "parcelon add --level 1 --threads 1: ${p1} s"
echo "zip -1 -r:                          ${z} s"
echo "parcelon / zip = $(python3 -c "print('%.2f' % ($p / $z))")"
echo "parcelon --threads 1 / zip = $(python3 -c "print('%.2f' % ($p1 / $z))")"
echo "archives: parcelon $(stat -c %s "$work/p.zip") bytes, zip $(stat -c %s "$work/z.zip") bytes"
# Folder entries carry the time they were stored, so the two archives of
# parcelon are compared by their files: names, offsets, CRC-32s, methods and
# the stored bytes.
python3 - "$work/p.zip" "$work/p1.zip" <<'EOF'
import sys, zipfile
def files(path):
    with open(path, "rb") as raw, zipfile.ZipFile(path) as z:
        data = raw.read()
        return [(i.filename, i.header_offset, i.CRC, i.compress_type,
                 data[i.header_offset:i.header_offset + 30 + len(i.filename) + i.compress_size])
                for i in z.infolist() if not i.is_dir()]
same = files(sys.argv[1]) == files(sys.argv[2])
print("--threads 1 and one per core: " + ("the same bytes" if same else "DIFFERENT archives"))
sys.exit(0 if same else 1)
EOF
unzip -tqq "$work/p.zip" && echo "unzip -t: parcelon's archive is sound"
