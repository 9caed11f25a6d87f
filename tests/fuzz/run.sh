#!/bin/sh
# SPDX-License-Identifier: Apache-2.0
# Builds the fuzz targets (protocol decoder, money parser) with clang and libFuzzer and runs each
# for a while. Not part of the normal build or test run.
# Usage: tests/fuzz/run.sh [seconds per target, default 300] [target ...]
#   targets: decoder money (both when none are named)
# Findings (crash inputs) are left in $VK_FUZZ_DIR/<target>/ (default /tmp/vk-fuzz).
set -eu
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
out=${VK_FUZZ_DIR:-/tmp/vk-fuzz}
secs=${1:-300}
[ $# -gt 0 ] && shift
targets=${*:-decoder money}

if ! command -v clang++ >/dev/null 2>&1; then
    sudo=
    [ "$(id -u)" -ne 0 ] && sudo=sudo
    $sudo apt-get update
    $sudo apt-get install -y clang
fi

flags=$(pkg-config --cflags Qt6Core)
libs=$(pkg-config --libs Qt6Core)

build() { # target, sources...
    name=$1
    shift
    clang++ -std=c++20 -g -O1 -fPIC -fsanitize=fuzzer,address,undefined \
        -fno-sanitize-recover=undefined -I"$root" $flags "$@" $libs -o "$out/$name/fuzz_$name"
}

seed_decoder() {
    # Real messages, so the fuzzer starts from the protocol's shapes.
    printf '|SET_TIME:||AUTOLOGOUT_MIN|45|<LOGOUTTIME||STARTSESSION|' > "$1/start"
    printf '|CNAME`|PC-07|<end\001name||CHECK_PASSWORD|pw<PSW|AUTOLOGOUT|' > "$1/console"
    printf '|LOCK||CNAME||SET_DATE_TIME:|2026-01-01 00:00:00\001|<TIME|' > "$1/lock"
}

seed_money() {
    # What a cashier types into an amount box, including what should not be typed there.
    i=0
    for s in '12.5' '0.12345' '-3.25' '12.5.3' '-0' '1e309' ' 7 ' '0x10' '+0.00005' \
        '99999999999999999999' '922337203685477.5807' '-461168601842738.79035' '０９' ''; do
        i=$((i + 1))
        printf '%s' "$s" > "$1/seed$i"
    done
}

status=0
for t in $targets; do
    case $t in
    decoder) src="$here/fuzz_decoder.cpp $root/common/protocol.cpp" ;;
    money) src="$here/fuzz_money.cpp $root/common/money.cpp" ;;
    *) echo "unknown target: $t" >&2; exit 2 ;;
    esac
    mkdir -p "$out/$t/corpus"
    # shellcheck disable=SC2086
    build "$t" $src
    "seed_$t" "$out/$t/corpus"
    echo "== fuzz_$t for ${secs}s"
    (cd "$out/$t" && ./fuzz_$t -max_total_time="$secs" -max_len=12000 -print_final_stats=1 corpus) ||
        status=1
done
exit $status
