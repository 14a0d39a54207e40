#!/usr/bin/env bash
# Builds Vantor+ and starts it from the demo folder, where it drives the
# programmer emulator instead of real hardware.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup-deps.sh
cmake -S . -B build -G Ninja >/dev/null
cmake --build build
exec build/demo/vantor "$@"
