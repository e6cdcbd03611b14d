#!/usr/bin/env bash
# Builds everything with warnings as errors and runs every test suite.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$here"

bash tools/install-deps.sh
cmake -S . -B build-tests -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPROPAGON_WERROR=ON -DPROPAGON_TESTS=ON
cmake --build build-tests
# GUI tests draw offscreen; a hung thread fails its test instead of CI.
export QT_QPA_PLATFORM=offscreen
ctest --test-dir build-tests --output-on-failure --timeout 300 -j2

# In CI (CI=true) the core suites run once more under AddressSanitizer and
# UndefinedBehaviorSanitizer (cmake -DPROPAGON_SANITIZE=address, without the
# GUI: about 50 compile steps, and under two minutes of tests). Allocation
# failures are part of what they test, so malloc returns null instead of
# aborting.
if [ "${CI:-}" = "true" ] || [ "${PROPAGON_ASAN_CORE:-}" = "1" ]; then
  cmake -S . -B build-asan-core -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPROPAGON_WERROR=ON \
    -DPROPAGON_SANITIZE=address -DPROPAGON_GUI=OFF -DPROPAGON_TESTS=ON
  cmake --build build-asan-core --target params_tests engine_tests maldi_tests cli_tests plotcalc_tests \
    maldiview_tests
  export ASAN_OPTIONS="allocator_may_return_null=1:detect_leaks=1"
  export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
  for suite in params_tests engine_tests maldi_tests cli_tests plotcalc_tests maldiview_tests; do
    echo "== $suite (ASan+UBSan)"
    build-asan-core/bin/"$suite" --gtest_brief=1
  done
fi
