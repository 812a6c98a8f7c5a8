#!/usr/bin/env bash
# Installs what is missing, builds the release tree and runs the main job.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
cmake --preset release
cmake --build --preset release
# The engine benchmark: the whole stereo kernel in 512-frame cycles at 48 kHz.
./build/release/bench/kernel_bench --benchmark_counters_tabular=true
