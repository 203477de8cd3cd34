#!/usr/bin/env bash
# Builds an optimised tree and runs every benchmark in bench/ (or the ones named).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
. scripts/packages.sh
varnel_install_packages
cmake -S . -B build/bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DVARNEL_BUILD_TESTS=OFF
cmake --build build/bench -j "$(nproc)"
names=("$@")
if [ ${#names[@]} -eq 0 ]; then
  for exe in build/bench/bin/bench-*; do names+=("$(basename "$exe")"); done
fi
for name in "${names[@]}"; do
  echo "== $name"
  "build/bench/bin/$name"
done
