#!/usr/bin/env bash
# Takes the screenshots of the manual and the demo page again: runs the real
# main window on the examples under a virtual X server and keeps the pictures
# docs/ uses. Usage: tools/docs-screenshots.sh [BUILD_DIR]   (default: build)
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${1:-$here/build}"
cmake -S "$here" -B "$build" -G Ninja > /dev/null
cmake --build "$build" --target polykin_screenshots Maldi
shots="$(mktemp -d)"
trap 'rm -rf "$shots"' EXIT
xvfb-run -a -s "-screen 0 1280x900x24" \
  "$build/docs-tools/polykin_screenshots" "$shots" "$build/bin" \
  "$here/examples/living-caprolactone.kpx" "$here/examples/living-caprolactone-lactide.kpx"
for f in first-start living-caprolactone-running living-caprolactone-messages living-caprolactone-dp-av \
         living-caprolactone-dp-dist living-caprolactone-lactide-chains living-caprolactone-lactide-dyads \
         living-caprolactone-lactide-conversion living-caprolactone-centers living-caprolactone-sec-plot \
         living-caprolactone-mass-dist; do
  cp "$shots/$f.png" "$here/docs/images/$f.png"
done
echo "docs/images updated; rebuild the target docs to see them in the documents."
