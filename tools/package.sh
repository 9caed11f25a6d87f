#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Builds the Debian packages vantirokit-console and vantirokit-agent into the given folder
# (default dist/), from an optimised build without tests in build-pkg/.
#
#   VK_MAINTAINER="Name <address>" tools/package.sh [folder]
#
# VK_MAINTAINER is who answers for the packages (their Maintainer field and changelog): the
# packages are refused without one, so none leaves here with a placeholder in it. The time
# inside the packages is the commit's, so the same commit always gives the same packages
# (tools/check-reproducible.sh checks it).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=$(realpath -m "${1:-$root/dist}")
if [ -z "${VK_MAINTAINER:-}" ]; then
    echo "Set VK_MAINTAINER to the packages' maintainer, e.g." >&2
    echo "  VK_MAINTAINER=\"Cafe IT <it@example.com>\" $0" >&2
    exit 2
fi
case "$VK_MAINTAINER" in
*@localhost* | *example.invalid*) echo "VK_MAINTAINER must be an address someone reads" >&2; exit 2 ;;
*' <'*@*'>') ;;
*) echo "VK_MAINTAINER must read \"Name <address>\"" >&2; exit 2 ;;
esac
export SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(git -C "$root" log -1 --format=%ct)}
"$root/tools/deps.sh"
VK_BUILD_TYPE=${VK_BUILD_TYPE:-RelWithDebInfo} "$root/tools/build.sh" build-pkg \
    -DVK_BUILD_TESTS=OFF -DVK_BUILD_BENCH=OFF -DVK_SANITIZE=OFF "-DVK_MAINTAINER=$VK_MAINTAINER"
mkdir -p "$out"
# The staging area stays in the build folder; only the packages land in $out.
(cd "$root/build-pkg" && cpack -G DEB -B "$root/build-pkg/cpack" >/dev/null)
cp "$root"/build-pkg/cpack/*.deb "$out/"
ls -1 "$out"/*.deb
