#!/usr/bin/env bash
# Builds the fuzz targets with clang (libFuzzer + AddressSanitizer) in build/fuzz and runs each for
# a bounded time: the preset document reader seeded with the factory presets, the clip decoder
# with the small clips in tests/unit/fuzz/clips (one of them a picture that asks for 2 GB if it is
# ever decoded). Each run may take 512 MB at most, so an input that expands beyond what its reader
# allows fails the run.
#   scripts/run-fuzz.sh [seconds]     (each; default 45)
set -euo pipefail

seconds="${1:-45}"
root="$(cd "$(dirname "$0")/.." && pwd)"
build="$root/build/fuzz"

CC=clang CXX=clang++ cmake -S "$root" -B "$build" -G Ninja \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DSORVANE_FUZZ=ON -DSORVANE_SANITIZE=address -DSORVANE_BUILD_BENCH=OFF \
  -DCMAKE_C_FLAGS=-fsanitize=fuzzer-no-link -DCMAKE_CXX_FLAGS=-fsanitize=fuzzer-no-link
cmake --build "$build" --target preset_document_fuzz clip_decoding_fuzz -j "${SORVANE_JOBS:-4}"

mkdir -p "$build/preset-corpus" "$build/clip-corpus"
cp "$root/resources/presets/YUX Sorvane Folder/Library/Factory Presets/"*.plist "$build/preset-corpus/"
cp "$root/tests/unit/fuzz/clips/"* "$build/clip-corpus/"

# A finding leaves a crash-*, oom-* or timeout-* file in the build folder and fails the run,
# after the other target has had its turn. AddressSanitizer keeps freed blocks in a quarantine
# (256 MB by default); a smaller one leaves the limit to what the readers themselves hold.
export ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}quarantine_size_mb=64"
cd "$build"
status=0
for target in preset_document clip_decoding; do
  echo "== fuzz ${target}"
  "./tests/unit/fuzz/${target}_fuzz" "$build/${target%%_*}-corpus" \
    -max_total_time="$seconds" -max_len=65536 -rss_limit_mb=512 -print_final_stats=1 || status=1
done
exit "$status"
