# The deployment checks of scripts/test and the Debian package of
# scripts/package. Sourced after common.sh, not run.

# The version in the project() call of CMakeLists.txt, the one place that
# names it.
ostrel_version() {
  sed -n 's/^project(Ostrel VERSION \([0-9.]*\) .*/\1/p' "$OSTREL_ROOT/CMakeLists.txt"
}

# Copies the tree as git sees it (tracked files and new files that are not
# ignored, as they are now in the working tree) into DIR: no build
# directories, nothing generated.
copy_clean_tree() {
  local dir=$1
  mkdir -p "$dir"
  (cd "$OSTREL_ROOT" && git ls-files -z --cached --others --exclude-standard |
    xargs -0 cp --parents -d -t "$dir" 2>/dev/null) || true
  [ -f "$dir/CMakeLists.txt" ] || {
    echo "copy_clean_tree: nothing copied into $dir" >&2
    return 1
  }
  # A file deleted in the working tree but still tracked is not copied.
  return 0
}

# The shell block of the README's "Deploying" section, as written.
readme_deploy_commands() {
  awk '/^## Deploying/ { section = 1; next }
       section && /^## / { exit }
       section && /^```sh$/ { block = 1; next }
       block && /^```$/ { exit }
       block { print }' "$OSTREL_ROOT/README.md"
}

# A scanned page in CCITT Group 4, generated: make_corpus writes
# scanned-letter.tif into DIR.
make_sample_page() {
  local dir=$1
  "$OSTREL_ROOT/build/bench/make_corpus" samples "$dir" >/dev/null
  [ -f "$dir/scanned-letter.tif" ]
}

# The response a request for SOURCE must get: the GIF header, then the GIF
# that CONVERTER writes for it when run directly.
expected_gif_response() {
  local converter=$1 source=$2 gif=$3 response=$4
  "$converter" ConvertImage "source=$source, dest=$gif" >/dev/null
  {
    printf 'HTTP/1.0 200 OK\r\nContent-Type:image/gif\r\n\r\n'
    cat "$gif"
  } >"$response"
}

