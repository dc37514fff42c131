#!/usr/bin/env bash
# The house style, checked on every tracked C++ file: the layout by
# clang-format, and braces around every statement. The braces are looked for
# quickly (a control line that clang-format left ending in ")" or a bare
# "else" has its statement unbraced below it); with --tidy, clang-tidy's
# readability-braces-around-statements alone checks them thoroughly in every
# folder (it needs the default build's compile_commands.json and takes
# minutes). scripts/check-tidy.sh runs the rest of .clang-tidy's checks.
set -uo pipefail
cd "$(dirname "$0")/.."
status=0
# One run over every file; it names each file that differs.
misformatted=$(git ls-files -z '*.cpp' '*.h' | xargs -0 clang-format --dry-run -Werror 2>&1 |
               grep -oE '^[^:]+\.(cpp|h):' | sort -u | sed 's/:$//' || true)
if [ -n "$misformatted" ]; then
    echo "$misformatted" | sed 's/^/format: /'
    status=1
fi
unbraced=$(git ls-files '*.cpp' '*.h' |
           xargs grep -nE '^\s*((\} )?else )?(if|for|while) \(.*\)$|^\s*(\} )?else$' || true)
if [ -n "$unbraced" ]; then
    echo "braces missing:"
    echo "$unbraced"
    status=1
fi
if [ "${1:-}" = "--tidy" ]; then
    for f in $(git ls-files '*.cpp'); do
        grep -q "\"file\": \"$PWD/$f\"" build/default/compile_commands.json || continue
        clang-tidy -p build/default --quiet --checks='-*,readability-braces-around-statements' \
            "$f" >/dev/null 2>&1 || { echo "braces: $f"; status=1; }
    done
fi
exit $status
