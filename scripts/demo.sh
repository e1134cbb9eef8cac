#!/usr/bin/env bash
# Sets up, builds, and repairs copies of the bundled old-style samples (a KML
# file and a KMZ file holding it with an image), then shows what changed.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
bash scripts/build.sh build

scratch=$(mktemp -d "${TMPDIR:-/tmp}/kmlcompat-demo-XXXXXX")
cp samples/old_style.kml samples/old_style.kmz "$scratch/"
echo
echo "== Repairing a copy in $scratch =="
build/bin/kmlcompat-cli "$scratch/old_style.kml"
echo
echo "== What changed (line ends aside: the output uses CR LF) =="
diff -u --label before --label after --strip-trailing-cr \
  "$scratch/old_style.kml.Backup" "$scratch/old_style.kml" || true
echo
echo "== Repairing a copy of the KMZ file: its KML entry is repaired, the image kept =="
build/bin/kmlcompat-cli "$scratch/old_style.kmz"
build/bin/parcelon test "$scratch/old_style.kmz"
build/bin/parcelon list "$scratch/old_style.kmz"
echo
echo "The repaired files and their backups are in $scratch"
