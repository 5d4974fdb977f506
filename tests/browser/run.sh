#!/usr/bin/env bash
# The browser test: a demo site on lighttpd, loaded in headless Chromium.
#   tests/browser/run.sh BUILD_DIR
set -euo pipefail
source "$(dirname "$0")/../../scripts/lib/common.sh"
export OSTREL_BUILD_DIR=$1
source "$OSTREL_ROOT/scripts/lib/site.sh"

site="$OSTREL_BUILD_DIR/browser-site"
make_site "$site"
port=$(free_port)
write_lighttpd_conf "$site" "$port"
lighttpd -D -f "$site/lighttpd.conf" &
server=$!
trap 'kill "$server" 2>/dev/null || true; wait "$server" 2>/dev/null || true' EXIT
wait_for_port "$port"

node "$OSTREL_ROOT/tests/browser/demo_page.mjs" "http://127.0.0.1:$port/" \
  "$OSTREL_BUILD_DIR/demo-page.png"
# Files only: the web server's user may keep a private directory there.
# The conversion slots' lock files stay, empty, for the next request.
leftovers=$(find "$site/tmp" -mindepth 1 ! -type d ! -name '.slot-*.lock')
if [ -n "$leftovers" ]; then
  echo "FAIL: temporary files left behind: $leftovers" >&2
  exit 1
fi
