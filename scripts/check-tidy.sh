#!/usr/bin/env bash
# clang-tidy with the root .clang-tidy over every tracked .cpp under src/,
# sim/, bench/ and examples/ (or only the files named), and over the project's
# headers they include. It reads the default build's compile_commands.json,
# so build the default preset first. Prints the findings and exits 1 on any.
# A full run takes about three minutes with two files at once on two cores.
#   scripts/check-tidy.sh [-j JOBS] [FILE...]     JOBS files at once, 2 unless told
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd -P)
jobs=2
if [ "${1:-}" = "-j" ] && [ -n "${2:-}" ]; then
    jobs=$2
    shift 2
fi
files=()
for f in "$@"; do
    files+=("$(realpath -m --relative-to="$root" -- "$f")")
done
cd "$root" || exit 2
if [ ${#files[@]} -eq 0 ]; then
    mapfile -d '' files < <(git ls-files -z -- 'src/*.cpp' 'sim/*.cpp' 'testbed/*.cpp' 'bench/*.cpp' 'examples/*.cpp')
fi
db=build/default/compile_commands.json
if [ ! -f "$db" ]; then
    echo "check-tidy: $db is missing; build the default preset first" >&2
    exit 2
fi

# Findings in the project's headers count, and only those: the filter is
# anchored at this checkout, so a checkout under a folder named src/ does not
# let the build's or the system's headers in.
escaped_root=$(printf '%s' "$root" | sed 's/[][\.*^$+?(){}|]/\\&/g')
header_filter="^$escaped_root/(src|sim|bench|examples)/"

out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT

# One file: its findings in $out/N.txt, and N.failed when it has any. The
# compiler's counts of generated and suppressed warnings are left out.
tidy_one() {
    local n=$1 file=$2 err
    err=$(clang-tidy -p build/default --quiet --header-filter="$header_filter" "$file" \
          2>&1 >"$out/$n.txt") || touch "$out/$n.failed"
    printf '%s\n' "$err" |
        grep -vE '^[0-9]+ (warning|error)s?( and [0-9]+ errors?)? (generated|treated as errors)\.?$|^$' \
            >>"$out/$n.txt"
}
export -f tidy_one
export out header_filter

# A file the build does not compile cannot be checked: say so, and fail.
status=0
checked=()
for i in "${!files[@]}"; do
    if grep -qF "\"file\": \"$root/${files[$i]}\"" "$db"; then
        checked+=("$i")
    else
        echo "not in $db, so not checked: ${files[$i]}"
        status=1
    fi
done
for i in "${checked[@]}"; do
    printf '%s\0%s\0' "$i" "${files[$i]}"
done | xargs -0 -r -n 2 -P "$jobs" bash -c 'tidy_one "$1" "$2"' tidy_one

for i in "${checked[@]}"; do
    if [ -s "$out/$i.txt" ]; then
        cat "$out/$i.txt"
    fi
done
failed=$(find "$out" -name '*.failed' | wc -l)
if [ "$failed" -ne 0 ]; then
    echo "clang-tidy: findings in $failed of ${#checked[@]} files"
    status=1
fi
exit $status
