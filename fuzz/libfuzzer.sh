#!/usr/bin/env bash
# Builds the fuzz harnesses with clang's libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer, and runs each for a while on a copy of the seed
# corpus. Findings (crash-*, leak-*, timeout-*) land in OUT/<harness>/.
#   fuzz/libfuzzer.sh OUT [SECONDS_PER_HARNESS]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
out="${1:?usage: libfuzzer.sh OUT [SECONDS]}"
seconds="${2:-60}"
mkdir -p "$out"
out="$(cd "$out" && pwd)"

sources=(core/MessageTable.cpp core/Prompts.cpp
         buffer/DataBuffer.cpp buffer/OutputFile.cpp buffer/RecordFile.cpp
         buffer/IntelHexFile.cpp buffer/SRecordFile.cpp buffer/DataFile.cpp)
flags=(-std=c++20 -O1 -g -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined
       -I"$root")

for pair in IntelHex:ihex SRecord:srec DataFile:datafile; do
  harness="${pair%%:*}"; corpus="${pair##*:}"
  name="$(echo "$harness" | tr 'A-Z' 'a-z')"
  mkdir -p "$out/$name/corpus"
  cp -n "$root/fuzz/corpus/$corpus/"* "$out/$name/corpus/" 2>/dev/null || true
  (cd "$root" && clang++ "${flags[@]}" "fuzz/${harness}Fuzz.cpp" "${sources[@]}" -o "$out/$name/fuzz_$name")
  (cd "$out/$name" && ./"fuzz_$name" -max_total_time="$seconds" -max_len=4096 \
      -print_final_stats=1 corpus 2>&1 | tail -n 20) | tee "$out/$name/summary.txt"
done
