#!/usr/bin/env bash
# Sets up, builds and runs the whole test suite: the layout and layer checks; a normal build;
# the Debian packages as scripts/package.sh makes them, with warnings as errors, checked and
# run unpacked (tests/package/debian-package.sh); valgrind memcheck of the host tool's demo;
# the suite under AddressSanitizer and UndefinedBehaviorSanitizer; the instance isolation test
# under ThreadSanitizer; and every fuzz target for a short while over its seed corpus. Any
# failure or sanitizer report fails it.
# VEXAR_FUZZ_SECONDS sets the time per fuzz target (default 10); VEXAR_JOBS the number of
# parallel jobs (default: the number of processors).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
jobs=${VEXAR_JOBS:-$(nproc)}

# Each stage's wall time, for docs/testing.md's table and for whoever wonders where it goes.
stages=()
stage() {
  if [[ -n ${stage_name:-} ]]; then
    stages+=("$(printf '%5d s  %s' $((SECONDS - stage_start)) "$stage_name")")
  fi
  stage_name=$1
  stage_start=$SECONDS
  [[ -z $1 ]] || echo "== $1"
}

stage "setup (what the build and the tests need)"
"$root/scripts/setup.sh"

stage "layout (.clang-format)"
"$root/scripts/format.sh" --check

stage "layers (includes stay inside linked targets)"
"$root/scripts/check-layers.sh"

stage "build and test (RelWithDebInfo)"
"$root/scripts/build.sh" build
ctest --test-dir "$root/build" --output-on-failure -j"$jobs"

stage "Debian packages (scripts/package.sh, warnings as errors), checked and run unpacked"
"$root/scripts/package.sh" --werror
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$root/build-package/CMakeCache.txt")
"$root/tests/package/debian-package.sh" "$root/out" "$version"

stage "valgrind memcheck: vexar-ctl demo"
if ! valgrind --quiet --error-exitcode=99 --leak-check=full --show-leak-kinds=all \
    --errors-for-leak-kinds=all --suppressions="$root/scripts/valgrind.supp" \
    "$root/build/bin/vexar-ctl" demo >"$scratch/demo.out" 2>"$scratch/demo.err"; then
  cat "$scratch/demo.err"
  echo "valgrind memcheck failed on vexar-ctl demo"
  exit 1
fi
echo "no errors, no leaks ($(wc -l <"$scratch/demo.out") lines of demo output)"

stage "build and test (AddressSanitizer + UndefinedBehaviorSanitizer)"
"$root/scripts/build.sh" build-asan -DVEXAR_SANITIZE=ON -DVEXAR_BENCH=OFF
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir "$root/build-asan" --output-on-failure -j"$jobs"

stage "instance isolation (ThreadSanitizer)"
cmake -S "$root" -B "$root/build-tsan" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVEXAR_TSAN=ON \
  -DVEXAR_BENCH=OFF >/dev/null
cmake --build "$root/build-tsan" -j"$jobs" --target test_golden
TSAN_OPTIONS=halt_on_error=1 "$root/build-tsan/bin/test_golden" \
  --gtest_filter='InstanceIsolation.*' --gtest_brief=1

fuzz_seconds=${VEXAR_FUZZ_SECONDS:-10}
stage "fuzz targets (libFuzzer + ASan + UBSan), ${fuzz_seconds} s each"
cmake -S "$root" -B "$root/build-fuzz" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DVEXAR_FUZZ=ON -DVEXAR_SANITIZE=ON \
  -DBUILD_TESTING=OFF -DVEXAR_BENCH=OFF >/dev/null
cmake --build "$root/build-fuzz" -j"$jobs" --target fuzzers
for corpus in "$root"/fuzz/corpus/*/; do
  target=$(basename "$corpus")
  # New inputs go to a scratch directory; the checked-in seeds are only read.
  mkdir -p "$scratch/$target"
  if ! "$root/build-fuzz/bin/fuzz_$target" -max_total_time="$fuzz_seconds" -timeout=10 \
      -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$root/build-fuzz/crash-$target-" \
      "$scratch/$target" "$corpus" >"$scratch/$target.log" 2>&1; then
    tail -n 60 "$scratch/$target.log"
    echo "fuzz_$target failed; its input is saved as build-fuzz/crash-$target-*"
    exit 1
  fi
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$scratch/$target.log")
  echo "fuzz_$target: $runs executions, no findings"
done
stage ""
echo "== wall time per stage"
printf '%s\n' "${stages[@]}"
echo "$(printf '%5d' "$SECONDS") s  in all"
