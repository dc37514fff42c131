# Debian packages that building and testing Lumaret needs: the one list.
# Sourced by run.sh and test.sh; installs only what is missing.
LUMARET_PACKAGES=(
  cmake ninja-build g++ pkg-config
  libgtest-dev libgmock-dev
  qt6-base-dev qt6-qpa-plugins qt6-svg-dev
  clang libclang-rt-14-dev clang-format clang-tidy
  xvfb x11vnc xauth x11-utils iproute2
  scdoc man-db hicolor-icon-theme desktop-file-utils appstream
  dpkg-dev file zsh
  nlohmann-json3-dev libudev-dev
  libgensio-dev ser2net libgit2-dev
)

lumaret_missing_packages() {
  local p missing=()
  for p in "${LUMARET_PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  echo "${missing[@]}"
}

lumaret_ensure_packages() {
  local missing
  missing=$(lumaret_missing_packages)
  [ -z "$missing" ] && return 0
  echo "Lumaret needs these Debian packages: $missing"
  if [ "$(id -u)" -ne 0 ]; then
    echo "Not running as root: install them with" >&2
    echo "  sudo apt-get update && sudo apt-get install -y $missing" >&2
    return 1
  fi
  apt-get update -qq || return 1
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq $missing >/dev/null || return 1
}

# Configure and build one preset, quietly on success.
lumaret_build() {
  local preset=$1; shift
  local werror=OFF
  [ "${CI:-}" = "true" ] && werror=ON
  cmake --preset "$preset" -DLUMARET_WERROR=$werror "$@" >/dev/null || return 1
  cmake --build --preset "$preset" || return 1
}
