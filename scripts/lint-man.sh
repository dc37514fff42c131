#!/bin/sh
# Renders each manual page as man would and fails on any warning from man or groff
# (bad macros, lines that do not fit, unknown escapes). Usage: lint-man.sh PAGE...
status=0
for page in "$@"; do
    warnings=$(LC_ALL=C.UTF-8 MANROFFSEQ='' MANWIDTH=80 \
        man --warnings -E UTF-8 -l -Tutf8 -Z "$page" 2>&1 >/dev/null)
    if [ -n "$warnings" ]; then
        printf '%s:\n%s\n' "$page" "$warnings" >&2
        status=1
    elif [ ! -s "$page" ]; then
        echo "$page: empty" >&2
        status=1
    fi
done
exit $status
