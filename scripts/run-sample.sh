#!/usr/bin/env bash
# Builds everything and runs glimmer-cli on the bundled sample page; the result
# lands in out/ (sample-page.bmp, plus skeleton.bmp, scores.txt and logger.txt).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh
mkdir -p out
cd out
../build/app/cli/glimmer-cli --yes --rows --chars --output-dir . ../samples/sample-page.pnm
echo "Wrote out/sample-page.bmp"
