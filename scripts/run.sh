#!/usr/bin/env bash
# Sets up, builds and starts the k3gap window (under a virtual display when there is no screen).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j"$(nproc)" --target k3gap k3gap-cli
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  exec xvfb-run -a -s "-screen 0 1280x860x24" build/bin/k3gap
fi
exec build/bin/k3gap
