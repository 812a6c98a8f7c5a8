#!/usr/bin/env bash
# Installs what is missing, then builds and runs every test suite: the release tree
# (benchmarks compile there too), the address and undefined-behaviour sanitizer tree, the
# threading tests under the thread sanitizer, and bounded fuzzing runs of the preset reader and
# the clip decoder.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
jobs=$(nproc)

for preset in release asan tsan; do
  echo "== ${preset}"
  cmake --preset "${preset}"
  cmake --build --preset "${preset}"
  ctest --preset "${preset}" -j "${jobs}"
done

echo "== fuzz"
bash scripts/run-fuzz.sh "${SORVANE_FUZZ_SECONDS:-45}"
