#!/usr/bin/env bash
# Installs what the project needs from Debian's packages (run as root, or with
# sudo available). Does nothing when everything is already there.
set -euo pipefail

packages=(
  cmake g++ make pkg-config
  qt6-base-dev libgl-dev
  zlib1g-dev libssl-dev libisal-dev
  googletest libgtest-dev
  libxml2-utils
  xvfb xauth fonts-liberation fonts-dejavu-core
  clang-format clang libclang-rt-14-dev
  p7zip-full libarchive-tools python3 zip unzip
  dpkg-dev file lintian desktop-file-utils man-db
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo_cmd=()
[ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -qq
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
