#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Installs the Debian packages the build, the programs and the tests need, when missing.
set -euo pipefail
pkgs=(cmake ninja-build g++ ccache clang-format pkg-config qt6-base-dev qt6-base-dev-tools
      qt6-charts-dev libqt6opengl6-dev
      libqt6sql6-sqlite libqt6sql6-psql libgl-dev libxcb1-dev libsqlite3-dev
      # the tests on a shared database start a PostgreSQL server of their own
      postgresql
      # what the tests drive or read back: an X server with a window manager, input
      # injection and its access list (xhost), PDF and RTF readers, the sqlite3 shell
      xvfb xdotool openbox x11-utils x11-xserver-utils dbus poppler-utils unrtf sqlite3
      # packaging: dpkg-shlibdeps, the checks of the packages' desktop entries and man pages, and
      # lintian, what a distribution checks packages with
      dpkg-dev desktop-file-utils groff-base man-db lintian
      # the owner's page is loaded by a real browser, headless, driven over WebDriver
      chromium chromium-driver)
missing=()
for p in "${pkgs[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    sudo=""
    [ "$(id -u)" -eq 0 ] || sudo=sudo
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
