#!/usr/bin/env bash
# The in-memory directory at scale: archives of 100,000 and 1,000,000
# small stored entries (made by Python's zipfile, names like
# "files/d012/img_0001234.png", and a doc.kml first so that the larger one
# is a KMZ):
#   parcelon list         against unzip -l of the 100,000-entry archive;
#   parcelon list --tsv   against unzip -l of the 1,000,000-entry archive;
#   kmlcompat-cli --check of the 1,000,000-entry KMZ;
#   kmlcompat-cli of a copy of it whose doc.kml has the old namespace, so
#   that the repair rewrites the whole archive after its first entry.
# Each command runs three times, taking turns; the median wall time counts
# (and the median user time, steadier on a busy machine), with the largest
# peak resident set (/usr/bin/time). Prints the ratio of times and the bytes
# per entry above the peak of `parcelon list` of an archive with one entry
# (the process's baseline).
#
# Usage: bench/directory_bench.sh [BUILD_DIR] [FOLDER]   (defaults: build, $TMPDIR or /tmp)
set -euo pipefail
cd "$(dirname "$0")/.."
bin="$PWD/${1:-build}/bin"
work="${2:-${TMPDIR:-/tmp}}/parcelon-directory-bench"
rm -rf "$work" && mkdir -p "$work"
trap 'rm -rf "$work"' EXIT

python3 - "$work" <<'PY'
import sys, zipfile
work = sys.argv[1]
def doc(namespace):
    return (b'<?xml version="1.0" encoding="UTF-8"?>\n<kml xmlns="' + namespace + b'">'
            b'<Document><name>many</name></Document></kml>\n')
new, old = doc(b"http://www.opengis.net/kml/2.2"), doc(b"http://earth.google.com/kml/2.1")
for count, name, first in [(1, "one.zip", new), (100000, "e100k.zip", new),
                           (1000000, "e1m.kmz", new), (1000000, "old1m.kmz", old)]:
    with zipfile.ZipFile(work + "/" + name, "w", zipfile.ZIP_STORED) as z:
        z.writestr("doc.kml", first)
        for i in range(count - 1):
            z.writestr("files/d%03d/img_%07d.png" % (i % 1000, i), b"x")
PY
sync

# run NAME COMMAND...: one timed run, output discarded; appends
# "wall-seconds user-seconds kilobytes" to $work/NAME.
run() {
  local name="$1"
  shift
  /usr/bin/time -f "%e %U %M" -o "$work/time.out" "$@" >/dev/null 2>&1 || true
  tail -1 "$work/time.out" >>"$work/$name"
}
median() { cut -d' ' -f"${2:-1}" "$work/$1" | sort -n | sed -n 2p; }
peak() { cut -d' ' -f3 "$work/$1" | sort -n | tail -1; }

for _ in 1 2 3; do
  run base "$bin/parcelon" list "$work/one.zip"
  run list100k "$bin/parcelon" list "$work/e100k.zip"
  run unzip100k unzip -l "$work/e100k.zip"
  run tsv1m "$bin/parcelon" list --tsv "$work/e1m.kmz"
  run unzip1m unzip -l "$work/e1m.kmz"
  run check1m "$bin/kmlcompat-cli" --check "$work/e1m.kmz"
  cp "$work/old1m.kmz" "$work/repair.kmz"
  run repair1m "$bin/kmlcompat-cli" --no-backup "$work/repair.kmz"
done

base=$(peak base)
report() {  # NAME PEER ENTRIES
  local t u p kb
  t=$(median "$1")
  u=$(median "$1" 2)
  kb=$(peak "$1")
  printf '%-9s %6.2f s (user %5.2f) %8d kB peak %6.1f bytes/entry' "$1" "$t" "$u" "$kb" \
    "$(echo "($kb - $base) * 1024 / $3" | bc -l)"
  if [ -n "$2" ]; then
    p=$(median "$2")
    printf '   %s %6.2f s (user %5.2f), ratio %.2f' "$2" "$p" "$(median "$2" 2)" \
      "$(echo "$t / $p" | bc -l)"
  fi
  echo
}
echo "baseline peak: $base kB"
report list100k unzip100k 100000
report tsv1m unzip1m 1000000
report check1m "" 1000000
report repair1m "" 1000000
