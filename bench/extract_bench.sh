#!/usr/bin/env bash
# Testing and extracting an archive of a mixed tree of about 160 MB in
# 10,000 files (KML, CSV and text files, most of them small, with random and
# zero-filled ones among them), deflated by `zip -1`:
#   parcelon test    against unzip -t, 7z t and bsdtar -xOf to /dev/null;
#   parcelon extract against unzip -o, 7z x and bsdtar -xf, each into a
#                    fresh folder.
# In one run, taking turns; the fastest of three runs each counts. Prints
# parcelon's time over the fastest peer's for both.
#
# Usage: bench/extract_bench.sh [BUILD_DIR] [FOLDER]   (defaults: build, $TMPDIR or /tmp)
set -euo pipefail
cd "$(dirname "$0")/.."
parcelon="$PWD/${1:-build}/bin/parcelon"
work="${2:-${TMPDIR:-/tmp}}/parcelon-extract-bench"
rm -rf "$work" && mkdir -p "$work"
trap 'rm -rf "$work"' EXIT

python3 - "$work/tree" <<'PY'
import os, random, sys
random.seed(11)
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
kinds = [(8500, 1000, 8000, [text, kml, csv]), (1400, 20000, 100000, [text, kml, csv]),
         (75, 100000, 700000, [lambda n: os.urandom(n)]), (25, 200000, 1000000, [lambda n: bytes(n)])]
count = total = 0
for number, low, high, makers in kinds:
    for _ in range(number):
        folder = os.path.join(root, "d%03d" % (count % 100), "s%d" % (count % 3))
        os.makedirs(folder, exist_ok=True)
        size = random.randint(low, high)
        data = random.choice(makers)(size)
        with open(os.path.join(folder, "f%05d.%s" % (count, random.choice(["kml", "csv", "txt"]))), "wb") as f:
            f.write(data)
        count += 1
        total += len(data)
print("tree: %d files, %.0f MB" % (count, total / 1e6))
PY
(cd "$work" && zip -1 -qr a.zip tree)
rm -rf "$work/tree"
echo "archive: $(stat -c %s "$work/a.zip") bytes"
sync

# time_of NAME COMMAND...: runs the command in $work with its output
# discarded, appends its wall time to NAME's list.
time_of() {
  local name=$1
  shift
  (cd "$work" && /usr/bin/time -f "%e" -o "$work/time" "$@" >/dev/null)
  cat "$work/time" >>"$work/$name.times"
}
# Extracts through `tool` into a fresh folder, removed after the run.
extract_with() {
  local name=$1
  shift
  rm -rf "$work/x" && mkdir -p "$work/x" && sync
  time_of "$name" "$@"
  rm -rf "$work/x"
}
tests=(parcelon_test unzip_test 7z_test bsdtar_test)
extracts=(parcelon_extract unzip_extract 7z_extract bsdtar_extract)
for round in 1 2 3; do
  time_of parcelon_test "$parcelon" test --quiet a.zip
  time_of unzip_test unzip -tqq a.zip
  time_of 7z_test 7z t -bd a.zip
  time_of bsdtar_test sh -c 'bsdtar -xOf a.zip >/dev/null'
  extract_with parcelon_extract "$parcelon" extract --quiet a.zip x
  extract_with unzip_extract unzip -q -o a.zip -d x
  extract_with 7z_extract 7z x -y -bd -ox a.zip
  extract_with bsdtar_extract bsdtar -xf a.zip -C x
done

python3 - "$work" "${tests[@]}" -- "${extracts[@]}" <<'PY'
import sys
work, names = sys.argv[1], sys.argv[2:]
split = names.index("--")
def best(name):
    return min(float(t) for t in open("%s/%s.times" % (work, name)).read().split())
for group, target in ((names[:split], "fastest peer / parcelon (target >= 1.5)"),
                      (names[split + 1:], "fastest peer / parcelon (target >= 1.0)")):
    times = {n: best(n) for n in group}
    for n in group:
        print("%-18s %6.2f s" % (n, times[n]))
    peer = min(t for n, t in times.items() if not n.startswith("parcelon"))
    print("%s: %.2f" % (target, peer / times[group[0]]))
PY
