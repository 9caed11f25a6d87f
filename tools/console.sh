#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Installs what is missing, builds, and runs the console on its embedded database.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/tools/deps.sh"
"$root/tools/build.sh" build
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
    echo "No display found: the console runs offscreen, listening for agents and keeping its database."
    echo "Stop it with Ctrl+C."
    export QT_QPA_PLATFORM=offscreen
fi
data=${VANTIROKIT_HOME:-${XDG_DATA_HOME:-$HOME/.local/share}/vantirokit}
mkdir -p "$data"
cd "$data"
exec "$root/build/bin/vkserver" "$@"
