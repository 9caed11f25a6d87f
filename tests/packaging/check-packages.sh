#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Builds the two Debian packages from a configured build folder, unpacks each into a scratch
# root and checks what a machine would get: the files and their permissions, the control
# fields, the copyright and changelog files, the desktop entries, the man pages, the maintainer
# scripts, what lintian says of the packages, and that the unpacked programs start and stop.
#
#   check-packages.sh <build-dir> <source-dir>
set -uo pipefail
build=$(realpath "$1")
src=$(realpath "$2")
work=$(mktemp -d)
pids=()
cleanup() {
    for p in "${pids[@]}"; do kill -KILL "$p" 2>/dev/null; done
    rm -rf "$work"
}
trap cleanup EXIT

failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

# Waits up to $2 seconds for the condition in $1 (a command) to hold.
wait_for() {
    local i
    for ((i = 0; i < $2 * 10; i++)); do
        eval "$1" && return 0
        sleep 0.1
    done
    return 1
}

# The one place the version comes from; the newest entry of CHANGELOG.md must be the same.
version=$(sed -n 's/^project(vantirokit VERSION \([0-9.]*\) .*/\1/p' "$src/CMakeLists.txt")
[ -n "$version" ] || { echo "FAIL: no version in CMakeLists.txt"; exit 1; }
newest=$(sed -n 's/^## \([^ ]*\) .*/\1/p' "$src/CHANGELOG.md" | head -n 1)
[ "$newest" = "$version" ] ||
    fail "CHANGELOG.md's newest entry is '$newest', the version in CMakeLists.txt $version"

echo "== cpack"
if ! (cd "$build" && cpack -G DEB -B "$work/out" >"$work/cpack.log" 2>&1); then
    cat "$work/cpack.log"
    echo "FAIL: cpack"
    exit 1
fi
console_deb=$(ls "$work"/out/vantirokit-console_*.deb 2>/dev/null)
agent_deb=$(ls "$work"/out/vantirokit-agent_*.deb 2>/dev/null)
[ -f "$console_deb" ] || { echo "FAIL: no console package"; ls "$work/out"; exit 1; }
[ -f "$agent_deb" ] || { echo "FAIL: no agent package"; ls "$work/out"; exit 1; }

# --- control fields ---------------------------------------------------------------------
field() { dpkg-deb -f "$1" "$2"; }
check_control() { # deb package-name depends...
    local deb=$1 name=$2
    shift 2
    [ "$(field "$deb" Package)" = "$name" ] || fail "$name: Package is '$(field "$deb" Package)'"
    [ "$(field "$deb" Version)" = "$version" ] || fail "$name: Version is '$(field "$deb" Version)'"
    [ "$(field "$deb" Architecture)" = "$(dpkg --print-architecture)" ] ||
        fail "$name: Architecture is '$(field "$deb" Architecture)'"
    # A maintainer someone can write to: a name and an address, never one at this machine.
    local maintainer
    maintainer=$(field "$deb" Maintainer)
    printf '%s' "$maintainer" | grep -qx '[^<>]*[^ <>] <[^<>@ ]\+@[^<>@ ]\+\.[a-z]\+>' ||
        fail "$name: Maintainer is '$maintainer'"
    printf '%s' "$maintainer" | grep -qi '@localhost' && fail "$name: Maintainer at localhost"
    local desc
    desc=$(field "$deb" Description)
    # A one-line summary and an extended description below it.
    [ "$(printf '%s\n' "$desc" | wc -l)" -ge 3 ] || fail "$name: Description too short: $desc"
    # Lines indented further would be shown verbatim, unwrapped.
    if printf '%s\n' "$desc" | tail -n +2 | grep -q '^  '; then
        fail "$name: the extended description has verbatim lines"
    fi
    # Package tools show it on an 80-column terminal.
    printf '%s\n' "$desc" | awk 'length > 80 { exit 1 }' || fail "$name: description lines over 80"
    local depends
    depends=$(field "$deb" Depends)
    for d in "$@"; do
        printf '%s' "$depends" | tr ',' '\n' | sed 's/^ *//; s/ .*//' | grep -qx "$d" ||
            fail "$name: Depends lacks $d ($depends)"
    done
}
echo "== control fields"
check_control "$console_deb" vantirokit-console libc6 libqt6core6 libqt6widgets6 libqt6sql6 \
    libqt6network6 libqt6sql6-sqlite libqt6sql6-psql libqt6charts6
