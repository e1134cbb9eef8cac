#!/usr/bin/env bash
# Installs the build into a temporary prefix and checks the tree: the
# programs and nothing else in bin/, gzipped man pages, the README and the
# copyright notice, and with the window its desktop entry and icon; the
# installed kmlcompat-cli names the project's version.
#
# Usage: install_test.sh CMAKE BUILD_DIR WITH_GUI(ON|OFF) VERSION
set -euo pipefail
cmake=$1 build=$2 gui=$3 version=$4
root=$(mktemp -d "${TMPDIR:-/tmp}/kmlcompat-install-XXXXXX")
trap 'rm -rf "$root"' EXIT
"$cmake" --install "$build" --prefix "$root/usr" >/dev/null

programs=(kmlcompat-cli parcelon)
expected=(share/doc/kmlcompat/README.md share/doc/kmlcompat/copyright)
if [ "$gui" = ON ]; then
  programs+=(kmlcompat)
  expected+=(share/applications/kmlcompat.desktop
    share/icons/hicolor/scalable/apps/kmlcompat.svg)
fi
status=0
for program in "${programs[@]}"; do
  expected+=("bin/$program")
  gzip -t "$root/usr/share/man/man1/$program.1.gz" || status=1
done
for item in "${expected[@]}"; do
  [ -s "$root/usr/$item" ] || { echo "missing: $item"; status=1; }
done
found=$(ls "$root/usr/bin" | sort | tr '\n' ' ')
wanted=$(printf '%s\n' "${programs[@]}" | sort | tr '\n' ' ')
[ "$found" = "$wanted" ] || { echo "bin/ holds: $found (expected: $wanted)"; status=1; }
installed=$("$root/usr/bin/kmlcompat-cli" --version)
[ "$installed" = "kmlcompat-cli $version" ] || { echo "version: $installed"; status=1; }
exit "$status"
