#!/usr/bin/env bash
# Builds Vantor+ and runs every test headless.
#   scripts/test.sh            normal build in build/
#   scripts/test.sh --asan     AddressSanitizer + UBSan build in build-asan/
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup-deps.sh

dir=build; extra=()
if [ "${1:-}" = "--asan" ]; then
  dir=build-asan; extra=(-DVANTOR_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug)
fi
cmake -S . -B "$dir" -G Ninja "${extra[@]}" >/dev/null
cmake --build "$dir"
export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS=detect_leaks=0:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
ctest --test-dir "$dir" --output-on-failure -j2 --timeout 300
