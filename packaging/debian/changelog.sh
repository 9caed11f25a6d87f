#!/bin/sh
# SPDX-License-Identifier: Apache-2.0
# Writes a package's Debian changelog, compressed, from the project's CHANGELOG.md: one entry a
# release ("## 1.2.0 (2026-12-07 12:00 UTC)", the time optional), one item a "- " point, the words wrapped as dpkg's tools
# write them. gzip -9n and dates taken from CHANGELOG.md keep the file the same from build to
# build.
#
#   changelog.sh CHANGELOG.md "Maintainer <address>" out.gz
set -eu
md=$1
maintainer=$2
out=$3

awk -v maint="$maintainer" '
function flush_item() {
    if (item == "") return
    n = split(item, w, " ")
    line = "  *"
    for (i = 1; i <= n; i++) {
        if (length(line) + 1 + length(w[i]) > 78 && line != "  *" && line != "   ") {
            print line
            line = "   "
        }
        line = line " " w[i]
    }
    print line
    item = ""
}
function flush_entry() {
    flush_item()
    if (version == "") return
    cmd = "LC_ALL=C date -u -R -d \"" date "\""
    cmd | getline stamp
    close(cmd)
    print ""
    print " -- " maint "  " stamp
    version = ""
}
/^## / {
    flush_entry()
    version = $2
    date = $0
    sub(/^[^(]*\(/, "", date)
    sub(/\).*/, "", date)
    if (date !~ / /) date = date " 00:00 UTC"
    if (entries++) print ""
    print "vantirokit (" version ") stable; urgency=medium"
    print ""
    next
}
version == "" { next }
/^- / { flush_item(); item = substr($0, 3); next }
/^  +[^ ]/ && item != "" { sub(/^ +/, ""); item = item " " $0; next }
/^[ \t]*$/ { flush_item(); next }
END { flush_entry() }
' "$md" | gzip -9n >"$out"
