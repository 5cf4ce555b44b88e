#!/usr/bin/env bash
# Builds the Debian package glimmer_VERSION_amd64.deb from a Release build in
# build-package/ and puts it into OUTPUT-DIR (default: the repository root).
# Usage: scripts/package.sh [OUTPUT-DIR]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
output_dir="$(realpath "${1:-$root}")"
build="$root/build-package"
cd "$root"
scripts/install-deps.sh

# Debian's hardening flags (fortify, stack protector, relro, bind now); CMake
# reads no CPPFLAGS, so they join the compiler flags.
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
cxx_flags="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)"
linker_flags="$(dpkg-buildflags --get LDFLAGS)"
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DGLIMMER_BUILD_TESTS=OFF -DGLIMMER_BUILD_BENCHMARKS=OFF -DGLIMMER_BUILD_DESKTOP=ON \
  -DCMAKE_CXX_FLAGS="$cxx_flags" -DCMAKE_EXE_LINKER_FLAGS="$linker_flags" "${launcher[@]}"
cmake --build "$build" -j"$(nproc)"
rm -f "$build"/cpack/glimmer_*.deb
(cd "$build" && cpack -G DEB -B "$build/cpack")
package="$(ls "$build"/cpack/glimmer_*.deb)"
mkdir -p "$output_dir"
cp "$package" "$output_dir/"
echo "$output_dir/$(basename "$package")"