# Runs the README's deployment commands verbatim, only with its install
# directory and /var moved into a scratch directory laid out as the real ones
# are (/var/lib writable by root alone, /var/tmp by anyone, sticky), from a
# clean copy of the tree. Before they run, another
# user tries to plant a link at the TempDir's name, or at any directory on
# the way to it that is still missing: the commands must not follow one, so
# the TempDir ends up a directory of the web server's user in a directory
# only root can write. Then the installed program answers one request as a
# web server would run it, with the exact GIF the installed converter writes.
check_readme_deployment() (
  set -euo pipefail
  local scratch commands
  scratch=$(mktemp -d)
  # shellcheck disable=SC2064  # expanded now, while $scratch is set
  trap "as_root rm -rf '$scratch'" EXIT
  chmod 755 "$scratch"
  commands=$(readme_deploy_commands)
  if ! grep -qF /opt/ostrel <<<"$commands"; then
    echo "check_readme_deployment: the README's commands no longer name /opt/ostrel" >&2
    return 1
  fi
  commands=${commands//\/opt\/ostrel/$scratch/opt/ostrel}
  commands=${commands//\/var\//$scratch/var/}
  local temp_dir
  temp_dir=$(grep -o "TempDir=$scratch/[^|]*" <<<"$commands" | head -1 | cut -d= -f2-)
  temp_dir=${temp_dir%/}
  if [ -z "$temp_dir" ]; then
    echo "check_readme_deployment: the README's commands set no TempDir below $scratch" >&2
    return 1
  fi
  copy_clean_tree "$scratch/source"
  local path
  as_root install -d -m 0755 "$scratch/var" "$scratch/var/lib"
  as_root install -d -m 1777 "$scratch/var/tmp"

  local victim=$scratch/victim missing=()
  as_root install -d -m 0755 "$victim"
  path=$temp_dir
  while [ "$path" != "$scratch" ] && [ ! -e "$path" ] && [ ! -L "$path" ]; do
    missing=("$path" "${missing[@]}")
    path=$(dirname "$path")
  done
  for path in "${missing[@]}"; do
    if as_root runuser -u nobody -- ln -s "$victim" "$path" 2>/dev/null; then
      echo "another user planted $path -> $victim" >&2
      break
    fi
  done

  echo "the README's deployment commands, in $scratch:" >&2
  (cd "$scratch/source" && as_root bash -euxo pipefail -c "$commands")

  if [ "$(stat -c '%U %a' "$victim")" != "root 755" ] || [ -L "$temp_dir" ] ||
    [ "$(as_root stat -c '%U %a' "$temp_dir")" != "www-data 700" ] ||
    [ "$(stat -c %U "$(dirname "$temp_dir")")" != root ] ||
    (($(stat -c '0%a' "$(dirname "$temp_dir")") & 022)); then
    echo "check_readme_deployment: the TempDir is not the web server's user's own in a" \
      "directory only root can write, or a planted link handed another directory over:" >&2
    ls -la "$scratch" "$(dirname "$temp_dir")" "$victim" >&2 || true
    return 1
  fi

  local prefix=$scratch/opt/ostrel images=$scratch/images
  mkdir -p "$images"
  make_sample_page "$images"
  chmod -R a+rX "$images"
  expected_gif_response "$prefix/Caskle.ClsCaskle" "$images/scanned-letter.tif" \
    "$scratch/expected.gif" "$scratch/expected"
  as_root runuser -u www-data -- env -i GATEWAY_INTERFACE=CGI/1.1 REQUEST_METHOD=GET \
    SCRIPT_NAME=/cgi-bin/ostrel "QUERY_STRING=FN=scanned-letter&Path=$images/" \
    "$prefix/ostrel" </dev/null >"$scratch/response"
  if ! cmp "$scratch/expected" "$scratch/response"; then
    echo "check_readme_deployment: the installed tree's response differs" >&2
    head -c 600 "$scratch/response" >&2
    return 1
  fi
  # The conversion slots' lock files stay, empty, for the next request.
  if [ -n "$(as_root find "$temp_dir" -mindepth 1 ! -name '.slot-*.lock')" ]; then
    echo "check_readme_deployment: the request left files in the TempDir" >&2
    return 1
  fi
  echo "the README's deployment works: one request answered with the exact GIF" >&2
)

# Builds ostrel_<version>_<arch>.deb into OUT_DIR from a clean copy of the
# tree, with debhelper (packaging/debian becomes debian/), and prints its
# path.
build_package() (
  set -euo pipefail
  local out_dir=$1 version arch scratch date
  version=$(ostrel_version)
  arch=$(dpkg --print-architecture)
  scratch=$(mktemp -d)
  # shellcheck disable=SC2064
  trap "rm -rf '$scratch'" EXIT
  local source="$scratch/ostrel-$version"
  copy_clean_tree "$source"
  cp -r "$source/packaging/debian" "$source/debian"
  # The changelog carries the version dpkg reads; dated by the last commit,
  # so that the same tree builds the same package.
  date=$(cd "$OSTREL_ROOT" && git log -1 --format=%aD 2>/dev/null || date -R)
  cat >"$source/debian/changelog" <<CHANGELOG
ostrel ($version) unstable; urgency=medium

  * Ostrel $version.

 -- Ostrel maintainers <ostrel@example.org>  $date
CHANGELOG
  (cd "$source" && dpkg-buildpackage -b -us -uc >"$scratch/build.log" 2>&1) || {
    tail -40 "$scratch/build.log" >&2
    return 1
  }
  mkdir -p "$out_dir"
  cp "$scratch/ostrel_${version}_${arch}.deb" "$out_dir/"
  echo "$out_dir/ostrel_${version}_${arch}.deb"
)

# What the package puts on the machine, links included.
OSTREL_PACKAGE_PATHS=(
  /usr/lib/ostrel /etc/ostrel /var/lib/ostrel /usr/share/doc/ostrel
  /usr/lib/cgi-bin/ostrel /usr/lib/cgi-bin/nph-ostrel
)

# Installs DEB with apt, has the stock Apache configuration with CGI enabled
# serve a generated G4 page in /srv/ostrel, the image directory the package
# admits, through /cgi-bin/nph-ostrel, checks the exact bytes and that a copy
# of the page elsewhere is refused, then purges the package and checks that
# nothing of it is left and the images are. Apache runs from the stock /etc/apache2 files, started with its
# own top-level file that replaces ports.conf by a free loopback port and
# loads cgid as `a2enmod cgid` would; nothing in /etc is changed, and
# the package is purged and Apache stopped however the check ends.
check_package_install() (
  set -euo pipefail
  local deb=$1 scratch port apache_pid="" images="" srv_made=""
  if dpkg-query -W -f='${Status}' ostrel 2>/dev/null | grep -q 'ok installed'; then
    echo "check_package_install: ostrel is installed already; not touching it" >&2
    return 1
  fi
  scratch=$(mktemp -d)
  chmod 755 "$scratch"
  cleanup() {
    if [ -n "$apache_pid" ]; then
      as_root kill -TERM "$apache_pid" 2>/dev/null || true
      local i
      for ((i = 0; i < 100; i++)); do
        as_root kill -0 "$apache_pid" 2>/dev/null || break
        sleep 0.1
      done
    fi
    if dpkg-query -W ostrel >/dev/null 2>&1; then
      as_root env DEBIAN_FRONTEND=noninteractive apt-get purge -y -qq \
        -o DPkg::Lock::Timeout=300 ostrel </dev/null >/dev/null 2>&1 || true
    fi
    as_root rm -rf "$scratch"
    if [ -n "$images" ]; then
      as_root rm -rf "$images"
    fi
    if [ -n "$srv_made" ] && [ -d /srv/ostrel ]; then
      as_root rmdir --ignore-fail-on-non-empty /srv/ostrel
    fi
  }
  trap cleanup EXIT
  [ -e /srv/ostrel ] || srv_made=1

  echo "installing $deb" >&2
  as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
    -o DPkg::Lock::Timeout=300 "$(realpath "$deb")" </dev/null >"$scratch/apt.log"
  [ "$(as_root stat -c '%U %G %a' /var/lib/ostrel/tmp)" = "www-data www-data 700" ]
  [ "$(readlink /usr/lib/ostrel/Varnow.ini)" = /etc/ostrel/Varnow.ini ]
  grep -qx 'TempDir=/var/lib/ostrel/tmp/' /etc/ostrel/Varnow.ini
  grep -qx '/etc/ostrel/Varnow.ini' /var/lib/dpkg/info/ostrel.conffiles
  grep -qx 'AllowedImageDirectories=/srv/ostrel/' /etc/ostrel/Varnow.ini
  [ "$(stat -c '%U %G %a' /srv/ostrel)" = "root root 755" ]

  # The sample where the package's configuration admits it, and a copy
  # anywhere else, which it must not.
  images=$(as_root mktemp -d /srv/ostrel/package-test.XXXXXX)
  local elsewhere=$scratch/images
  mkdir -p "$elsewhere"
  make_sample_page "$elsewhere"
  as_root cp "$elsewhere/scanned-letter.tif" "$images/"
  as_root chmod -R a+rX "$images" "$elsewhere"
  expected_gif_response /usr/lib/ostrel/Caskle.ClsCaskle "$images/scanned-letter.tif" \
    "$scratch/expected.gif" "$scratch/expected"

  port=$(/usr/bin/python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
  mkdir -p "$scratch/apache"/{run/socks,lock,log}
  local cgid=""
  [ -e /etc/apache2/mods-enabled/cgid.load ] ||
    cgid='Include mods-available/cgid.load\nInclude mods-available/cgid.conf'
  sed -e "s|^Include ports.conf|Listen 127.0.0.1:$port|" \
    -e "s|^IncludeOptional mods-enabled/\*.conf|&\n$cgid|" \
    /etc/apache2/apache2.conf >"$scratch/apache/apache2.conf"
  grep -q "^Listen 127.0.0.1:$port" "$scratch/apache/apache2.conf"
  local apache_env=(APACHE_RUN_USER=www-data APACHE_RUN_GROUP=www-data
    "APACHE_PID_FILE=$scratch/apache/run/apache2.pid" "APACHE_RUN_DIR=$scratch/apache/run"
    "APACHE_LOCK_DIR=$scratch/apache/lock" "APACHE_LOG_DIR=$scratch/apache/log" LANG=C)
  as_root env -i "${apache_env[@]}" /usr/sbin/apache2 -d /etc/apache2 \
    -f "$scratch/apache/apache2.conf" -k start
  local i
  for ((i = 0; i < 100; i++)); do
    apache_pid=$(cat "$scratch/apache/run/apache2.pid" 2>/dev/null || true)
    [ -n "$apache_pid" ] && break
    sleep 0.1
  done
  [ -n "$apache_pid" ] || {
    echo "check_package_install: Apache did not start" >&2
    cat "$scratch/apache/log/error.log" >&2 || true
    return 1
  }

  fetch() {
    local query=$1 response=$2
    for ((i = 0; i < 50; i++)); do
      if timeout 30 bash -c 'exec 3<>"/dev/tcp/127.0.0.1/$1" &&
          printf "GET /cgi-bin/nph-ostrel?%s HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\n" "$2" >&3 &&
          cat <&3' _ "$port" "$query" >"$response" 2>/dev/null; then
        return 0
      fi
      sleep 0.1
    done
  }
  fetch "FN=scanned-letter&Path=$elsewhere/" "$scratch/refused"
  if ! grep -q 'is not in an allowed image directory Error Number =  5' "$scratch/refused"; then
    echo "check_package_install: a page outside /srv/ostrel was not refused" >&2
    head -c 600 "$scratch/refused" >&2
    return 1
  fi
  fetch "FN=scanned-letter&Path=$images/" "$scratch/response"
  if ! cmp "$scratch/expected" "$scratch/response"; then
    echo "check_package_install: /cgi-bin/nph-ostrel answered otherwise" >&2
    head -c 600 "$scratch/response" >&2
    as_root cat "$scratch/apache/log/error.log" >&2 || true
    return 1
  fi
  if [ -n "$(as_root find /var/lib/ostrel/tmp -mindepth 1 ! -name '.slot-*.lock')" ]; then
    echo "check_package_install: the request left files in /var/lib/ostrel/tmp" >&2
    return 1
  fi
  echo "Apache with the package served the exact GIF at /cgi-bin/nph-ostrel" >&2

  as_root env DEBIAN_FRONTEND=noninteractive apt-get purge -y -qq \
    -o DPkg::Lock::Timeout=300 ostrel </dev/null >/dev/null
  local path left=()
  for path in "${OSTREL_PACKAGE_PATHS[@]}"; do
    if [ -e "$path" ] || [ -L "$path" ]; then
      left+=("$path")
    fi
  done
  if [ ${#left[@]} -gt 0 ] || dpkg-query -W ostrel >/dev/null 2>&1; then
    echo "check_package_install: left after purge: ${left[*]} $(dpkg-query -W ostrel 2>&1)" >&2
    return 1
  fi
  [ -f "$images/scanned-letter.tif" ]
  echo "purged: nothing of the package left, the images in /srv/ostrel still there" >&2
)
