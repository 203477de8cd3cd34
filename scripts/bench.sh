#!/usr/bin/env bash
# Builds an optimised tree and runs every benchmark in bench/ (or the ones named).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
. scripts/packages.sh
varnel_install_packages build tests
cmake -S . -B build/bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DVARNEL_BUILD_TESTS=OFF
names=("$@")
if [ ${#names[@]} -eq 0 ]; then
  cmake --build build/bench -j "$(nproc)"
  for exe in build/bench/bin/bench-*; do names+=("$(basename "$exe")"); done
else
  # Only what the named benchmarks need.
  cmake --build build/bench -j "$(nproc)" --target "${names[@]}"
fi
for name in "${names[@]}"; do
  echo "== $name"
  "build/bench/bin/$name"
done
