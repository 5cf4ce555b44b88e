#!/usr/bin/env bash
# Installs what building, testing and running Glimmer needs on Debian 12.
set -euo pipefail
packages=(
  g++ cmake ninja-build clang-format
  libgtest-dev libgmock-dev libbenchmark-dev
  qt6-base-dev
  libjpeg-turbo-progs xdg-utils
  libleptonica-dev libpoppler-cpp-dev zlib1g-dev
  xvfb xauth xdotool
  parallel
  clang libclang-rt-14-dev
  dpkg-dev lintian desktop-file-utils man-db bash-completion
)
missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing+=("$package")
done
if ((${#missing[@]})); then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  $sudo apt-get update
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends "${missing[@]}"
fi
