#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Installs what is missing, builds, and runs every test: once in a normal build and once
# under AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/tools/deps.sh"
export QT_QPA_PLATFORM=offscreen
jobs=$(nproc)

echo "== Build and test"
"$root/tools/build.sh" build
(cd "$root/build" && ctest --output-on-failure -j "$jobs")

if [ "${VK_SKIP_SANITIZERS:-0}" != "1" ]; then
    echo "== Build and test with AddressSanitizer and UndefinedBehaviorSanitizer"
    VK_BUILD_TYPE=Debug "$root/tools/build.sh" build-asan -DVK_SANITIZE=ON -DVK_BUILD_BENCH=OFF
    (cd "$root/build-asan" && ctest --output-on-failure -j "$jobs")
fi
