#!/usr/bin/env bash
# Sets up, builds, and repairs a copy of the bundled old-style sample, then
# shows what changed.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
bash scripts/build.sh build

scratch=$(mktemp -d "${TMPDIR:-/tmp}/kmlcompat-demo-XXXXXX")
cp samples/old_style.kml "$scratch/"
echo
echo "== Repairing a copy in $scratch =="
build/bin/kmlcompat-cli "$scratch/old_style.kml"
echo
echo "== What changed (line ends aside: the output uses CR LF) =="
diff -u --label before --label after --strip-trailing-cr \
  "$scratch/old_style.kml.Backup" "$scratch/old_style.kml" || true
echo
echo "The repaired file and its backup are in $scratch"
