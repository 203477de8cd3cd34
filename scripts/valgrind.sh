#!/usr/bin/env bash
# Runs the end-to-end tests and the device tests under valgrind's memcheck,
# using the release build (RelWithDebInfo: optimised, with line numbers).
# Any memory error or leak fails the run. The port libraries are loaded into
# the test process, so they are checked too; upssim runs as a child and is not.
#
#   scripts/valgrind.sh [BUILD_DIR]      (default build/release, built first)
#
# No suppressions are needed: the glibc, libstdc++ and libxml2 allocations
# that stay until exit are "still reachable", which is not counted as an error.
# The end-to-end tests mostly wait on the simulator, so they run in two shards
# side by side.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$top/build/release}
cd "$top"
if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
fi
cmake --build "$build" -j "$(nproc)" --target test_e2e test_device

logs=$(mktemp -d)
trap 'rm -rf "$logs"' EXIT
memcheck=(valgrind --tool=memcheck --error-exitcode=99 --leak-check=full
  --errors-for-leak-kinds=definite,indirect --show-leak-kinds=definite,indirect
  --track-origins=yes --num-callers=30 -q)

start=$(date +%s)
pids=()
shards=2
for ((i = 0; i < shards; i++)); do
  GTEST_TOTAL_SHARDS=$shards GTEST_SHARD_INDEX=$i \
    "${memcheck[@]}" --log-file="$logs/e2e-$i.valgrind" "$build/bin/test_e2e" >"$logs/e2e-$i.out" 2>&1 &
  pids+=($!)
done
"${memcheck[@]}" --log-file="$logs/device.valgrind" "$build/scripted-units/test_device" >"$logs/device.out" 2>&1 &
pids+=($!)

failed=0
for pid in "${pids[@]}"; do
  wait "$pid" || failed=1
done
for report in "$logs"/*.valgrind; do
  # Warnings about ioctls valgrind does not know (TIOCEXCL on the serial lines) are not errors.
  if grep -v -e 'unhandled ioctl' -e 'spurious value errors' -e 'README_MISSING_SYSCALL' "$report" | grep -q .; then
    echo "== $(basename "$report")"
    cat "$report"
    failed=1
  fi
done
if [ "$failed" -ne 0 ]; then
  for out in "$logs"/*.out; do
    grep -q '\[  FAILED  \]' "$out" && { echo "== $(basename "$out")"; cat "$out"; }
  done
  echo "valgrind: errors found (or a test failed)" >&2
  exit 1
fi
echo "valgrind: no errors in the end-to-end and device tests ($(($(date +%s) - start)) s)"
