#!/usr/bin/env bash
# Builds the Debian packages vantirokit-console and vantirokit-agent into the given folder
# (default dist/), from an optimised build without tests in build-pkg/.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=$(realpath -m "${1:-$root/dist}")
"$root/tools/deps.sh"
VK_BUILD_TYPE=${VK_BUILD_TYPE:-RelWithDebInfo} "$root/tools/build.sh" build-pkg \
    -DVK_BUILD_TESTS=OFF -DVK_BUILD_BENCH=OFF -DVK_SANITIZE=OFF
mkdir -p "$out"
# The staging area stays in the build folder; only the packages land in $out.
(cd "$root/build-pkg" && cpack -G DEB -B "$root/build-pkg/cpack" >/dev/null)
cp "$root"/build-pkg/cpack/*.deb "$out/"
ls -1 "$out"/*.deb