check_control "$agent_deb" vantirokit-agent libc6 libqt6core6 libqt6widgets6 libqt6network6
printf '%s' "$(field "$console_deb" Depends)" | grep -q 'libqt6sql6-sqlite' ||
    fail "console: the SQLite driver is not a dependency"

# --- files and permissions --------------------------------------------------------------
# Every regular file of a package, with its mode and owner, as "mode owner path".
listing() { dpkg-deb -c "$1" | awk '{ print $1, $2, $6 }'; }
check_files() { # deb expected-files...
    local deb=$1
    shift
    local list
    list=$(listing "$deb")
    local expected=("$@")
    for f in "${expected[@]}"; do
        local line
        line=$(printf '%s\n' "$list" | awk -v p="./$f" '$3 == p')
        if [ -z "$line" ]; then
            fail "$(basename "$deb"): missing $f"
            continue
        fi
        local mode=${line%% *}
        case "$f" in
        usr/bin/* | usr/share/vantirokit-agent/*)
            [ "$mode" = "-rwxr-xr-x" ] || fail "$f has mode $mode" ;;
        *) [ "$mode" = "-rw-r--r--" ] || fail "$f has mode $mode" ;;
        esac
    done
    # Nothing else, and everything owned by root.
    while read -r mode owner path; do
        [ "$owner" = "root/root" ] || fail "$path is owned by $owner"
        case "$mode" in
        d*) [ "$mode" = "drwxr-xr-x" ] || fail "folder $path has mode $mode" ;;
        -*)
            local known=0
            for f in "${expected[@]}"; do [ "$path" = "./$f" ] && known=1; done
            [ $known = 1 ] || fail "$(basename "$deb"): unexpected file $path"
            ;;
        *) fail "$path is neither a file nor a folder ($mode)" ;;
        esac
    done <<<"$list"
}
echo "== files"
help_files=()
for f in "$src"/docs/help/*; do help_files+=("usr/share/vantirokit/help/$(basename "$f")"); done
help_files+=(usr/share/vantirokit/help/install-workstation.html
    usr/share/vantirokit/help/threat-model.html)
check_files "$console_deb" usr/bin/vkserver usr/bin/vkcopydb usr/share/man/man1/vkcopydb.1.gz \
    usr/share/applications/vantirokit-console.desktop \
    usr/share/icons/hicolor/scalable/apps/vantirokit-console.svg \
    usr/share/man/man1/vkserver.1.gz "${help_files[@]}" \
    usr/share/doc/vantirokit-console/copyright usr/share/doc/vantirokit-console/changelog.gz
check_files "$agent_deb" usr/bin/vantirokit-client \
    usr/lib/systemd/system/vantirokit-agent.service \
    usr/share/polkit-1/rules.d/60-vantirokit-agent.rules \
    usr/share/vantirokit-agent/x-access \
    usr/share/vantirokit-agent/system-setup \
    etc/X11/Xsession.d/60vantirokit-agent \
    usr/lib/systemd/user/vantirokit-client.service \
    etc/xdg/autostart/vantirokit-client.desktop \
    usr/share/icons/hicolor/scalable/apps/vantirokit-agent.svg \
    usr/share/man/man1/vantirokit-client.1.gz \
    usr/share/doc/vantirokit-agent/install-workstation.html \
    usr/share/doc/vantirokit-agent/threat-model.html \
    usr/share/doc/vantirokit-agent/style.css \
    usr/share/doc/vantirokit-agent/copyright usr/share/doc/vantirokit-agent/changelog.gz

root="$work/root"
mkdir -p "$root"
dpkg-deb -x "$console_deb" "$root" || fail "console: dpkg-deb -x"
dpkg-deb -x "$agent_deb" "$root" || fail "agent: dpkg-deb -x"

# Copyright and changelog: what a distribution asks of every package.
for p in vantirokit-console vantirokit-agent; do
    doc="$root/usr/share/doc/$p"
    cmp -s "$src/packaging/debian/copyright" "$doc/copyright" || fail "$p: copyright differs"
    grep -qx 'License: Apache-2.0' "$doc/copyright" || fail "$p: copyright names no Apache-2.0"
    head -n 1 "$doc/copyright" | grep -q '^Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/' ||
        fail "$p: copyright is not machine-readable"
    first=$(zcat "$doc/changelog.gz" | head -n 1)
    [ "$first" = "vantirokit ($version) stable; urgency=medium" ] || fail "$p: changelog starts '$first'"
    # Built the same every time: no name or time in the gzip header.
    [ "$(od -An -tx1 -j3 -N5 "$doc/changelog.gz" | tr -d ' ')" = 0000000000 ] ||
        fail "$p: changelog.gz carries a name or a time"
    [ "$(zcat "$doc/changelog.gz" | grep -c '^vantirokit (')" = "$(grep -c '^## ' "$src/CHANGELOG.md")" ] ||
        fail "$p: the changelog has not every release of CHANGELOG.md"
done

for b in vkserver vkcopydb vantirokit-client; do
    said=$(timeout 20 "$root/usr/bin/$b" --version 2>&1)
    [ "$said" = "$b $version" ] || fail "$b --version says '$said'"
    if readelf -S "$root/usr/bin/$b" | grep -q '\.debug_info'; then
        fail "$b is not stripped"
    fi
done
# The packaged files are the ones this checkout holds.
cmp -s "$src/packaging/vantirokit-client.service" \
    "$root/usr/lib/systemd/user/vantirokit-client.service" || fail "the user unit differs"
for f in "$src"/docs/help/*; do
    cmp -s "$f" "$root/usr/share/vantirokit/help/$(basename "$f")" ||
        fail "help page $(basename "$f") differs from docs/help"
done
grep -q '<h1' "$root/usr/share/vantirokit/help/install-workstation.html" ||
    fail "the install guide was not converted"
if grep -q 'href="index.html"' "$root/usr/share/doc/vantirokit-agent/install-workstation.html"; then
    fail "the agent's guide links to a help start page it does not have"
fi
# The unit's program is found on the system's search path, where the package puts it.
exec_start=$(sed -n 's/^ExecStart=//p' "$root/usr/lib/systemd/user/vantirokit-client.service")
[ -x "$root/usr/bin/$exec_start" ] || fail "the unit starts '$exec_start', not in /usr/bin"
# The system service: the agent under its own account, in the account's own folder.
unit="$root/usr/lib/systemd/system/vantirokit-agent.service"
for line in User=vantirokit-agent Group=vantirokit-agent ExecStart=/usr/bin/vantirokit-client \
    WorkingDirectory=/var/lib/vantirokit-agent Environment=VANTIROKIT_HOME=/var/lib/vantirokit-agent \
    Environment=VANTIROKIT_OPEN_WEB=0 UMask=0077 Restart=always RestartSec=200ms StartLimitIntervalSec=0 \
    WantedBy=graphical.target; do
    grep -qx "$line" "$unit" || fail "the system unit lacks $line"
done
if command -v systemd-analyze >/dev/null; then
    # Checked as it stands; the program is only in the scratch root.
    out=$(systemd-analyze verify "$unit" 2>&1 | grep -v 'vantirokit-client is not executable')
    [ -z "$out" ] || fail "the system unit: $out"
fi
# The polkit rule grants the agent's account ending logins and power, and nothing else.
rule="$root/usr/share/polkit-1/rules.d/60-vantirokit-agent.rules"
granted=$(grep -o '"org\.freedesktop\.[a-z0-9.-]*"' "$rule" | tr -d '"' | sort | tr '\n' ' ')
[ "$granted" = "org.freedesktop.login1.manage org.freedesktop.login1.power-off org.freedesktop.login1.power-off-multiple-sessions org.freedesktop.login1.reboot org.freedesktop.login1.reboot-multiple-sessions " ] ||
    fail "the polkit rule grants: $granted"
grep -q 'subject.user !== "vantirokit-agent"' "$rule" || fail "the polkit rule is not for the agent's account alone"
# The X access hook lets the account in by name, from every X session too.
mkdir -p "$work/fakebin"
printf '#!/bin/sh\necho "$@" >>"%s/xhost.log"\n' "$work" >"$work/fakebin/xhost"
chmod +x "$work/fakebin/xhost"
sh -n "$root/etc/X11/Xsession.d/60vantirokit-agent" || fail "the Xsession hook does not parse"
grep -q /usr/share/vantirokit-agent/x-access "$root/etc/X11/Xsession.d/60vantirokit-agent" ||
    fail "the Xsession hook does not run the X access hook"
DISPLAY=:5 PATH="$work/fakebin:$PATH" "$root/usr/share/vantirokit-agent/x-access" ||
    fail "x-access failed"
[ "$(cat "$work/xhost.log" 2>/dev/null)" = "+si:localuser:vantirokit-agent" ] ||
    fail "x-access ran xhost with: $(cat "$work/xhost.log" 2>/dev/null)"
grep -q 'is-enabled vantirokit-agent.service' "$root/etc/xdg/autostart/vantirokit-client.desktop" ||
    fail "the per-user autostart entry would start a second agent beside the system service"
grep -q '^Exec=vkserver$' "$root/usr/share/applications/vantirokit-console.desktop" ||
    fail "the console's desktop entry does not start vkserver"

# --- lintian ------------------------------------------------------------------------------
echo "== lintian"
if command -v lintian >/dev/null; then
    # Errors and warnings only; an override, if ever needed, says why beside it.
    out=$(lintian --no-tag-display-limit "$console_deb" "$agent_deb" 2>&1 | grep -E '^(E|W): ')
    [ -z "$out" ] || fail "lintian: $out"
else
    echo "lintian not installed: the packages are not linted"
fi

# --- desktop entries ----------------------------------------------------------------------
echo "== desktop entries"
if command -v desktop-file-validate >/dev/null; then
    for d in "$root/usr/share/applications/vantirokit-console.desktop" \
        "$root/etc/xdg/autostart/vantirokit-client.desktop"; do
        out=$(desktop-file-validate "$d" 2>&1) || fail "$(basename "$d"): $out"
        [ -z "$out" ] || fail "$(basename "$d"): $out"
    done
else
    echo "desktop-file-validate not installed: desktop entries not validated"
fi
for icon in vantirokit-console vantirokit-agent; do
    grep -q '<svg' "$root/usr/share/icons/hicolor/scalable/apps/$icon.svg" ||
        fail "$icon.svg is no SVG picture"
done

# --- man pages ----------------------------------------------------------------------------
echo "== man pages"
for page in vkserver vantirokit-client; do
    gz="$root/usr/share/man/man1/$page.1.gz"
    warnings=$(zcat "$gz" | LC_ALL=C.UTF-8 groff -man -Tutf8 -ww -z 2>&1)
    [ -z "$warnings" ] || fail "$page.1: $warnings"
    text=$(zcat "$gz" | LC_ALL=C.UTF-8 groff -man -Tutf8 2>/dev/null | sed 's/.\x08//g')
    for section in NAME SYNOPSIS DESCRIPTION OPTIONS ENVIRONMENT FILES EXAMPLES; do
        printf '%s\n' "$text" | grep -qx "$section" || fail "$page.1 has no $section section"
    done
    printf '%s\n' "$text" | grep -q VANTIROKIT_HOME || fail "$page.1 does not name VANTIROKIT_HOME"
done
warnings=$(zcat "$root/usr/share/man/man1/vkcopydb.1.gz" | LC_ALL=C.UTF-8 groff -man -Tutf8 -ww -z 2>&1)
[ -z "$warnings" ] || fail "vkcopydb.1: $warnings"

# --- maintainer scripts -------------------------------------------------------------------
echo "== maintainer scripts"
for deb in "$console_deb" "$agent_deb"; do
    ctl="$work/control-$(basename "$deb" .deb)"
    dpkg-deb -e "$deb" "$ctl" || fail "$(basename "$deb"): dpkg-deb -e"
    [ -x "$ctl/postinst" ] || fail "$(basename "$deb"): postinst missing or not executable"
    sh -n "$ctl/postinst" || fail "$(basename "$deb"): postinst does not parse"
done
ctl="$work/control-$(basename "$agent_deb" .deb)"
[ -x "$ctl/prerm" ] && sh -n "$ctl/prerm" || fail "the agent's prerm is missing or does not parse"
[ -x "$ctl/postrm" ] && sh -n "$ctl/postrm" || fail "the agent's postrm is missing or does not parse"
for f in /etc/xdg/autostart/vantirokit-client.desktop /etc/X11/Xsession.d/60vantirokit-agent; do
    grep -qx "$f" "$ctl/conffiles" || fail "$f is not a conffile"
done

# The agent's postinst on a scratch system: a new installation gets the system account, the
# account's own settings with a staff password of its own, and the service enabled; an upgrade
# of a per-user installation is left as it was.
echo "== agent set-up"
# Owners are only real with root; elsewhere fakeroot keeps up the pretence for one command.
as_root=()
[ "$(id -u)" = 0 ] || as_root=(fakeroot)
if [ ${#as_root[@]} -gt 0 ] && ! command -v fakeroot >/dev/null; then
    echo "neither root nor fakeroot: the agent's set-up is not checked"
else
    new_system() { # folder
        rm -rf "$1"
        mkdir -p "$1/etc"
        cp -a "$root/usr" "$1/"
        cp -a "$root/etc/." "$1/etc/"
        printf 'root:x:0:0:root:/root:/bin/bash\n' >"$1/etc/passwd"
        printf 'root:x:0:\n' >"$1/etc/group"
        printf 'root:*:19000:0:99999:7:::\n' >"$1/etc/shadow"
        printf 'root:*::\n' >"$1/etc/gshadow"
    }
    sys="$work/system"
    new_system "$sys"
    # Run twice: a re-configure must keep what the first made.
    for args in "configure" "configure $version"; do
        # shellcheck disable=SC2086
        "${as_root[@]}" sh -c 'DPKG_ROOT="$1" "$2" $3 >"$1/note" 2>&1; echo $? >"$1/rc";
            stat -c "%a %u %n" "$1/var/lib/vantirokit-agent" "$1/var/lib/vantirokit-agent/vantirokit.conf" \
                "$1/etc/vantirokit-agent" "$1/etc/vantirokit-agent/staff-password" >"$1/modes"' \
            sh "$sys" "$ctl/postinst" "$args"
        [ "$(cat "$sys/rc")" = 0 ] || fail "agent postinst $args failed: $(cat "$sys/note")"
        uid=$(awk -F: '$1 == "vantirokit-agent" { print $3 }' "$sys/etc/passwd")
        [ -n "$uid" ] && [ "$uid" -gt 0 ] && [ "$uid" -lt 1000 ] || fail "no system account ($uid)"
        awk -F: '$1 == "vantirokit-agent" { print $7 }' "$sys/etc/passwd" | grep -q nologin ||
            fail "the agent's account can log in"
        expected="700 $uid $sys/var/lib/vantirokit-agent
600 $uid $sys/var/lib/vantirokit-agent/vantirokit.conf
700 0 $sys/etc/vantirokit-agent
600 0 $sys/etc/vantirokit-agent/staff-password"
        [ "$(cat "$sys/modes")" = "$expected" ] || fail "agent set-up modes: $(cat "$sys/modes")"
        conf="$sys/var/lib/vantirokit-agent/vantirokit.conf"
        password=$(cat "$sys/etc/vantirokit-agent/staff-password")
        if [ "$args" = configure ]; then
            first_password=$password
            grep -q /etc/vantirokit-agent/staff-password "$sys/note" ||
                fail "postinst does not say where the password is"
            grep -q "$password" "$sys/note" && fail "postinst shows the password"
        fi
        printf '%s' "$password" | grep -qx '[0-9a-f]\{12\}' || fail "staff password '$password'"
        [ "$password" = "$first_password" ] || fail "a re-configure changed the staff password"
        grep -qx "\"psw\"=\"$password\"" "$conf" || fail "the settings lack the staff password"
        grep -qx '"EndLoginSession"="1"' "$conf" || fail "the settings do not end logins"
        [ -L "$sys/etc/systemd/system/graphical.target.wants/vantirokit-agent.service" ] ||
            fail "the system service is not enabled"
    done
    # A removal keeps the workstation's set-up for a reinstallation; a purge takes it all.
    "${as_root[@]}" sh -c 'DPKG_ROOT="$1" "$2" remove' sh "$sys" "$ctl/postrm" || fail "postrm remove failed"
    [ -f "$sys/var/lib/vantirokit-agent/vantirokit.conf" ] && [ -f "$sys/etc/vantirokit-agent/staff-password" ] ||
        fail "a removal took the agent's settings"
    "${as_root[@]}" sh -c 'DPKG_ROOT="$1" "$2" purge' sh "$sys" "$ctl/postrm" || fail "postrm purge failed"
    for left in var/lib/vantirokit-agent etc/vantirokit-agent \
        etc/systemd/system/graphical.target.wants/vantirokit-agent.service; do
        [ -e "$sys/$left" ] || [ -L "$sys/$left" ] && fail "a purge left /$left"
    done

    new_system "$sys"
    "${as_root[@]}" sh -c 'DPKG_ROOT="$1" "$2" configure 1.1.0 >"$1/note" 2>&1' sh "$sys" "$ctl/postinst" ||
        fail "agent postinst upgrade failed"
    grep -q vantirokit-agent "$sys/etc/passwd" && fail "an upgrade moved a per-user set-up"
    [ -e "$sys/etc/systemd/system/graphical.target.wants/vantirokit-agent.service" ] &&
        fail "an upgrade enabled the system service beside the per-user one"
    grep -q system-setup "$sys/note" || fail "an upgrade does not say how to move over"
fi
ctl="$work/control-$(basename "$console_deb" .deb)"
note=$("$ctl/postinst" configure 2>&1) || fail "console postinst failed"
printf '%s' "$note" | grep -q 'server.db' || fail "console postinst note does not say where data lives"
[ -z "$("$ctl/postinst" remove 2>&1)" ] || fail "console postinst prints outside configure"

# --- the unpacked programs run ------------------------------------------------------------
echo "== vkserver from the package"
home="$work/console-home"
mkdir -p "$home"
# Port 0: no clash with a console or a test running beside this one.
printf '[HKEY_LOCAL_MACHINE\\SOFTWARE\\Vantirokit\\Options]\n"port"="0"\n' >"$home/vantirokit.conf"
(cd "$home" && exec env QT_QPA_PLATFORM=offscreen VANTIROKIT_HOME="$home" \
    "$root/usr/bin/vkserver" >"$work/vkserver.log" 2>&1) &
pid=$!
pids+=("$pid")
if wait_for "[ -s '$home/server.db' ]" 30; then
    # The console has finished its start-up when it no longer holds the database alone.
    wait_for "sqlite3 '$home/server.db' 'select count(*) from defalt' >/dev/null 2>&1" 30 ||
        fail "server.db has no defaults row"
    kill -TERM "$pid"
    if wait_for "! kill -0 $pid 2>/dev/null" 30; then
        wait "$pid"
        rc=$?
        [ "$rc" = 0 ] || fail "vkserver ended with status $rc on SIGTERM"
    else
        fail "vkserver did not end on SIGTERM"
    fi
else
    fail "vkserver did not create server.db"
fi
[ -f "$home/Morvek.txt" ] && fail "vkserver logged errors: $(cat "$home/Morvek.txt")"
# The database carries passwords: its owner's alone.
[ "$(stat -c %a "$home/server.db")" = 600 ] || fail "server.db has mode $(stat -c %a "$home/server.db")"
[ -s "$work/vkserver.log" ] && echo "vkserver said: $(cat "$work/vkserver.log")"

echo "== vantirokit-client from the package"
ahome="$work/agent-home"
mkdir -p "$ahome"
state="$work/agent-state.json"
(cd "$ahome" && exec env QT_QPA_PLATFORM=offscreen VANTIROKIT_HOME="$ahome" VANTIROKIT_WAKE_PORT=0 \
    VANTIROKIT_AGENT_STATE_FILE="$state" "$root/usr/bin/vantirokit-client" >"$work/agent.log" 2>&1) &
pid=$!
pids+=("$pid")
# Without a console address it asks for one first.
if wait_for "grep -q '\"dialogVisible\": *true' '$state' 2>/dev/null" 30; then
    kill -TERM "$pid"
    if wait_for "! kill -0 $pid 2>/dev/null" 30; then
        wait "$pid"
        rc=$?
        [ "$rc" = 0 ] || fail "vantirokit-client ended with status $rc on SIGTERM"
    else
        fail "vantirokit-client did not end on SIGTERM"
    fi
else
    fail "vantirokit-client did not ask for the console: $(cat "$state" 2>/dev/null) $(cat "$work/agent.log")"
fi
# The settings carry the link key and the staff password.
[ "$(stat -c %a "$ahome/vantirokit.conf" 2>/dev/null)" = 600 ] ||
    fail "the agent's settings have mode $(stat -c %a "$ahome/vantirokit.conf" 2>&1)"

if [ $failures -gt 0 ]; then
    echo "$failures check(s) failed"
    exit 1
fi
echo "all package checks passed"
