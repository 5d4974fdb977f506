# Shared by the scripts: the repository root and installing Debian packages.
# Sourced, not run.

OSTREL_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)

# What building and testing the program and the converter needs.
OSTREL_BUILD_PACKAGES=(
  g++ cmake ninja-build pkg-config
  libgtest-dev libgmock-dev
  libtiff-dev libgif-dev libjpeg-dev libpng-dev
  libbenchmark-dev
  clang-format
)

# The tools the benchmarks compare the converter with, /usr/bin/time, numpy
# for the reference pictures of reduced pages, lighttpd and the libraries of
# the tile server the tile benchmark runs (see scripts/bench).
OSTREL_BENCH_PACKAGES=(
  imagemagick graphicsmagick libvips-tools python3-pil python3-numpy time
  lighttpd libfcgi0ldbl libmemcached11 libopenjp2-7
)

# clang with libFuzzer and the sanitizers' runtimes, for scripts/fuzz.
OSTREL_FUZZ_PACKAGES=(clang-14 libclang-rt-14-dev)

# What scripts/package builds the Debian package with.
OSTREL_PACKAGE_PACKAGES=(debhelper dpkg-dev fakeroot lintian cmake ninja-build g++ libtiff-dev
  libjpeg-dev libpng-dev)

# The web servers of the integration tests and the demo, the shared cache in
# front of them (the cache test and scripts/load --cached), and the browser.
OSTREL_SERVER_PACKAGES=(lighttpd apache2 nginx fcgiwrap varnish)
OSTREL_BROWSER_PACKAGES=(chromium fonts-dejavu-core)

as_root() {
  if [ "$(id -u)" -eq 0 ]; then
    "$@"
  else
    sudo "$@"
  fi
}

# Installs whichever of the given Debian packages are missing; refreshes the
# package lists first, once per run of a script. Installed services are not
# started: the tests start their own servers on free ports, and two web
# servers would otherwise fight over port 80.
ensure_packages() {
  local missing=() package
  for package in "$@"; do
    if [ "$(dpkg-query -W -f='${Status}' "$package" 2>/dev/null)" != "install ok installed" ]; then
      missing+=("$package")
    fi
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "installing: ${missing[*]}" >&2
  if [ -z "${OSTREL_APT_UPDATED:-}" ]; then
    as_root env DEBIAN_FRONTEND=noninteractive apt-get update -qq </dev/null
    OSTREL_APT_UPDATED=1
  fi
  local policy=/usr/sbin/policy-rc.d
  if [ -e "$policy" ]; then
    as_root env DEBIAN_FRONTEND=noninteractive \
      apt-get install -y -qq --no-install-recommends "${missing[@]}" </dev/null >/dev/null
    return
  fi
  # The subshell's trap removes the policy file however the install ends,
  # interrupted included: left behind, it would keep every later package
  # install on this machine from starting its services.
  (
    trap 'as_root rm -f "$policy"' EXIT
    trap 'exit 129' HUP
    trap 'exit 130' INT
    trap 'exit 143' TERM
    printf '#!/bin/sh\nexit 101\n' | as_root tee "$policy" >/dev/null
    as_root chmod 755 "$policy"
    as_root env DEBIAN_FRONTEND=noninteractive \
      apt-get install -y -qq --no-install-recommends "${missing[@]}" </dev/null >/dev/null
  )
}

# Installs DIR's locked npm packages (npm ci checks each one's integrity
# hash) unless node_modules is already up to date with the lock file.
npm_ci_once() {
  local dir=$1
  command -v node >/dev/null || ensure_packages nodejs
  command -v npm >/dev/null || ensure_packages npm
  if [ ! -f "$dir/node_modules/.package-lock.json" ] ||
    [ "$dir/package-lock.json" -nt "$dir/node_modules/.package-lock.json" ]; then
    (cd "$dir" && npm ci --no-audit --no-fund --loglevel=error)
  fi
}

# The demo viewer's library, OpenSeadragon, at the version scripts/viewer pins.
ensure_viewer_library() {
  npm_ci_once "$OSTREL_ROOT/scripts/viewer"
}

# Chromium, Node.js and the browser test's locked npm packages, and the
# viewer it loads.
ensure_browser_test_tools() {
  ensure_packages "${OSTREL_BROWSER_PACKAGES[@]}"
  npm_ci_once "$OSTREL_ROOT/tests/browser"
  ensure_viewer_library
}

# Fails, naming them, when C++ sources of the tree differ from what
# clang-format makes of them with the tree's .clang-format.
check_format() {
  local files
  mapfile -t files < <(cd "$OSTREL_ROOT" && find bench cgi conversion converter helpers platform \
    shell tests -name node_modules -prune -o -type f \( -name '*.cc' -o -name '*.h' \) -print |
    sort)
  (cd "$OSTREL_ROOT" && clang-format --dry-run --Werror "${files[@]}")
}

# Fails, naming the include, when a folder of the program includes one above
# it: shell/ stands on conversion/, which stands on cgi/, then helpers/, then
# platform/; the converter stands on platform/ alone.
check_layers() {
  local -A allowed=(
    [shell]="shell iiif conversion cgi helpers platform"
    [iiif]="iiif conversion cgi helpers platform"
    [conversion]="conversion cgi helpers platform"
    [cgi]="cgi helpers platform"
    [helpers]="helpers platform"
    [platform]="platform"
    [converter]="converter platform"
  )
  local folder line target status=0
  for folder in "${!allowed[@]}"; do
    while IFS= read -r line; do
      target=${line#*#include \"}
      target=${target%%/*}
      if [[ " ${allowed[$folder]} " != *" $target "* ]]; then
        echo "$line: $folder/ must not include $target/" >&2
        status=1
      fi
    done < <(cd "$OSTREL_ROOT" && grep -rn '^#include "' "$folder" --include='*.cc' --include='*.h')
  done
  return $status
}

# Configures and builds into DIR with extra CMake arguments.
build_tree() {
  local dir=$1
  shift
  cmake -S "$OSTREL_ROOT" -B "$dir" -G Ninja "$@" >/dev/null
  cmake --build "$dir"
}
