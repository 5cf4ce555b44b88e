#!/usr/bin/env bash
# Configures and builds Glimmer in build/ (Release with debug info, desktop included).
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@"
cmake --build build -j"$(nproc)"
