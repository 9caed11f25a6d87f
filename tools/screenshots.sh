#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Takes the console's window pictures for docs/screenshots on a private X server.
# Usage: tools/screenshots.sh [output folder]   (default docs/screenshots)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=${1:-$root/docs/screenshots}
"$root/tools/deps.sh"
"$root/tools/build.sh" build >/dev/null
cmake --build "$root/build" --target vk_console_shots >/dev/null
QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1280x900x24" "$root/build/bin/vk_console_shots" "$out"
