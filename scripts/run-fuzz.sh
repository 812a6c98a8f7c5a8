#!/usr/bin/env bash
# Builds the preset document fuzz target with clang (libFuzzer + AddressSanitizer) in build/fuzz
# and runs it for a bounded time, seeded with the factory presets.
#   scripts/run-fuzz.sh [seconds]     (default 60)
set -euo pipefail

seconds="${1:-60}"
root="$(cd "$(dirname "$0")/.." && pwd)"
build="$root/build/fuzz"

CC=clang CXX=clang++ cmake -S "$root" -B "$build" -G Ninja \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DSORVANE_FUZZ=ON -DSORVANE_SANITIZE=address -DSORVANE_BUILD_BENCH=OFF \
  -DCMAKE_C_FLAGS=-fsanitize=fuzzer-no-link -DCMAKE_CXX_FLAGS=-fsanitize=fuzzer-no-link
cmake --build "$build" --target preset_document_fuzz -j "${SORVANE_JOBS:-4}"

corpus="$build/preset-corpus"
mkdir -p "$corpus"
cp "$root/resources/presets/YUX Sorvane Folder/Library/Factory Presets/"*.plist "$corpus/"

# A finding leaves a crash-* file in the build folder and fails the run.
cd "$build"
./tests/unit/fuzz/preset_document_fuzz "$corpus" \
  -max_total_time="$seconds" -max_len=65536 -rss_limit_mb=2048 -print_final_stats=1
