#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Installs, upgrades, removes and purges both packages on a clean Debian system, as a cafe's
# administrator would: a Debian root made from the distribution's packages (mmdebstrap) gets
# the packages of an earlier commit, labelled with a lower version, then this checkout's over
# them; both programs must say the new version; removal must keep the cafe's data (the
# console's database and settings, the agent's settings and staff password), and a purge must
# leave nothing of the packages behind. Needs root, network access to the Debian mirror, and
# a few minutes, so it is a script of its own, not part of the test suite.
#
#   tests/packaging/check-install.sh [earlier-commit] [earlier-version]
#
# The earlier commit defaults to the one before HEAD, its version to the newest but one entry
# of CHANGELOG.md. VK_DEBIAN_ROOT_TAR names a tarball to reuse as the clean root (made here
# with mmdebstrap when it does not exist yet); VK_NEW_BUILD a configured build of this
# checkout to pack instead of building one.
set -uo pipefail
src=$(cd "$(dirname "$0")/../.." && pwd)
old_rev=$(git -C "$src" rev-parse "${1:-HEAD~1}") || exit 1
new_version=$(sed -n 's/^project(vantirokit VERSION \([0-9.]*\) .*/\1/p' "$src/CMakeLists.txt")
old_version=${2:-$(sed -n 's/^## \([^ ]*\) .*/\1/p' "$src/CHANGELOG.md" | sed -n 2p)}
dpkg --compare-versions "$old_version" lt "$new_version" ||
    { echo "FAIL: $old_version is not lower than $new_version"; exit 1; }
[ "$(id -u)" = 0 ] || { echo "FAIL: needs root (a chroot)"; exit 1; }
command -v mmdebstrap >/dev/null || { echo "FAIL: mmdebstrap is not installed"; exit 1; }

work=$(mktemp -d /var/tmp/vk-install.XXXXXX)
root="$work/root"
mounted=()
cleanup() {
    for m in "${mounted[@]}"; do umount -l "$m" 2>/dev/null; done
    git -C "$src" worktree remove --force "$work/old" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT
failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}
export SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(git -C "$src" log -1 --format=%ct)}

# Packages from a checkout: an optimised build without tests, then cpack. The build folder is
# inside the checkout, where the compiler cache finds what other checkouts built.
packages() { # checkout build-dir out-dir cmake-args...
    local checkout=$1 build=$2 out=$3
    shift 3
    cmake -S "$checkout" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVK_BUILD_TESTS=OFF \
        -DVK_BUILD_BENCH=OFF -DVK_SANITIZE=OFF "$@" >"$work/cmake.log" 2>&1 &&
        cmake --build "$build" -j "$(nproc)" >"$work/build.log" 2>&1 &&
        (cd "$build" && cpack -G DEB -B "$out" >"$work/cpack.log" 2>&1) || {
        tail -n 30 "$work/cmake.log" "$work/build.log" "$work/cpack.log"
        echo "FAIL: packages from $checkout"
        exit 1
    }
}

echo "== packages of this checkout ($new_version)"
if [ -n "${VK_NEW_BUILD:-}" ]; then
    # A build of this checkout already there (tests/packaging/check-packages.sh packs the same).
    (cd "$VK_NEW_BUILD" && cpack -G DEB -B "$work/new" >"$work/cpack.log" 2>&1) ||
        { tail -n 30 "$work/cpack.log"; echo "FAIL: cpack in $VK_NEW_BUILD"; exit 1; }
else
    packages "$src" "$src/build-install" "$work/new"
fi
echo "== packages of $old_rev labelled $old_version"
git -C "$src" worktree add --detach "$work/old" "$old_rev" >/dev/null 2>&1 ||
    { echo "FAIL: no worktree of $old_rev"; exit 1; }
# The earlier commit knows nothing of a version override: this runs at the end of its
# project() and lowers the version everything after it reads.
printf 'set(PROJECT_VERSION %s)\nset(CMAKE_PROJECT_VERSION %s)\nset(vantirokit_VERSION %s)\n' \
    "$old_version" "$old_version" "$old_version" >"$work/lower-version.cmake"
packages "$work/old" "$work/old/build-pkg" "$work/olddebs" "-DCMAKE_PROJECT_INCLUDE=$work/lower-version.cmake"

