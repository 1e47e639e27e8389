#!/usr/bin/env bash
# Sets up, builds and runs the whole test suite: a normal build, then the same suite under
# AddressSanitizer and UndefinedBehaviorSanitizer. Any failure or sanitizer report fails it.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh"

echo "== build and test (RelWithDebInfo)"
"$root/scripts/build.sh" build
ctest --test-dir "$root/build" --output-on-failure -j"$(nproc)"

echo "== build and test (AddressSanitizer + UndefinedBehaviorSanitizer)"
"$root/scripts/build.sh" build-asan -DVEXAR_SANITIZE=ON -DVEXAR_BENCH=OFF
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir "$root/build-asan" --output-on-failure -j"$(nproc)"
