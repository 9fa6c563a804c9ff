#!/usr/bin/env bash
# Builds the benchmarks, runs the micro-benchmarks and the corpus benchmark
# (the tool against cp -r, on tmpfs and on the disk, one worker and the
# default), and writes bench/RESULTS.md.       usage: bench/run.sh
#   BEFORE=COMMIT  also measures a build of that commit, in the same run
#   BENCH_DISK=DIR the scratch folder on the disk (default build/bench/scratch;
#                  empty: the disk is not measured)
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset bench >/dev/null
cmake --build --preset bench
build/bench/bench/assetdump_micro --benchmark_min_time=0.5 --benchmark_format=json \
    --benchmark_out=build/bench/micro.json --benchmark_out_format=json >/dev/null
before=()
if [ -n "${BEFORE:-}" ]; then
    tree=build/bench/before-src
    rm -rf "$tree"
    git worktree prune
    git worktree add --detach "$tree" "$BEFORE" >/dev/null
    cmake -S "$tree" -B build/bench/before -DCMAKE_BUILD_TYPE=Release -DASSETDUMP_TESTS=OFF >/dev/null
    cmake --build build/bench/before --target assetdump -j 2 >/dev/null
    git worktree remove --force "$tree"
    before=(--before build/bench/before/assetdump)
fi
python3 bench/corpus.py --build build/bench --micro build/bench/micro.json --results bench/RESULTS.md \
    --disk "${BENCH_DISK-$PWD/build/bench/scratch}" "${before[@]}"
