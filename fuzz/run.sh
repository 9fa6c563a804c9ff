#!/usr/bin/env bash
# Runs every fuzz target for a bounded time with the project's limits.
#   fuzz/run.sh SECONDS_PER_TARGET [TARGET ...]
# Needs the fuzz preset built (cmake --preset fuzz && cmake --build --preset fuzz).
# Fails on any crash, sanitizer report, leak, input over 5 s, or memory over
# 64 MiB. Output files are capped at 16 MiB (writes past it fail, as on a
# full disk), so a small input describing a huge picture stays quick.
set -uo pipefail
cd "$(dirname "$0")/.."
build=build/fuzz
seconds=${1:-30}
shift || true
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
    for exe in "$build"/fuzz/fuzz_*; do targets+=("${exe##*/fuzz_}"); done
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$build/assetdump_fixtures" "$work/seeds"
# Their outputs seed the readers of edited files, pictures in both formats.
(cd "$work/seeds" && "$OLDPWD/$build/assetdump" ./*.* >/dev/null 2>&1 </dev/null) || true
(cd "$work/seeds" && "$OLDPWD/$build/assetdump" --format png -o png ./*.* >/dev/null 2>&1 </dev/null) || true

# Freed memory parked by AddressSanitizer would count against the 64 MiB.
export ASAN_OPTIONS=${ASAN_OPTIONS:-quarantine_size_mb=1:thread_local_quarantine_size_kb=64}
failed=0
for t in "${targets[@]}"; do
    ext=${t^^}
    corpus="$work/corpus-$t"
    mkdir -p "$corpus" "$build/fuzz-artifacts"
    pattern="*.$ext"
    seeds="$work/seeds"
    case $t in  # the parsers of edited texts read what the converters wrote
        info_*) pattern="INFO.TXT" ;;
        pal) seeds="$work/seeds/*.FILES" ;;
        png) seeds="$work/seeds/png/*.FILES" ;;
        record) pattern=".assetdump.json" ; seeds="$work/seeds/*.FILES" ;;
        text_*) pattern="*.${ext#TEXT_}" ; seeds="$work/seeds/*.FILES" ;;
    esac
    n=0
    while IFS= read -r -d '' seed; do cp "$seed" "$corpus/seed-$((n++)).${pattern##*.}"; done \
        < <(find $seeds -maxdepth 2 -name "$pattern" -print0)
    cp samples/*."$ext" "$corpus/" 2>/dev/null || true
    log="$build/fuzz-$t.log"
    (ulimit -f $((16 * 1024)) && exec "$build/fuzz/fuzz_$t" "$corpus" -max_total_time="$seconds" -timeout=5 \
        -rss_limit_mb=64 -malloc_limit_mb=64 -close_fd_mask=3 -print_final_stats=1 \
        -artifact_prefix="$build/fuzz-artifacts/$t-") >"$log" 2>&1
    rc=$?
    runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$')
    cov=$(grep -E '^#[0-9]+' "$log" | tail -1 | grep -o 'cov: [0-9]*' | grep -o '[0-9]*')
    if [ $rc -ne 0 ]; then
        echo "fuzz_$t: FAILED (exit $rc), see $log"
        grep -E 'ERROR|SUMMARY|fuzz check' "$log" | head -5
        failed=1
    else
        echo "fuzz_$t: ok, ${runs:-?} executions, coverage ${cov:-?} edges"
    fi
done
exit $failed
