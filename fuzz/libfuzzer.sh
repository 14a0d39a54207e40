#!/usr/bin/env bash
# Builds the fuzz harnesses with clang's libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer (the project's CMake with VANTOR_LIBFUZZER, so
# from the program's own libraries) and runs each for a while on a copy of its
# seed corpus, fuzz/corpus/<harness>. New inputs and findings (crash-*,
# leak-*, timeout-*) stay in OUT/<harness>/; the exit status is 1 if any
# harness found something.
#   fuzz/libfuzzer.sh OUT [SECONDS_PER_HARNESS]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
out="${1:?usage: libfuzzer.sh OUT [SECONDS]}"
seconds="${2:-60}"
mkdir -p "$out"
out="$(cd "$out" && pwd)"

# -O1 and the asserts kept: faster than -O0, and every assert is a check.
CC=clang CXX=clang++ cmake -S "$root" -B "$out/build" -G Ninja -DVANTOR_LIBFUZZER=ON \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g" >/dev/null
cmake --build "$out/build" --target vantor_fuzz

found=()
for seeds in "$root"/fuzz/corpus/*/; do
  name="$(basename "$seeds")"
  mkdir -p "$out/$name/corpus"
  cp -n "$seeds"* "$out/$name/corpus/"
  echo "== fuzz_$name, $seconds s"
  if ! (cd "$out/$name" && "$out/build/bin/fuzz_$name" -max_total_time="$seconds" \
          -max_len=4096 -print_final_stats=1 corpus >log.txt 2>&1); then
    found+=("$name")
  fi
  tail -n 20 "$out/$name/log.txt" | tee "$out/$name/summary.txt"
done
if [ ${#found[@]} -gt 0 ]; then
  echo "libfuzzer: findings in ${found[*]} (see $out/<harness>/)" >&2
  exit 1
fi
