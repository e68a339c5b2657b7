#!/usr/bin/env bash
# Runs every fuzz target of a build for a fixed number of seconds, starting
# from the seed corpus that the tests wrote into <build>/fuzz-seeds/<target>.
# Any crash, leak or sanitizer report fails the run.
set -euo pipefail
build=$1
seconds=$2
status=0
passed=0
failed=0
for fuzzer in "$build"/fuzz/*_fuzzer; do
  [ -x "$fuzzer" ] || continue
  name=$(basename "$fuzzer")
  seeds="$build/fuzz-seeds/$name"
  corpus="$build/fuzz-corpus/$name"
  mkdir -p "$corpus" "$seeds"
  echo "== fuzz $name for ${seconds}s ($(ls "$seeds" | wc -l) seeds)"
  if ! "$fuzzer" -max_total_time="$seconds" -rss_limit_mb=4096 -timeout=10 \
       -print_final_stats=0 -artifact_prefix="$build/fuzz-artifacts-$name-" \
       "$corpus" "$seeds" >"$build/fuzz-$name.log" 2>&1; then
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