# --- the clean root --------------------------------------------------------------------
# The packages' own dependencies go into the root first, so that what is there after a purge
# can be compared with what was there before.
deps=$(for d in "$work"/new/*.deb; do dpkg-deb -f "$d" Depends; done | tr ',' '\n' |
    sed 's/^ *//; s/[ |].*//' | grep . | sort -u | paste -sd, -)
tar=${VK_DEBIAN_ROOT_TAR:-$work/root.tar}
if [ ! -s "$tar" ]; then
    echo "== clean Debian root (mmdebstrap, with $deps)"
    mmdebstrap --variant=apt --include="$deps" bookworm "$tar" >"$work/mmdebstrap.log" 2>&1 ||
        { tail -n 20 "$work/mmdebstrap.log"; echo "FAIL: mmdebstrap"; exit 1; }
fi
mkdir -p "$root"
tar -C "$root" -xf "$tar"
for m in proc dev; do
    mount --bind "/$m" "$root/$m" && mounted+=("$root/$m")
done
cp /etc/resolv.conf "$root/etc/resolv.conf"
mkdir -p "$root/debs"
cp -r "$work/new" "$work/olddebs" "$root/debs/"
in_root() { chroot "$root" env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LC_ALL=C.UTF-8 "$@"; }
apt_get() { in_root env DEBIAN_FRONTEND=noninteractive apt-get -y -q --no-install-recommends "$@"; }
# Whatever of the system can hold our files; dpkg's, apt's and the cafe's own records aside.
snapshot() {
    (cd "$root" && find . -xdev \( -path ./proc -o -path ./dev -o -path ./debs -o -path ./tmp \
        -o -path ./var/lib/dpkg -o -path ./var/lib/apt -o -path ./var/cache -o -path ./var/log \
        -o -path ./root \) -prune -o -print | grep -v -e '^./etc/\(passwd\|group\|shadow\|gshadow\|subuid\|subgid\)-\?$' \
        -e '^./etc/ld.so.cache$' | sort)
}
# The console and the agent in a state worth keeping: root's cafe database and settings.
mkdir -p "$root/root/.local/share/vantirokit" "$root/root/.config/vantirokit"
printf 'the cafe database\n' >"$root/root/.local/share/vantirokit/server.db"
printf '[HKEY_LOCAL_MACHINE\\SOFTWARE\\Vantirokit\\Options]\n"port"="2701"\n' \
    >"$root/root/.config/vantirokit/vantirokit.conf"
snapshot >"$work/before"

# --- install the earlier version, then upgrade -----------------------------------------
echo "== install $old_version"
arch=$(dpkg --print-architecture)
apt_get install /debs/olddebs/vantirokit-console_"${old_version}_$arch".deb \
    /debs/olddebs/vantirokit-agent_"${old_version}_$arch".deb >"$work/apt.log" 2>&1 ||
    { tail -n 30 "$work/apt.log"; fail "installing $old_version"; }
for p in vantirokit-console vantirokit-agent; do
    [ "$(in_root dpkg-query -W -f '${Version}' "$p")" = "$old_version" ] || fail "$p $old_version not installed"
done
agent_conf=var/lib/vantirokit-agent/vantirokit.conf
staff=etc/vantirokit-agent/staff-password
[ -f "$root/$agent_conf" ] && [ -f "$root/$staff" ] || fail "the agent was not set up"
# The cafe's own from here on: what the workstation was set to.
printf '[HKEY_LOCAL_MACHINE\\SOFTWARE\\Vantirokit\\Server]\n"ip"="192.0.2.1"\n' >>"$root/$agent_conf"
cafe_files=(root/.local/share/vantirokit/server.db root/.config/vantirokit/vantirokit.conf "$agent_conf" "$staff")
sums() { (cd "$root" && sha256sum "${cafe_files[@]}" 2>&1); }
sums >"$work/cafe.sums"

echo "== upgrade to $new_version"
apt_get install /debs/new/vantirokit-console_"${new_version}_$arch".deb \
    /debs/new/vantirokit-agent_"${new_version}_$arch".deb >"$work/apt.log" 2>&1 ||
    { tail -n 30 "$work/apt.log"; fail "upgrading to $new_version"; }
for p in vantirokit-console vantirokit-agent; do
    [ "$(in_root dpkg-query -W -f '${Version}' "$p")" = "$new_version" ] || fail "$p not upgraded"
done
for b in vkserver vantirokit-client; do
    said=$(timeout 20 chroot "$root" env -i PATH=/usr/bin:/bin "$b" --version 2>&1)
    echo "$b --version: $said"
    [ "$said" = "$b $new_version" ] || fail "$b --version says '$said'"
done
[ "$(sums)" = "$(cat "$work/cafe.sums")" ] || fail "the upgrade changed the cafe's data: $(sums)"

# --- remove, then purge -------------------------------------------------------------------
echo "== remove"
apt_get remove vantirokit-console vantirokit-agent >"$work/apt.log" 2>&1 ||
    { tail -n 30 "$work/apt.log"; fail "removing"; }
for f in usr/bin/vkserver usr/bin/vantirokit-client; do
    [ -e "$root/$f" ] && fail "a removal left /$f"
done
[ "$(sums)" = "$(cat "$work/cafe.sums")" ] || fail "a removal changed the cafe's data: $(sums)"

echo "== purge"
# dpkg, not apt: a package without conffiles was gone whole at its removal, and apt refuses
# to purge what it no longer knows.
in_root dpkg --purge vantirokit-console vantirokit-agent >"$work/apt.log" 2>&1 ||
    { tail -n 30 "$work/apt.log"; fail "purging"; }
for p in vantirokit-console vantirokit-agent; do
    status=$(in_root dpkg-query -W -f '${db:Status-Status}' "$p" 2>/dev/null)
    case "$status" in "" | not-installed) ;; *) fail "$p is still $status" ;; esac
done
snapshot >"$work/after"
left=$(comm -13 "$work/before" "$work/after")
[ -z "$left" ] || fail "a purge left behind: $left"
# The console's data is its user's, not the package's: a purge keeps it too.
(cd "$root" && sha256sum -c --quiet <(head -n 2 "$work/cafe.sums")) ||
    fail "a purge changed the console's data"

if [ $failures -gt 0 ]; then
    echo "$failures check(s) failed"
    exit 1
fi
echo "install, upgrade, remove and purge passed ($old_version from ${old_rev:0:12}, then $new_version)"
