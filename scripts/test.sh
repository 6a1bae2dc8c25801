#!/usr/bin/env bash
# Sets up, builds and runs every test of k3gap.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/check-format.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j"$(nproc)"
cd build && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j2 --timeout 300
