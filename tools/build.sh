#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Configures and builds into the given folder (default build/); extra arguments go to CMake.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dir=${1:-build}
shift || true
cmake -S "$root" -B "$root/$dir" -G Ninja -DCMAKE_BUILD_TYPE=${VK_BUILD_TYPE:-RelWithDebInfo} "$@" >/dev/null
cmake --build "$root/$dir" -j "$(nproc)"
