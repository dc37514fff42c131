#!/usr/bin/env bash
# Builds the Debian package from the default build, installs it as a technician would,
# checks what it put on the machine, then purges it and checks that nothing of it is left.
# Run as root, after the default build (./test.sh); it leaves the package uninstalled.
set -euo pipefail
cd "$(dirname "$0")/.."

fail() {
    echo "check-package: $*" >&2
    exit 1
}

[ "$(id -u)" -eq 0 ] || fail "installs and removes a package: run it as root"
[ -f build/default/CPackConfig.cmake ] || fail "no default build: run ./test.sh first"

# Whether dpkg knows anything of the package: installed, or its configuration left.
known() {
    local status
    status=$(dpkg-query -W -f='${Status}' lumaret 2>/dev/null || true)
    [ -n "$status" ] && [ "${status##* }" != not-installed ]
}
known && fail "a lumaret package is on this machine already; remove it first" \
    "(apt-get remove --purge lumaret)"

# The package, named the Debian way.
rm -f build/default/lumaret_*.deb
cpack --preset default >/dev/null
shopt -s nullglob
debs=(build/default/lumaret_*.deb)
[ ${#debs[@]} -eq 1 ] || fail "expected one package in build/default, found ${#debs[@]}"
deb=${debs[0]}
version=$(dpkg-deb -f "$deb" Version)
arch=$(dpkg --print-architecture)
[ "$(basename "$deb")" = "lumaret_${version}_${arch}.deb" ] || fail "unexpected file name $deb"
[ "$(dpkg-deb -f "$deb" Package)" = lumaret ] || fail "the package is not named lumaret"
# Depends comes from the programs' shared libraries.
dpkg-deb -f "$deb" Depends | grep -q 'libqt6widgets6' || fail "Depends lacks the Qt libraries"

# From here on the package is on the machine: take it off again whatever happens.
installed=0
cleanup() {
    if [ "$installed" = 1 ]; then
        DEBIAN_FRONTEND=noninteractive apt-get remove --purge -y -qq lumaret >/dev/null 2>&1 || true
    fi
}
trap cleanup EXIT

# --path-include keeps the manual pages where dpkg is set to drop documentation.
installed=1
DEBIAN_FRONTEND=noninteractive apt-get install -y -qq \
    -o 'Dpkg::Options::=--path-include=/usr/share/man/man1/lumaret*' "./$deb" >/dev/null
files=$(dpkg -L lumaret)
has() { grep -qx "$1" <<<"$files"; }

# The programs, from /usr/bin.
/usr/bin/lumaret-sim --help | grep -q -- '--port COMn' || fail "lumaret-sim --help"
has /usr/bin/lumaret || fail "the package lacks /usr/bin/lumaret"
pages=(lumaret lumaret-sim)
if has /usr/bin/lumaret-cli; then
    /usr/bin/lumaret-cli --version 2>&1 | grep -qF "$version" || fail "lumaret-cli --version"
    pages+=(lumaret-cli)
fi

# lumaret-cli's shell completion, where bash-completion and zsh load it from.
for completion in /usr/share/bash-completion/completions/lumaret-cli \
    /usr/share/zsh/vendor-completions/_lumaret-cli; do
    has "$completion" || fail "the package lacks $completion"
done
bash -c 'source /usr/share/bash-completion/completions/lumaret-cli && complete -p lumaret-cli' \
    >/dev/null || fail "the installed bash completion does not register for lumaret-cli"

# The icon, where the hicolor theme has its sizes.
index=/usr/share/icons/hicolor/index.theme
[ -f "$index" ] || fail "no hicolor theme index at $index"
for size in 16 24 32 48 64 128 256; do
    icon=/usr/share/icons/hicolor/${size}x${size}/apps/lumaret.png
    file -b "$icon" | grep -q "PNG image data, $size x $size" || fail "no $size px icon at $icon"
    grep -qx "\[${size}x${size}/apps\]" "$index" || fail "hicolor has no ${size}x${size}/apps"
done
file -b /usr/share/icons/hicolor/scalable/apps/lumaret.svg | grep -q 'SVG' ||
    fail "no scalable icon"
grep -qx 'Icon=lumaret' /usr/share/applications/lumaret.desktop ||
    fail "the desktop entry does not name the icon by its theme name"

# The manual pages, found by man and free of warnings.
installed_pages=()
for page in "${pages[@]}"; do
    path=/usr/share/man/man1/$page.1.gz
    man -aw "$page" 2>/dev/null | grep -qx "$path" || fail "man does not find $page(1) at $path"
    installed_pages+=("$path")
done
scripts/lint-man.sh "${installed_pages[@]}" || fail "the manual pages render with warnings"

# The installed desktop entry and metainfo, as desktops and software centres read them.
desktop-file-validate /usr/share/applications/lumaret.desktop ||
    fail "desktop-file-validate finds faults in the installed desktop entry"
metainfo=$(grep -x '/usr/share/metainfo/.*\.metainfo\.xml' <<<"$files") ||
    fail "the package has no metainfo"
report=$(appstreamcli validate --no-net "$metainfo" 2>&1) ||
    fail "appstreamcli validate finds faults in $metainfo:"$'\n'"$report"

# Purged, nothing of it is left: no file, and no folder that only it had made.
DEBIAN_FRONTEND=noninteractive apt-get remove --purge -y -qq lumaret >/dev/null
installed=0
known && fail "dpkg still knows lumaret after the purge"
left=()
while IFS= read -r path; do
    [ "$path" = /. ] && continue
    if [ -d "$path" ] && [ ! -L "$path" ]; then
        # A folder stays when it holds others' files or another package owns it.
        if [ -z "$(ls -A "$path")" ] && ! dpkg-query -S "$path" >/dev/null 2>&1; then
            left+=("$path/")
        fi
    elif [ -e "$path" ] || [ -L "$path" ]; then
        left+=("$path")
    fi
done <<<"$files"
[ ${#left[@]} -eq 0 ] || fail "left after the purge: ${left[*]}"

echo "check-package: $(basename "$deb") installs, works from /usr/bin, purges clean" \
    "(${#pages[@]} manual pages, icon at 7 sizes and scalable, bash and zsh completion)"
