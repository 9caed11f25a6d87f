#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Fails when a tracked C++ file differs from what the root .clang-format makes of it.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root" || exit 1
command -v clang-format >/dev/null || { echo "clang-format not installed: not checked"; exit 0; }
files=$(git ls-files '*.cpp' '*.h' 2>/dev/null || find . -name '*.cpp' -o -name '*.h' | grep -v '/build')
bad=0
for f in $files; do
    if ! clang-format --dry-run --Werror "$f" >/dev/null 2>&1; then
        echo "not formatted: $f"
        bad=1
    fi
done
exit $bad
