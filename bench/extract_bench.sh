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
source "$(dirname "$0")/bench_common.sh"
bench_setup extract "${1:-}" "${2:-}"

bench_mixed_tree "$work/tree" 11 100 8500 1400 75 25
(cd "$work" && zip -1 -qr a.zip tree)
rm -rf "$work/tree"
echo "archive: $(stat -c %s "$work/a.zip") bytes"
sync

tests=(parcelon_test unzip_test 7z_test bsdtar_test)
extracts=(parcelon_extract unzip_extract 7z_extract bsdtar_extract)
for round in 1 2 3; do
  bench_time parcelon_test "%e" "$parcelon" test --quiet a.zip
  bench_time unzip_test "%e" unzip -tqq a.zip
  bench_time 7z_test "%e" 7z t -bd a.zip
  bench_time bsdtar_test "%e" sh -c 'bsdtar -xOf a.zip >/dev/null'
  bench_fresh parcelon_extract "%e" "$parcelon" extract --quiet a.zip x
  bench_fresh unzip_extract "%e" unzip -q -o a.zip -d x
  bench_fresh 7z_extract "%e" 7z x -y -bd -ox a.zip
  bench_fresh bsdtar_extract "%e" bsdtar -xf a.zip -C x
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
