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
cd "$(dirname "$0")/.."
parcelon="$PWD/${1:-build}/bin/parcelon"
work="${2:-${TMPDIR:-/tmp}}/parcelon-add-bench"
rm -rf "$work" && mkdir -p "$work"
trap 'rm -rf "$work"' EXIT

python3 - "$work/tree" <<'EOF'
import os, random, sys
random.seed(7)
root = sys.argv[1]
words = ["placemark", "coordinates", "folder", "style", "polygon", "north", "river", "42.17"]
def text(size):
    out = []
    while sum(map(len, out)) < size:
        out.append(" ".join(random.choice(words) for _ in range(12)) + "\n")
    return "".join(out)[:size].encode()
def kml(size):
    body = "".join("<Placemark><coordinates>%.5f,%.5f,0 %.5f,%.5f,0</coordinates></Placemark>\n"
                   % tuple(random.uniform(-90, 90) for _ in range(4)) for _ in range(size // 90 + 1))
    return ('<kml xmlns="http://www.opengis.net/kml/2.2">\n' + body).encode()[:size]
def csv(size):
    rows = "".join("%d,%.4f,%.4f,%s\n" % (i, random.random(), random.random(), random.choice(words))
                   for i in range(size // 30 + 1))
    return rows.encode()[:size]
kinds = [(17000, 1000, 8000, [text, kml, csv]), (2800, 20000, 100000, [text, kml, csv]),
         (150, 100000, 700000, [lambda n: os.urandom(n)]), (50, 200000, 1000000, [lambda n: bytes(n)])]
count = total = 0
for number, low, high, makers in kinds:
    for _ in range(number):
        folder = os.path.join(root, "d%03d" % (count % 200), "s%d" % (count % 3))
        os.makedirs(folder, exist_ok=True)
        size = random.randint(low, high)
        data = random.choice(makers)(size)
        with open(os.path.join(folder, "f%05d.%s" % (count, random.choice(["kml", "csv", "txt"]))), "wb") as f:
            f.write(data)
        count += 1
        total += len(data)
print("tree: %d files, %.0f MB" % (count, total / 1e6))
EOF
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
