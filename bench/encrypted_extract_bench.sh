#!/usr/bin/env bash
# Extracting an AES-256-encrypted archive of about 100 MB (200 files: text,
# CSV and KML that deflate well, and random bytes that do not), made by
# `7z a -tzip -mem=AES256`:
#   parcelon extract --password against 7z x -p, each into a fresh folder.
# In one run, taking turns; the fastest of three runs each counts, for the
# wall time and for the processor time (user + system, steadier on a busy
# machine). Prints 7z's times over parcelon's (target >= 1.0: parcelon no
# slower). With BEFORE set to another parcelon binary (an earlier build),
# that one takes its turns too, so that before and after meet in one run.
#
# Usage: [BEFORE=OTHER_PARCELON] bench/encrypted_extract_bench.sh [BUILD_DIR] [FOLDER]
#        (defaults: build, $TMPDIR or /tmp)
set -euo pipefail
source "$(dirname "$0")/bench_common.sh"
bench_setup encrypted "${1:-}" "${2:-}"

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

for round in 1 2 3; do
  bench_fresh parcelon "%e %U %S" "$parcelon" extract --quiet --password pw a.zip x
  if [[ -n "${BEFORE:-}" ]]; then
    bench_fresh before "%e %U %S" "$BEFORE" extract --quiet --password pw a.zip x
  fi
  bench_fresh 7z "%e %U %S" 7z x -y -bd -ppw -ox a.zip
done

python3 - "$work" <<'PY'
import os, sys
work = sys.argv[1]
names = [n for n in ("before", "parcelon", "7z") if os.path.exists("%s/%s.times" % (work, n))]
best = {}
for name in names:
    runs = [line.split() for line in open("%s/%s.times" % (work, name))]
    best[name] = (min(float(r[0]) for r in runs), min(float(r[1]) + float(r[2]) for r in runs))
for name in names:
    print("%-9s %6.2f s wall %6.2f s cpu" % (name, best[name][0], best[name][1]))
for name in names[:-1]:
    print("7z / %s (target >= 1.0): wall %.2f cpu %.2f"
          % (name, best["7z"][0] / best[name][0], best["7z"][1] / best[name][1]))
PY
