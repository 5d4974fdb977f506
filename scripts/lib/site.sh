# Builds a demo site: the installed tree, generated sample TIFFs, a
# Varnow.ini and the demo page. Shared by scripts/serve and the browser
# test. Sourced, not run; needs common.sh and a built tree in
# $OSTREL_BUILD_DIR (default: build/).

OSTREL_BUILD_DIR=${OSTREL_BUILD_DIR:-$OSTREL_ROOT/build}

# Percent-encodes a query-string value, keeping "/" for readable paths.
url_encode() {
  local text=$1 out="" i character
  for ((i = 0; i < ${#text}; i++)); do
    character=${text:i:1}
    case $character in
      [A-Za-z0-9._~/-]) out+=$character ;;
      *) out+=$(printf '%%%02X' "'$character") ;;
    esac
  done
  printf '%s' "$out"
}

html_escape() {
  local text=$1
  text=${text//&/&amp;}
  text=${text//</&lt;}
  text=${text//>/&gt;}
  text=${text//\"/&quot;}
  printf '%s' "$text"
}

# make_site DIR: DIR/cgi-bin (the installed tree), DIR/images (samples and
# manifest.tsv), DIR/www/index.html, DIR/tmp (the TempDir), DIR/logs.
make_site() {
  local site=$1
  rm -rf "$site"
  mkdir -p "$site"/{images,www,tmp,logs,run}
  cmake --install "$OSTREL_BUILD_DIR" --prefix "$site/cgi-bin" >/dev/null
  "$OSTREL_BUILD_DIR/bench/make_corpus" samples "$site/images"
  cat >"$site/cgi-bin/Varnow.ini" <<INI
; Written by the demo: temporary GIFs go to the site's own directory.
[Converter]
TempDir=$site/tmp/
INI
  # The web server may run the program as another user.
  chmod 1777 "$site/tmp"
  chmod -R a+rX "$site"
  write_demo_page "$site"
}

write_demo_page() {
  local site=$1 images="$site/images/"
  local page="$site/www/index.html" file width height pages kind description
  {
    cat <<'HTML'
<!DOCTYPE html>
<html lang="en">
<head>
<meta charset="utf-8">
<title>Ostrel: TIFF images in the browser</title>
<style>
  body { font-family: sans-serif; margin: 2em auto; max-width: 70em; color: #222; }
  .samples { display: grid; grid-template-columns: repeat(auto-fill, minmax(20em, 1fr)); gap: 1.5em; }
  figure { margin: 0; border: 1px solid #ccc; padding: 0.5em; background: #fafafa; }
  figure img { width: 100%; height: auto; display: block; background: #fff; }
  figcaption { font-size: 0.9em; margin-top: 0.4em; }
  code { background: #eee; padding: 0 0.2em; }
  form { margin: 1.5em 0; padding: 1em; border: 1px solid #ccc; }
  label { margin-right: 1em; }
  input[type=text] { width: 18em; }
</style>
</head>
<body>
<h1>Ostrel: TIFF images in the browser</h1>
<p>Each picture below is a TIFF file on this server. The browser asks
<code>/cgi-bin/ostrel?FN=name&amp;Path=directory</code> for it, and Ostrel
answers with a GIF copy made on the spot.</p>
HTML
    printf '<form action="/cgi-bin/ostrel" method="get">\n'
    printf '<label>FN <input type="text" name="FN" value="scanned-letter"></label>\n'
    printf '<label>Path <input type="text" name="Path" value="%s"></label>\n' "$(html_escape "$images")"
    printf '<button type="submit">Show</button>\n</form>\n<div class="samples">\n'
    while IFS=$'\t' read -r file width height pages kind description; do
      [ "$file" = file ] && continue
      local name=${file%.tif}
      local source="/cgi-bin/ostrel?FN=$(url_encode "$name")&amp;Path=$(url_encode "$images")"
      printf '<figure>\n<img src="%s" alt="%s" data-width="%s" data-height="%s">\n' \
        "$source" "$(html_escape "$description")" "$width" "$height"
      printf '<figcaption><b>%s</b>: %s, %s x %s pixels</figcaption>\n</figure>\n' \
        "$(html_escape "$file")" "$(html_escape "$description")" "$width" "$height"
    done <"$site/images/manifest.tsv"
    printf '</div>\n</body>\n</html>\n'
  } >"$page"
}

# write_lighttpd_conf SITE PORT: a lighttpd server for the site on loopback,
# with Ostrel mounted by the shipped snippet.
write_lighttpd_conf() {
  local site=$1 port=$2
  cat >"$site/lighttpd.conf" <<CONF
server.document-root = "$site/www"
server.bind = "127.0.0.1"
server.port = $port
server.errorlog = "$site/logs/lighttpd-error.log"
server.breakagelog = "$site/logs/ostrel.log"
server.pid-file = "$site/run/lighttpd.pid"
index-file.names = ("index.html")
mimetype.assign = (".html" => "text/html; charset=utf-8")
var.ostrel_dir = "$site/cgi-bin"
include "$OSTREL_ROOT/deploy/lighttpd/ostrel.conf"
CONF
}

# A TCP port on 127.0.0.1 that nothing listens on now.
free_port() {
  local port
  for _ in $(seq 50); do
    port=$((20000 + RANDOM % 20000))
    if ! (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; then
      echo "$port"
      return 0
    fi
  done
  return 1
}

# wait_for_port PORT: up to 10 s for a server to accept connections.
wait_for_port() {
  local port=$1
  for _ in $(seq 100); do
    (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null && return 0
    sleep 0.1
  done
  return 1
}
