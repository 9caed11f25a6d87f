#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# A throw-away PostgreSQL server for the tests that run on a shared database.
#   pgcluster.sh start <dir>   creates the folder and a server in it, listening on 127.0.0.1 on
#                              a free port and on a Unix socket in the folder; writes
#                              <dir>/connection (HOST, PORT, SOCKET, USER, DATABASE lines,
#                              and PASSWORD_USER with its PASSWORD: the one user that must
#                              give one)
#   pgcluster.sh stop <dir>    stops that server and removes the folder
# PostgreSQL refuses to run as root: as root the server runs as the postgres system user. The
# test user needs no password (trust), and nothing is flushed to disk: the data dies with the
# run anyway.
set -euo pipefail
action=${1:-}
dir=${2:-}
if [ -z "$action" ] || [ -z "$dir" ]; then
    echo "usage: $0 start|stop <dir>" >&2
    exit 2
fi
bin=${VK_PG_BIN:-}
if [ -z "$bin" ]; then
    bin=$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -n 1)
fi
if [ -z "$bin" ] || [ ! -x "$bin/pg_ctl" ]; then
    echo "PostgreSQL server programs not found (tools/deps.sh installs them)" >&2
    exit 1
fi
as_server=()
if [ "$(id -u)" -eq 0 ]; then
    as_server=(runuser -u postgres --)
fi
user=vktest

stop() {
    if [ -f "$dir/data/postmaster.pid" ]; then
        "${as_server[@]}" "$bin/pg_ctl" -D "$dir/data" -m immediate -w stop >/dev/null 2>&1 || true
    fi
    rm -rf "$dir"
}

free_port() {
    local port
    for _ in $(seq 1 50); do
        port=$((20000 + RANDOM % 40000))
        if ! ss -Htln "sport = :$port" 2>/dev/null | grep -q .; then
            echo "$port"
            return 0
        fi
    done
    return 1
}

case "$action" in
start)
    stop # what a killed run left behind
    mkdir -p "$dir"
    chmod 700 "$dir"
    [ ${#as_server[@]} -eq 0 ] || chown postgres: "$dir"
    "${as_server[@]}" "$bin/initdb" -D "$dir/data" -E UTF8 --locale=C -A trust -U "$user" --no-sync \
        >"$dir/initdb.log" 2>&1 || { cat "$dir/initdb.log" >&2; exit 1; }
    # One user must give its password, for the tests of what becomes of a password.
    hba="$dir/data/pg_hba.conf"
    { echo "host all $user-password 127.0.0.1/32 scram-sha-256"; cat "$hba"; } >"$hba.new"
    chown --reference="$hba" "$hba.new" && mv "$hba.new" "$hba"
    for attempt in 1 2 3; do
        port=$(free_port)
        if "${as_server[@]}" "$bin/pg_ctl" -D "$dir/data" -l "$dir/server.log" -w -t 60 \
            -o "-p $port -k $dir -c listen_addresses=127.0.0.1 -c fsync=off \
                -c full_page_writes=off -c max_connections=200" \
            start >/dev/null; then
            break
        fi
        [ "$attempt" -lt 3 ] || { cat "$dir/server.log" >&2; exit 1; }
    done
    # The socket folder is the cluster's own; the tests, root or not, connect over it too.
    chmod 755 "$dir"
    password=$(head -c 12 /dev/urandom | od -An -tx1 | tr -d ' \n')
    "$bin/psql" -q -h "$dir" -p "$port" -U "$user" -d postgres \
        -c "CREATE ROLE \"$user-password\" LOGIN PASSWORD '$password'" >/dev/null
    printf 'HOST=127.0.0.1\nPORT=%s\nSOCKET=%s\nUSER=%s\nDATABASE=postgres\n' \
        "$port" "$dir" "$user" >"$dir/connection.tmp"
    printf 'PASSWORD_USER=%s-password\nPASSWORD=%s\n' "$user" "$password" >>"$dir/connection.tmp"
    mv "$dir/connection.tmp" "$dir/connection"
    ;;
stop)
    stop
    ;;
*)
    echo "usage: $0 start|stop <dir>" >&2
    exit 2
    ;;
esac
