#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Builds the Debian packages twice from this checkout, in two separate build folders, and
# fails unless both builds give byte-identical packages. The time inside the packages is the
# commit's (SOURCE_DATE_EPOCH), as tools/package.sh sets it.
#
#   check-reproducible.sh [build-dir-a build-dir-b]   (default: build-repro-a, build-repro-b)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
a=${1:-build-repro-a}
b=${2:-build-repro-b}
export SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(git -C "$root" log -1 --format=%ct)}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

for dir in "$a" "$b"; do
    echo "== packages from $dir"
    VK_BUILD_TYPE=${VK_BUILD_TYPE:-RelWithDebInfo} "$root/tools/build.sh" "$dir" \
        -DVK_BUILD_TESTS=OFF -DVK_BUILD_BENCH=OFF -DVK_SANITIZE=OFF >/dev/null
    (cd "$root/$dir" && cpack -G DEB -B "$work/$dir" >"$work/cpack.log" 2>&1) ||
        { cat "$work/cpack.log"; exit 1; }
done

same=0
for deb in "$work/$a"/*.deb; do
    name=$(basename "$deb")
    other="$work/$b/$name"
    if cmp -s "$deb" "$other"; then
        echo "same: $name $(sha256sum <"$deb" | cut -c1-16)"
    else
        same=1
        echo "DIFFERENT: $name"
        diff <(dpkg-deb -c "$deb") <(dpkg-deb -c "$other") | head -20 || true
        diff <(dpkg-deb -I "$deb") <(dpkg-deb -I "$other") | head -20 || true
    fi
done
[ -n "$(ls "$work/$a"/*.deb 2>/dev/null)" ] || { echo "no packages built"; exit 1; }
exit $same
