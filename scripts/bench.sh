#!/usr/bin/env bash
# Builds the benchmarks in Release (build-bench), runs every bench_* program
# (or only those named: scripts/bench.sh file_list export) and prints one row
# per benchmark that reports a `limit` counter: name, label, measured,
# baseline, ratio, limit and whether the target is met. A relative target
# (one with a `ratio` counter) is met when ratio <= limit, an absolute one
# when measured <= limit. Exits 1 when a target is not met, a benchmark
# fails or a program ends in error.
set -euo pipefail
cd "$(dirname "$0")/.."

for tool in cmake jq md5sum; do
  if ! command -v "$tool" >/dev/null; then
    echo "bench: $tool is missing (scripts/ensure-deps.sh installs it)" >&2
    exit 2
  fi
done

build=build-bench
# A new build folder gets clang and ccache (when installed); an existing one
# keeps its compiler.
configure=(-G Ninja -DCMAKE_BUILD_TYPE=Release -DKS_TESTS=OFF -DKS_BENCH=ON)
if [ ! -f "$build/CMakeCache.txt" ]; then
  configure+=(-DCMAKE_CXX_COMPILER=clang++)
  if command -v ccache >/dev/null; then
    configure+=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
  fi
fi
cmake -S . -B "$build" "${configure[@]}" >/dev/null

# The programs: as named, or every ks_add_bench of bench/CMakeLists.txt.
if [ $# -gt 0 ]; then
  names=("$@")
else
  mapfile -t names < <(sed -n 's/^ks_add_bench(\([A-Za-z0-9_]*\).*/\1/p' bench/CMakeLists.txt)
fi
targets=("${names[@]/#/bench_}")
cmake --build "$build" -j2 --target "${targets[@]}" >&2

out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
failed=0
for target in "${targets[@]}"; do
  echo "running $target" >&2
  if ! QT_QPA_PLATFORM=offscreen "$build/bench/$target" --benchmark_format=json \
      >"$out/$target.json" 2>"$out/$target.err"; then
    echo "bench: $target ended in error:" >&2
    tail -n 20 "$out/$target.err" >&2
    failed=1
  fi
done

# One row per benchmark with a limit; with repetitions, the median's row.
# Benchmarks that failed (error_occurred) get a row whatever they report.
rows=$(jq -r -s '
  [.[] | .benchmarks // [] | .[]]
  | group_by(.run_name)[]
  | (if any(.[]; .run_type == "aggregate")
     then map(select(.aggregate_name == "median")) else . end)[]
  | select(.limit != null or .error_occurred == true)
  | (if .error_occurred == true then "NOT met (error: \(.error_message))"
     elif .ratio != null then (if .ratio <= .limit then "met" else "NOT met" end)
     else (if .measured <= .limit then "met" else "NOT met" end) end) as $verdict
  | def num: if . == null then "-" else (. * 1000 | round / 1000 | tostring) end;
    [.run_name, (.label // "-"), (.measured | num), (.baseline | num), (.ratio | num),
     (.limit | num), $verdict]
  | @tsv' "$out"/*.json)

{
  printf 'benchmark\tlabel\tmeasured\tbaseline\tratio\tlimit\tresult\n'
  if [ -n "$rows" ]; then printf '%s\n' "$rows"; fi
} | column -t -s $'\t'

if [ -z "$rows" ]; then
  echo "bench: no benchmark reported a limit" >&2
  failed=1
fi
if grep -q 'NOT met' <<<"$rows"; then
  failed=1
fi
exit "$failed"
