#!/usr/bin/env bash
# The main job: builds Varnel and runs the wizard against simulated units.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
. scripts/packages.sh
varnel_install_packages

cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build/release -j "$(nproc)"
echo "Varnel's core is built. The wizard and the simulated units arrive in a later release."
