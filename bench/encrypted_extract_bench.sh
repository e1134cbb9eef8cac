#!/usr/bin/env bash
# Extracting an AES-256-encrypted archive of about 100 MB (200 files: text,
# CSV and KML that deflate well, and random bytes that do not), made by
# `7z a -tzip -mem=AES256`:
#   parcelon extract --password against 7z x -p, each into a fresh folder.
# In one run, taking turns; the fastest of three runs each counts. Prints
# 7z's time over parcelon's (target >= 1.0: parcelon no slower).
#
# Usage: bench/encrypted_extract_bench.sh [BUILD_DIR] [FOLDER]
#        (defaults: build, $TMPDIR or /tmp)
set -euo pipefail
cd "$(dirname "$0")/.."
parcelon="$PWD/${1:-build}/bin/parcelon"
work="${2:-${TMPDIR:-/tmp}}/parcelon-encrypted-bench"
rm -rf "$work" && mkdir -p "$work"
trap 'rm -rf "$work"' EXIT

python3 - "$work/tree" <<'PY'
import os, random, sys
random.seed(13)
root = sys.argv[1]
words = ["placemark", "coordinates", "folder", "style", "polygon", "north", "river", "42.17"]
def text(size):
    line = lambda: " ".join(random.choice(words) for _ in range(12)) + "\n"
    block = "".join(line() for _ in range(2000))
    return (block * (size // len(block) + 1)).encode()[:size]
def csv(size):
    rows = "".join("%d,%.4f,%.4f,%s\n" % (i, random.random(), random.random(), random.choice(words))
                   for i in range(size // 30 + 1))
    return rows.encode()[:size]
total = 0
for i in range(200):
    os.makedirs(os.path.join(root, "d%d" % (i % 10)), exist_ok=True)
    size = random.randint(200000, 800000)
    data = os.urandom(size) if i % 3 == 0 else random.choice([text, csv])(size)
    with open(os.path.join(root, "d%d" % (i % 10), "f%03d.dat" % i), "wb") as f:
        f.write(data)
    total += size
print("tree: 200 files, %.0f MB" % (total / 1e6))
PY
(cd "$work" && 7z a -tzip -mem=AES256 -ppw a.zip tree >/dev/null)
rm -rf "$work/tree"
echo "archive: $(stat -c %s "$work/a.zip") bytes"
sync

# extract_with NAME COMMAND...: runs the command in $work into a fresh
# folder x (removed after), output discarded; appends its wall time to
# NAME's list.
extract_with() {
  local name=$1
  shift
  rm -rf "$work/x" && mkdir -p "$work/x" && sync
  (cd "$work" && /usr/bin/time -f "%e" -o "$work/time" "$@" >/dev/null)
  cat "$work/time" >>"$work/$name.times"
  rm -rf "$work/x"
}
for round in 1 2 3; do
  extract_with parcelon "$parcelon" extract --quiet --password pw a.zip x
  extract_with 7z 7z x -y -bd -ppw -ox a.zip
done

python3 - "$work" <<'PY'
import sys
work = sys.argv[1]
best = {n: min(float(t) for t in open("%s/%s.times" % (work, n)).read().split())
        for n in ("parcelon", "7z")}
for name, seconds in best.items():
    print("%-9s %6.2f s" % (name, seconds))
print("7z / parcelon (target >= 1.0): %.2f" % (best["7z"] / best["parcelon"]))
PY
