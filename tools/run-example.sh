#!/usr/bin/env bash
# The main job: install what is missing, build, and run Propagon on an example.
# With a display the desktop program opens the example; without one the
# headless runner simulates it and writes its results next to the build.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$here"

bash tools/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release -DPROPAGON_TESTS=OFF
cmake --build build

example="${1:-examples/living-caprolactone.kpx}"
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] && [ -x build/bin/polykin ]; then
  exec build/bin/polykin "$example"
fi
echo "No display: running the example headless."
exec build/bin/polykin-cli run "$example" --out build/example-results
