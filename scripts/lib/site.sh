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
# manifest.tsv), DIR/www/index.html, viewer.html and openseadragon/, DIR/tmp (the TempDir),
# DIR/logs.
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
; The IIIF service names the samples: /cgi-bin/ostrel/iiif/3/fax/info.json.
[IIIF]
Root=$site/images
INI
  # The web server may run the program as another user.
  chmod 1777 "$site/tmp"
  chmod -R a+rX "$site"
  copy_viewer_library "$site/www/openseadragon"
  write_demo_page "$site"
}

# The viewer's library, as installed from scripts/viewer/package-lock.json
# by ensure_viewer_library.
copy_viewer_library() {
  local target=$1 build="$OSTREL_ROOT/scripts/viewer/node_modules/openseadragon/build/openseadragon"
  if [ ! -f "$build/openseadragon.min.js" ]; then
    echo "the viewer's library is missing: run ensure_viewer_library (scripts/lib/common.sh)" >&2
    return 1
  fi
  mkdir -p "$target"
  cp "$build/openseadragon.min.js" "$target/"
  cp -r "$build/images" "$target/"
  cp "$OSTREL_ROOT/scripts/viewer/node_modules/openseadragon/LICENSE.txt" "$target/"
}

write_demo_page() {
  local site=$1 images="$site/images/"
  local page="$site/www/index.html" file width height pages kind x_dpi y_dpi description
  {
    cat <<'HTML'
<!DOCTYPE html>
<html lang="en">
<head>
<meta charset="utf-8">
<title>Ostrel: TIFF images in the browser</title>
<style>
  body { font-family: sans-serif; margin: 2em auto; max-width: 70em; color: #222; }
  .samples { display: grid; grid-template-columns: repeat(auto-fill, minmax(16em, 1fr)); gap: 1.5em; }
  figure { margin: 0; border: 1px solid #ccc; padding: 0.5em; background: #fafafa; }
  figure img { display: block; margin: 0 auto; max-width: 100%; height: auto; background: #fff; }
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
<code>/cgi-bin/ostrel?FN=name&amp;Path=directory&amp;Width=240</code> for it, and
Ostrel answers with a GIF copy made on the spot, 240 pixels wide. Click one to
read it page by page.</p>
HTML
    printf '<form action="/cgi-bin/ostrel" method="get">\n'
    printf '<label>FN <input type="text" name="FN" value="scanned-letter"></label>\n'
    printf '<label>Path <input type="text" name="Path" value="%s"></label>\n' "$(html_escape "$images")"
    printf '<label>Page <input type="number" name="Page" min="1"></label>\n'
    printf '<label>Width <input type="number" name="Width" min="1" max="65535"></label>\n'
    printf '<button type="submit">Show</button>\n</form>\n<div class="samples">\n'
    while IFS=$'\t' read -r file width height pages kind x_dpi y_dpi description; do
      [ "$file" = file ] && continue
      local query
      query="FN=$(url_encode "${file%.tif}")&amp;Path=$(url_encode "$images")"
      printf '<figure>\n<a href="viewer.html?%s">' "$query"
      printf '<img src="/cgi-bin/ostrel?%s&amp;Width=240" alt="%s" data-width="%s" data-height="%s"' \
        "$query" "$(html_escape "$description")" "$width" "$height"
      printf ' data-x-dpi="%s" data-y-dpi="%s"></a>\n' "$x_dpi" "$y_dpi"
      printf '<figcaption><b>%s</b>: %s; %s x %s pixels%s</figcaption>\n</figure>\n' \
        "$(html_escape "$file")" "$(html_escape "$description")" "$width" "$height" \
        "$([ "$pages" = 1 ] || echo ", $pages pages")"
    done <"$site/images/manifest.tsv"
    printf '</div>\n</body>\n</html>\n'
  } >"$page"
  write_viewer_page "$site/www/viewer.html"
}

# write_viewer_page FILE: a deep-zoom viewer of one file, page by page, for
# viewer.html?FN=name&Path=directory[&Page=k]. OpenSeadragon (copied to
# www/openseadragon/ by make_site) reads each page's info.json from the IIIF
# service, whose root is the samples directory, and asks for the tiles the
# window shows at the scale it shows them.
write_viewer_page() {
  cat >"$1" <<'HTML'
<!DOCTYPE html>
<html lang="en">
<head>
<meta charset="utf-8">
<title>Ostrel viewer</title>
<style>
  html, body { height: 100%; }
  body { font-family: sans-serif; margin: 0; color: #222; background: #e8e8e8;
         display: flex; flex-direction: column; }
  nav { display: flex; flex-wrap: wrap; gap: 0.5em; align-items: center;
        padding: 0.5em 1em; background: #fafafa; border-bottom: 1px solid #ccc; }
  nav h1 { font-size: 1em; margin: 0 1em 0 0; }
  #status { min-width: 8em; text-align: center; }
  #stage { flex: 1; min-height: 20em; background: #d0d0d0; }
  #message { color: #a00; }
</style>
<script src="openseadragon/openseadragon.min.js"></script>
</head>
<body>
<nav>
  <h1><a href="./">Samples</a> / <span id="name"></span></h1>
  <button id="previous" title="Previous page (Left arrow)">&larr; Previous</button>
  <span id="status" aria-live="polite"></span>
  <button id="next" title="Next page (Right arrow)">Next &rarr;</button>
  <button id="rotate-left" title="Turn left (L)">&#x27F2; Left</button>
  <button id="rotate-right" title="Turn right (R)">&#x27F3; Right</button>
  <a id="full-size" href="#">Full size</a>
  <span id="message"></span>
</nav>
<div id="stage"></div>
<script>
'use strict';
const query = new URLSearchParams(location.search);
const file = { FN: query.get('FN') ?? '', Path: query.get('Path') ?? '' };
const $ = (id) => document.getElementById(id);
let page = Math.max(1, Number.parseInt(query.get('Page') ?? '1', 10) || 1);
let pages = 1;
let rotate = 0;
let viewer = null;

function pictureUrl(extra) {
  return '/cgi-bin/ostrel?' + new URLSearchParams({ ...file, ...extra });
}

// The IIIF identifier of page k: the file's name below the samples
// directory, "/" written %2F, and ";k".
function infoUrl(k) {
  return `/cgi-bin/ostrel/iiif/3/${encodeURIComponent(file.FN)};${k}/info.json`;
}

// The controls and the address follow the page and the turn shown.
function show() {
  $('status').textContent = `page ${page} of ${pages}`;
  $('previous').disabled = page <= 1;
  $('next').disabled = page >= pages;
  const turn = rotate === 0 ? {} : { Rotate: rotate };
  $('full-size').href = pictureUrl({ Page: page, ...turn });
  history.replaceState(null, '', '?' + new URLSearchParams({ ...file, Page: page }));
}

function turnPage(step) {
  const wanted = Math.min(pages, Math.max(1, page + step));
  if (wanted !== page) viewer.goToPage(wanted - 1);
}

function turnPicture(degrees) {
  rotate = (rotate + degrees + 360) % 360;
  viewer.viewport.setRotation(rotate);
  show();
}

$('name').textContent = file.FN;
document.title = `${file.FN}: Ostrel viewer`;
$('previous').addEventListener('click', () => turnPage(-1));
$('next').addEventListener('click', () => turnPage(1));
$('rotate-left').addEventListener('click', () => turnPicture(-90));
$('rotate-right').addEventListener('click', () => turnPicture(90));
// Taken before the viewer sees them, which would otherwise pan with the
// arrows and turn with R. Zooming keys (+, -, 0) and the other panning keys
// (up, down, W, A, S, D) are the viewer's own when it has the focus;
// elsewhere on the page +, - and 0 are passed on to it.
document.addEventListener('keydown', (event) => {
  if (event.altKey || event.ctrlKey || event.metaKey || viewer === null) return;
  const actions = {
    ArrowLeft: () => turnPage(-1), PageUp: () => turnPage(-1),
    ArrowRight: () => turnPage(1), PageDown: () => turnPage(1),
    Home: () => turnPage(-pages), End: () => turnPage(pages),
    l: () => turnPicture(-90), r: () => turnPicture(90),
  };
  if (!$('stage').contains(event.target)) {
    actions['+'] = actions['='] = () => viewer.viewport.zoomBy(2).applyConstraints();
    actions['-'] = () => viewer.viewport.zoomBy(0.5).applyConstraints();
    actions['0'] = () => viewer.viewport.goHome();
  }
  const action = actions[event.key];
  if (action) {
    event.preventDefault();
    event.stopPropagation();
    action();
  }
}, true);

function open() {
  viewer = OpenSeadragon({
    id: 'stage',
    prefixUrl: 'openseadragon/images/',
    tileSources: Array.from({ length: pages }, (_, i) => infoUrl(i + 1)),
    sequenceMode: true,
    initialPage: page - 1,
    showSequenceControl: false,
    showRotationControl: true,
    degrees: rotate,
    drawer: 'canvas',
    // One screen pixel per stored pixel at most, and a little beyond it.
    maxZoomPixelRatio: 2,
    gestureSettingsMouse: { clickToZoom: false, dblClickToZoom: true },
  });
  window.ostrelViewer = viewer;  // for the browser test and the console
  viewer.addHandler('page', (event) => {
    page = event.page + 1;
    show();
  });
  viewer.addHandler('open', () => {
    viewer.viewport.setRotation(rotate, true);
    $('message').textContent = '';
  });
  viewer.addHandler('rotate', (event) => {
    rotate = ((Math.round(event.degrees / 90) * 90) % 360 + 360) % 360;
    show();
  });
  viewer.addHandler('open-failed', (event) => {
    $('message').textContent = `Page ${page} could not be opened: ${event.message}`;
  });
  show();
}

fetch(pictureUrl({ Info: 1 }))
  .then((response) => response.json())
  .then((info) => {
    pages = info.pages;
    page = Math.min(page, pages);
  })
  .catch(() => {
    $('message').textContent = 'The file could not be described; only its first page is shown.';
    page = 1;
  })
  .finally(open);
</script>
</body>
</html>
HTML
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
mimetype.assign = (".html" => "text/html; charset=utf-8", ".js" => "text/javascript",
                   ".png" => "image/png", ".txt" => "text/plain; charset=utf-8")
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
