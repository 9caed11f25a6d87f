#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Every file of ours that can carry a comment names its licence in one SPDX line at its top:
#
#   SPDX-License-Identifier: Apache-2.0
#
# The rule, by kind of file (the comment form of each, and where the line goes):
#   C++ (.cpp .h), polkit rules (.rules)            // ...           first line
#   shell scripts, maintainer scripts and any other
#     file starting with "#!"                        # ...            second line, after "#!"
#   CMake (CMakeLists.txt .cmake), shell fragments,
#     systemd units, desktop entries, .clang-format,
#     .gitignore, sanitizer suppressions (.supp)    # ...            first line
#   man pages (.1 to .9)                             .\" ...          first line
#   CSS                                              /* ... */        first line
#   HTML, Markdown, Qt resources (.qrc)              <!-- ... -->     first line
#   SVG and other XML opening with "<?xml"           <!-- ... -->     second line
# Left out, because they cannot hold a comment or are not ours to mark: LICENSE itself,
# pictures (.png), dpkg's conffiles lists (every line is a path), the packages' copyright file
# (machine-readable, it names the licence in its own fields), and .ci/ (run by the machine
# that tests this repository, not part of what we ship or build).
# A file of any other kind fails the check until its kind gets a rule here.
#
#   check-spdx.sh          lists the files without the line; fails if there are any
#   check-spdx.sh --fix    adds the line where it is missing (running it again changes nothing)
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root" || exit 1
id="SPDX-License-Identifier: Apache-2.0"
fix=0
[ "${1:-}" = --fix ] && fix=1

if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
    mapfile -t files < <(git ls-files)
else
    mapfile -t files < <(find . -type f -not -path './.git/*' -not -path './build*' -not -path './dist/*' | sed 's|^\./||' | sort)
fi

# Sets "comment" to the line a file needs, "skip", or nothing for a kind without a rule, and
# "n" to the line it belongs on: after a "#!" or an XML declaration, else the first. Plain
# shell without a process a file, so the whole tree is checked in a moment.
classify() {
    local f=$1 base=${1##*/} l1=""
    comment="" n=1
    case "$f" in
    LICENSE | .ci/* | *.png | */conffiles | packaging/debian/copyright) comment=skip; return ;;
    esac
    IFS= read -r l1 <"$f" || true
    case "$l1" in
    '#!'*) comment="# $id" n=2; return ;;
    '<?xml'*) n=2 ;;
    esac
    case "$base" in
    *.cpp | *.h | *.js | *.rules) comment="// $id" ;;
    CMakeLists.txt | *.cmake | *.service | *.desktop | .clang-format | .gitignore | *.supp | *.sh)
        comment="# $id" ;;
    60vantirokit-agent) comment="# $id" ;; # sourced by /etc/X11/Xsession, so no "#!"
    *.[1-9]) comment=".\\\" $id" ;;
    *.css) comment="/* $id */" ;;
    *.html | *.md | *.qrc | *.svg | *.xml) comment="<!-- $id -->" ;;
    esac
}

bad=0
for f in "${files[@]}"; do
    [ -f "$f" ] || continue
    classify "$f"
    [ "$comment" = skip ] && continue
    if [ -z "$comment" ]; then
        echo "no SPDX rule for this kind of file: $f (give it one in tools/check-spdx.sh)"
        bad=1
        continue
    fi
    l1="" l2=""
    { IFS= read -r l1 || true; IFS= read -r l2 || true; } <"$f"
    if [ "$n" = 2 ]; then have=$l2; else have=$l1; fi
    [ "$have" = "$comment" ] && continue
    if [ $fix = 1 ]; then
        tmp="$f.spdx-tmp"
        if [ "$n" = 2 ]; then
            { head -n 1 "$f"; printf '%s\n' "$comment"; tail -n +2 "$f"; } >"$tmp"
        else
            { printf '%s\n' "$comment"; cat "$f"; } >"$tmp"
        fi
        # A new file in the old one's place, with its mode: an executable script stays
        # executable, and this script, rewritten while it runs, reads on from its old copy.
        chmod --reference="$f" "$tmp"
        mv "$tmp" "$f"
        echo "added: $f"
    else
        echo "no SPDX line ($comment on line $n): $f"
        bad=1
    fi
done
[ $bad = 0 ] || echo "run tools/check-spdx.sh --fix to add the missing lines"
exit $bad
