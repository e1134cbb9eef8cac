#!/usr/bin/env bash
# Makes the Debian package from a built Release folder and checks it: lintian
# finds no error, the desktop entry is valid, every man page renders without
# a warning, the package holds no test, benchmark or fuzzer, and the
# kmlcompat-cli unpacked from it repairs copies of both bundled samples.
# The package is left in BUILD_DIR/package/.
#
# Usage: package_check.sh [BUILD_DIR]   (default: build)
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(realpath "${1:-build}")
work=$(mktemp -d "${TMPDIR:-/tmp}/kmlcompat-package-XXXXXX")
trap 'rm -rf "$work"' EXIT

fail() {
  echo "package check: $*" >&2
  exit 1
}

echo "-- cpack"
rm -rf "$build/package"
(cd "$build" && cpack -G DEB -B "$work/cpack") >"$work/cpack.log" 2>&1 ||
  { cat "$work/cpack.log"; fail "cpack failed"; }
mkdir -p "$build/package"
mv "$work"/cpack/*.deb "$build/package/"
deb=$(echo "$build"/package/*.deb)
dpkg-deb --field "$deb" Package Version Depends

echo "-- lintian"
lintian_status=0
lintian --fail-on error --tag-display-limit 0 "$deb" >"$work/lintian.log" 2>&1 || lintian_status=$?
grep -v '^running with root privileges' "$work/lintian.log" || true
[ "$lintian_status" -eq 0 ] || fail "lintian reports errors"

echo "-- desktop-file-validate"
desktop-file-validate packaging/kmlcompat.desktop || fail "the desktop entry is not valid"

echo "-- contents"
dpkg-deb -x "$deb" "$work/root"
if dpkg-deb -c "$deb" | grep -Ei 'test|bench|fuzz'; then
  fail "the package holds tests, benchmarks or fuzzers"
fi
for page in "$work"/root/usr/share/man/man1/*.1.gz; do
  warnings=$(MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null)
  [ -z "$warnings" ] || fail "$(basename "$page"): $warnings"
done

echo "-- repairing copies of the samples with the unpacked kmlcompat-cli"
bin="$work/root/usr/bin"
cp samples/old_style.kml samples/old_style.kmz "$work/"
"$bin/kmlcompat-cli" --no-backup "$work/old_style.kml" "$work/old_style.kmz" >/dev/null ||
  fail "kmlcompat-cli failed on the samples"
"$bin/parcelon" test --quiet "$work/old_style.kmz" || fail "the repaired KMZ file fails its test"
"$bin/parcelon" extract --quiet "$work/old_style.kmz" "$work/kmz" >/dev/null
for kml in "$work/old_style.kml" "$work"/kmz/*.kml; do
  grep -q 'xmlns="http://www.opengis.net/kml/2.2"' "$kml" || fail "$kml was not repaired"
done
for program in kmlcompat kmlcompat-cli parcelon; do
  "$bin/$program" --version | grep -qx "$program [0-9.]*" || fail "$program --version"
done
echo "package check passed: $(basename "$deb")"
