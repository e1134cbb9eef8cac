#!/usr/bin/env bash
# The KMZ repair of kmlcompat-cli at scale, against reading the same archive
# with Info-ZIP (`unzip -tq` plus `unzip -qo -d` into a fresh folder):
#   wide:  2,000 old-style KML entries (2.1 namespace, blanks inside the
#          tuples, about 3 KiB each) and 60 MB of images of random bytes;
#   many:  10,000 old-style KML entries and nothing else.
# Each archive is made by `zip`; every repair works on a fresh copy, made
# before the clock starts (the copy is not part of the repair). Prints
# the median of three runs of each side and their ratio.
#
# Usage: bench/kmz_repair_bench.sh [BUILD_DIR] [FOLDER]   (defaults: build, $TMPDIR or /tmp)
set -euo pipefail
source "$(dirname "$0")/bench_common.sh"
bench_setup kmz-repair "${1:-}" "${2:-}"
cli="$(dirname "$parcelon")/kmlcompat-cli"

# make_tree FOLDER KML_COUNT IMAGE_COUNT: layers/*.kml and images/*.jpg.
make_tree() {
  python3 - "$@" <<'PY'
import os, random, sys
root, kmls, images = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
random.seed(7)
os.makedirs(root + "/layers"); os.makedirs(root + "/images")
for i in range(kmls):
    rows = []
    for p in range(6):
        tuples = "  ".join("-%d.%06d, %d.%06d, %d" % (100 + random.randrange(80), random.randrange(10**6),
                           30 + random.randrange(20), random.randrange(10**6), random.randrange(3000))
                           for _ in range(8))
        rows.append("\t<Placemark><name>Area %d.%d</name><LineString>\n\t\t<coordinates>\n\t\t\t%s\n"
                    "\t\t</coordinates>\n\t</LineString></Placemark>\n" % (i, p, tuples))
    with open("%s/layers/layer%05d.kml" % (root, i), "w") as out:
        out.write('<?xml version="1.0" encoding="UTF-8"?>\n'
                  '<kml xmlns="http://earth.google.com/kml/2.1">\n<Document>\n'
                  + "".join(rows) + "</Document>\n</kml>\n")
for i in range(images):
    with open("%s/images/photo%03d.jpg" % (root, i), "wb") as out:
        out.write(os.urandom(1 << 20))
PY
  (cd "$1" && zip -qr ../"$(basename "$1")".kmz layers images)
}

seconds() { local start=$(date +%s.%N); "$@" > /dev/null 2>&1 || { echo "failed: $*" >&2; exit 1; }
            echo "$(date +%s.%N) - $start" | bc; }
median() { printf '%s\n' "$@" | sort -g | sed -n 2p; }

peer() { rm -rf "$work/out"; unzip -tq "$1" && unzip -qo "$1" -d "$work/out"; }
repair() { "$cli" --no-backup "$work/copy.kmz"; }

# bench NAME KML_COUNT IMAGE_COUNT
bench() {
  make_tree "$work/$1" "$2" "$3"
  local kmz="$work/$1.kmz" peers=() repairs=()
  for round in 1 2 3; do
    peers+=("$(seconds peer "$kmz")")
    cp "$kmz" "$work/copy.kmz"
    repairs+=("$(seconds repair)")
  done
  unzip -tq "$work/copy.kmz" > /dev/null
  local p=$(median "${peers[@]}") r=$(median "${repairs[@]}")
  printf '%-5s %5d KML, %2d MB images: unzip -t + unzip %6.2f s, kmlcompat-cli %6.2f s, ratio %.2f\n' \
    "$1" "$2" "$3" "$p" "$r" "$(echo "$r / $p" | bc -l)"
}

bench wide 2000 60
bench many 10000 0
