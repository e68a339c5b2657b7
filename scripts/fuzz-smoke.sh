#!/usr/bin/env bash
# Runs every fuzz target of a build for a fixed number of seconds, starting
# from the kept corpus in fuzz/corpus/<target> and the seed corpus that the
# tests wrote into <build>/fuzz-seeds/<target>. libFuzzer writes new inputs
# only into its first corpus folder, which lies in the build, so the kept
# corpus in the source tree is only read.
# Any crash, leak or sanitizer report fails the run.
set -euo pipefail
build=$1
seconds=$2
kept_root=$(cd "$(dirname "$0")/../fuzz/corpus" && pwd)
status=0
passed=0
failed=0
for fuzzer in "$build"/fuzz/*_fuzzer; do
  [ -x "$fuzzer" ] || continue
  name=$(basename "$fuzzer")
  seeds="$build/fuzz-seeds/$name"
  corpus="$build/fuzz-corpus/$name"
  kept="$kept_root/$name"
  mkdir -p "$corpus" "$seeds"
  dirs=("$corpus" "$seeds")
  kept_count=0
  if [ -d "$kept" ]; then
    dirs+=("$kept")
    kept_count=$(ls "$kept" | wc -l)
  fi
  echo "== fuzz $name for ${seconds}s ($(ls "$seeds" | wc -l) seeds, $kept_count kept)"
  if ! "$fuzzer" -max_total_time="$seconds" -rss_limit_mb=4096 -timeout=10 \
       -print_final_stats=0 -artifact_prefix="$build/fuzz-artifacts-$name-" \
       "${dirs[@]}" >"$build/fuzz-$name.log" 2>&1; then
    echo "fuzz target $name failed:"
    tail -n 60 "$build/fuzz-$name.log"
    status=1
    failed=$((failed + 1))
  else
    passed=$((passed + 1))
    grep -E '^Done [0-9]+ runs' "$build/fuzz-$name.log" || tail -n 2 "$build/fuzz-$name.log"
  fi
done
echo "fuzz: $passed passed, $failed failed"
exit $status
