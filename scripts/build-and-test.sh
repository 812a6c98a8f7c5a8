#!/usr/bin/env bash
# Installs what is missing, then builds and runs every test suite: the release tree
# (benchmarks compile there too), the address and undefined-behaviour sanitizer tree, and
# the threading tests under the thread sanitizer.
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
