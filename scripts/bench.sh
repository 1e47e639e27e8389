#!/usr/bin/env bash
# Sets up, builds (Release, in build-bench/) and runs the benchmarks of every export on a
# zero-cost bus, then prints the per-operation table: bus transactions, bus time at 400 kHz and
# 1 MHz, CPU time, heap allocations, targets. The benchmark's own report goes to stderr, the
# table to stdout. Arguments go to the benchmark, e.g. --benchmark_filter='readFloat'. VEXAR_JOBS sets
# the number of parallel compile jobs (default: the number of processors). "bench.sh python"
# times the Python package's calls next to the client library's instead (python/bench/bench.py);
# "bench.sh dryrun" times a dry run of a profile's write beside the write (bench/DryRun.cpp).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh"
cmake -S "$root" -B "$root/build-bench" -DCMAKE_BUILD_TYPE=Release -DVEXAR_BENCH=ON >/dev/null
if [[ ${1:-} == python ]]; then
  cmake --build "$root/build-bench" -j"${VEXAR_JOBS:-$(nproc)}" \
    --target vexar_python vexar-client-bench vexar_client_loops >&2
  PYTHONPATH=$root/build-bench/python exec /usr/bin/python3 "$root/python/bench/bench.py" \
    "$root/build-bench"
fi
if [[ ${1:-} == dryrun ]]; then
  cmake --build "$root/build-bench" -j"${VEXAR_JOBS:-$(nproc)}" --target vexar-dryrun-bench >&2
  shift
  exec "$root/build-bench/bin/vexar-dryrun-bench" --benchmark_repetitions=10 \
    --benchmark_report_aggregates_only=true "$@"
fi
cmake --build "$root/build-bench" -j"${VEXAR_JOBS:-$(nproc)}" --target vexar-bench >&2
exec "$root/build-bench/bin/vexar-bench" "$@"
