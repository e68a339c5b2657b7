#!/usr/bin/env bash
# Installs what is missing, builds with AddressSanitizer and
# UndefinedBehaviorSanitizer into build-test/, runs every test through CTest,
# then runs each fuzz target for a short while from its kept corpus in
# fuzz/corpus/ and the seeds the tests wrote.
set -euo pipefail
cd "$(dirname "$0")"
scripts/ensure-deps.sh

export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1"
export LSAN_OPTIONS="suppressions=$PWD/scripts/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"

cmake -S . -B build-test -G Ninja -DCMAKE_BUILD_TYPE=Debug \
  -DCMAKE_CXX_COMPILER=clang++ -DKS_SANITIZE=ON -DKS_FUZZ=ON >/dev/null
cmake --build build-test --parallel

rm -rf build-test/fuzz-seeds
ctest --test-dir build-test --output-on-failure --parallel 2

scripts/fuzz-smoke.sh build-test "${FUZZ_SECONDS:-45}"
