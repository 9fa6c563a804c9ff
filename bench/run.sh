#!/usr/bin/env bash
# Builds the benchmarks, runs the micro-benchmarks and the corpus benchmark,
# and writes bench/RESULTS.md.   usage: bench/run.sh
# BENCH_DIR picks the scratch folder (default: a RAM-backed one, so the
# comparison with cp measures the work of writing files, not the disk).
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset bench >/dev/null
cmake --build --preset bench
build/bench/bench/assetdump_micro --benchmark_min_time=0.5 --benchmark_format=json \
    --benchmark_out=build/bench/micro.json --benchmark_out_format=json >/dev/null
python3 bench/corpus.py --build build/bench --micro build/bench/micro.json --results bench/RESULTS.md
