#!/usr/bin/env bash
# Installs the Debian packages that building (and, with "test", testing) needs.
# As root it installs what is missing with apt-get; otherwise it names the packages and stops.
set -euo pipefail

build_packages=(cmake g++ make pkg-config qt6-base-dev libpng-dev zlib1g-dev libx11-dev libgtest-dev libbenchmark-dev fonts-dejavu-core)
test_packages=(xvfb xauth xdotool xclip imagemagick x11-utils clang libclang-rt-14-dev opense-basic
  desktop-file-utils appstream groff-base dpkg-dev lintian g++-aarch64-linux-gnu)

wanted=("${build_packages[@]}")
if [ "${1:-}" = "test" ]; then
  wanted+=("${test_packages[@]}")
fi

missing=()
for p in "${wanted[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -ne 0 ]; then
  echo "These packages are missing: ${missing[*]}" >&2
  echo "Install them with: sudo apt-get install ${missing[*]}" >&2
  exit 1
fi
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq "${missing[@]}" >/dev/null
