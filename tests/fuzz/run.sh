#!/bin/sh
# Builds the decoder fuzz target with clang and libFuzzer and runs it for a while.
# Usage: tests/fuzz/run.sh [seconds]   (not part of the normal build or test run)
set -eu
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
out=${VK_FUZZ_DIR:-/tmp/vk-fuzz}
secs=${1:-60}
mkdir -p "$out/corpus"
flags=$(pkg-config --cflags Qt6Core)
libs=$(pkg-config --libs Qt6Core)
clang++ -std=c++20 -g -O1 -fPIC -fsanitize=fuzzer,address,undefined -I"$root" $flags \
    "$here/fuzz_decoder.cpp" "$root/common/protocol.cpp" $libs -o "$out/fuzz_decoder"
# Seed the corpus with real messages so the fuzzer starts from the protocol's shapes.
printf '|SET_TIME:||AUTOLOGOUT_MIN|45|<LOGOUTTIME||STARTSESSION|' > "$out/corpus/start"
printf '|CNAME`|PC-07|<end\001name||CHECK_PASSWORD|pw<PSW|AUTOLOGOUT|' > "$out/corpus/console"
printf '|LOCK||CNAME||SET_DATE_TIME:|2026-01-01 00:00:00\001|<TIME|' > "$out/corpus/lock"
exec "$out/fuzz_decoder" -max_total_time="$secs" -max_len=12000 "$out/corpus"
