#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for SECONDS (default
# 60), one after the other. Prints per target the executions, the coverage
# reached (libFuzzer's cov and ft) and whether it found anything; exits
# non-zero when a target found something or could not run. Inputs found go to
# build/fuzz/findings/<target>/, the growing corpora to build/fuzz/work/.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
seconds=${1:-60}
. scripts/packages.sh
varnel_install_packages build fuzz

if ! command -v clang++-14 >/dev/null || ! command -v clang-14 >/dev/null; then
  echo "fuzz.sh: clang-14 is not installed; the fuzz targets cannot be built" >&2
  exit 1
fi

build=build/fuzz
cmake -S fuzz -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER=clang-14 -DCMAKE_CXX_COMPILER=clang++-14 >/dev/null
cmake --build "$build" -j "${VARNEL_JOBS:-2}"

targets=$(sed -n '/set(VARNEL_FUZZ_TARGETS/,/)/p' fuzz/FuzzSources.cmake | tr -d '()' | sed 's/set//;s/VARNEL_FUZZ_TARGETS//')
failed=0
results=()
for target in $targets; do
  work="$top/$build/work/$target"
  findings="$top/$build/findings/$target"
  mkdir -p "$work/corpus" "$findings"
  rm -f "$findings"/*
  output="$work/run.log"
  status=0
  # Run in the work directory: the code under test writes its log there.
  (cd "$work" && ASAN_OPTIONS=detect_leaks=1:abort_on_error=0 UBSAN_OPTIONS=print_stacktrace=1 \
    "$top/$build/bin/fuzz_$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
    -print_final_stats=1 -artifact_prefix="$findings/" corpus "$top/fuzz/corpus/$target") \
    >"$output" 2>&1 || status=$?
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$output" | tail -1)
  line=$(grep -E '^#[0-9]+.*cov: ' "$output" | tail -1 || true)
  cov=$(sed -n 's/.* cov: \([0-9]*\).*/\1/p' <<<"$line")
  ft=$(sed -n 's/.* ft: \([0-9]*\).*/\1/p' <<<"$line")
  found=$(find "$findings" -type f | wc -l)
  verdict="nothing found"
  if [ "$status" -ne 0 ] || [ "$found" -gt 0 ]; then
    verdict="FOUND $found input(s), exit $status: see $output"
    failed=1
  fi
  results+=("$(printf '%-16s execs %10s  cov %6s  ft %6s  %s' "$target" "${execs:-?}" "${cov:-?}" "${ft:-?}" "$verdict")")
  echo "${results[-1]}"
done

echo
echo "Fuzzing, $seconds s per target:"
printf '%s\n' "${results[@]}"
exit $failed
