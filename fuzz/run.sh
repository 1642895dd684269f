#!/usr/bin/env bash
# Builds the fuzzers into build/fuzz (clang, libFuzzer, ASan, UBSan) and runs each target.
#   fuzz/run.sh [SECONDS] [TARGET...]     SECONDS per target (default $FUZZ_SECONDS or 20)
#   FUZZ_RUNS=N fuzz/run.sh 0 [TARGET...]  N executions per target; FUZZ_SANITIZERS=undefined
# New inputs go to build/fuzz/corpus/<target>; failing ones to build/fuzz/artifacts/.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-${FUZZ_SECONDS:-20}}
shift || true
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(fuzz_edit fuzz_ratio fuzz_vector fuzz_masks fuzz_lanes)
sanitizers=${FUZZ_SANITIZERS:-address,undefined}
build="$root/build/fuzz"
[ "$sanitizers" = "address,undefined" ] || build="$root/build/fuzz-${sanitizers//,/-}"

if [ ! -f "$build/build.ninja" ]; then
  cmake -S "$root/fuzz" -B "$build" -G Ninja -DCMAKE_CXX_COMPILER="${CXX_FUZZ:-clang++}" \
    -DFUZZ_SANITIZERS="$sanitizers" >/dev/null
fi
ninja -C "$build" "${targets[@]}" >"$build/last.log" || { cat "$build/last.log"; exit 1; }

mkdir -p "$build/artifacts"
# A small quarantine and short allocation stacks keep the sanitized runs modest and fast.
export ASAN_OPTIONS=${ASAN_OPTIONS:-quarantine_size_mb=64:malloc_context_size=4:detect_leaks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-halt_on_error=1:print_stacktrace=1}
limit=(-max_total_time="$seconds")
[ -z "${FUZZ_RUNS:-}" ] || limit=(-runs="$FUZZ_RUNS")
failed=()
for target in "${targets[@]}"; do
  mkdir -p "$build/corpus/$target"
  echo "== $target: ${seconds}s"
  if "$build/$target" "$build/corpus/$target" "$root/fuzz/corpus/$target" \
      "${limit[@]}" -timeout=60 -rss_limit_mb=2048 -max_len=2048 -len_control=0 \
      -print_final_stats=1 -artifact_prefix="$build/artifacts/$target-" \
      >"$build/$target.log" 2>&1; then
    grep -E '^stat::(number_of_executed_units|average_exec_per_sec)|DONE' "$build/$target.log" | tail -3
  else
    failed+=("$target")
    grep -E -A12 'MISMATCH|ERROR|runtime error|Test unit written' "$build/$target.log" | head -60
  fi
done
if [ ${#failed[@]} -gt 0 ]; then
  echo "fuzz: FAILED: ${failed[*]} (logs in $build/<target>.log)"
  exit 1
fi
echo "fuzz: all targets passed"
