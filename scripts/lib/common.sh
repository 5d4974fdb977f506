# Shared by the scripts: the repository root and installing Debian packages.
# Sourced, not run.

OSTREL_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)

# What building and testing the program and the converter needs.
OSTREL_BUILD_PACKAGES=(
  g++ cmake ninja-build pkg-config
  libgtest-dev libgmock-dev
  libtiff-dev libgif-dev
)

# Installs whichever of the given Debian packages are missing; refreshes the
# package lists first, once per run of a script.
ensure_packages() {
  local missing=() package
  for package in "$@"; do
    if [ "$(dpkg-query -W -f='${Status}' "$package" 2>/dev/null)" != "install ok installed" ]; then
      missing+=("$package")
    fi
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  local sudo=()
  if [ "$(id -u)" -ne 0 ]; then
    sudo=(sudo)
  fi
  echo "installing: ${missing[*]}" >&2
  if [ -z "${OSTREL_APT_UPDATED:-}" ]; then
    "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -qq </dev/null
    OSTREL_APT_UPDATED=1
  fi
  "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive \
    apt-get install -y -qq --no-install-recommends "${missing[@]}" </dev/null >/dev/null
}

# Configures and builds into DIR with extra CMake arguments.
build_tree() {
  local dir=$1
  shift
  cmake -S "$OSTREL_ROOT" -B "$dir" -G Ninja "$@" >/dev/null
  cmake --build "$dir"
}
