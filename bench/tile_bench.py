"""Deep-zoom tiles: Ostrel's IIIF service on the original striped file
against what a user would pick instead, in one interleaved run.

- ostrel: the whole request through lighttpd (CGI), on the file as it is.
- vips crop: `vips crop` on the same file, one process per tile (and
  `vipsthumbnail` on the crop for a reduced tile).
- iipsrv: lighttpd's FastCGI to iipsrv, on a tiled pyramid made ahead of
  time with `vips tiffsave --tile --pyramid`; it answers JPEG only.

Wall times are medians of the rounds, from sending the request (or spawning
the process) to the last byte (or reaping it). Ostrel's peak memory is
measured on the same request run outside the web server, under
/usr/bin/time: the gateway and the converter it waits for. iipsrv's is its
process's high-water mark over the whole run.
"""

import http.client
import os
import shutil
import signal
import socket
import statistics
import subprocess
import time

TILE = 512
REDUCED_SIDE = 4096  # a 4096 x 4096 region at 1/8 gives a 512 x 512 tile
PYRAMID_TILE = 256
MEMORY_GOAL_KIB = 16 * 1024
SPEED_GOAL = 0.5  # of vips crop's time on the same file
REQUEST_TIMEOUT = 60
LIGHTTPD = "/usr/sbin/lighttpd"
IIPSRV = "usr/lib/iipimage-server/iipsrv.fcgi"  # under the unpacked package
SOURCES = ["drawing-g4.tif", "a4-g4.tif"]


def missing_tools(iipsrv):
    tools = [LIGHTTPD, iipsrv, "/usr/bin/vips", "/usr/bin/vipsthumbnail"]
    return [tool for tool in tools if not os.path.exists(tool)]


def cases_for(sizes):
    """(label, source, region x,y,w,h, output side): tiles at full
    resolution near the top and the bottom of each file, and the drawing's
    centre at 1/8."""
    cases = []
    for source in SOURCES:
        if source not in sizes:
            continue
        width, height = sizes[source]
        tile = min(TILE, width, height)
        left = (width - tile) // 2
        stem = source[:-4]
        cases.append((f"{stem}, 512 tile at the top", source, (left, 0, tile, tile), tile))
        cases.append((f"{stem}, 512 tile at the bottom", source,
                      (left, height - tile, tile, tile), tile))
        if source.startswith("drawing"):
            side = min(REDUCED_SIDE, width, height)
            cases.append((f"{stem}, 512 tile at 1/8", source,
                          ((width - side) // 2, (height - side) // 2, side, side),
                          max(1, side // 8)))
    return cases


class Site:
    """lighttpd on a loopback port: Ostrel as CGI over the corpus, iipsrv
    over the pyramids."""

    def __init__(self, build, corpus, work, iipsrv):
        self.iipsrv = iipsrv
        self.root = os.path.join(work, "tile-site")
        shutil.rmtree(self.root, ignore_errors=True)
        for folder in ("cgi", "tmp", "logs", "www", "pyramids"):
            os.makedirs(os.path.join(self.root, folder))
        for binary in ("ostrel", "Caskle.ClsCaskle"):
            shutil.copy2(os.path.join(build, binary), os.path.join(self.root, "cgi"))
        with open(os.path.join(self.root, "cgi", "Varnow.ini"), "w") as ini:
            ini.write(f"[Converter]\nTempDir={self.root}/tmp/\n[IIIF]\nRoot={corpus}/\n")
        self.corpus = corpus
        self.port = free_port()
        self.server = None

    def make_pyramid(self, source):
        pyramid = os.path.join(self.root, "pyramids", source)
        subprocess.run(["vips", "tiffsave", os.path.join(self.corpus, source), pyramid,
                        "--tile", "--pyramid", f"--tile-width={PYRAMID_TILE}",
                        f"--tile-height={PYRAMID_TILE}", "--compression=deflate"],
                       check=True, stdout=subprocess.DEVNULL)

    def start(self):
        conf = os.path.join(self.root, "lighttpd.conf")
        with open(conf, "w") as out:
            out.write(f"""server.document-root = "{self.root}/www"
server.bind = "127.0.0.1"
server.port = {self.port}
server.errorlog = "{self.root}/logs/error.log"
server.breakagelog = "{self.root}/logs/ostrel.log"
server.modules += ("mod_alias", "mod_cgi", "mod_fastcgi")
$HTTP["url"] =~ "^/cgi-bin/ostrel(/|$)" {{
  alias.url += ("/cgi-bin/ostrel" => "{self.root}/cgi/ostrel")
  cgi.assign = ("" => "")
}}
fastcgi.server = ("/fcgi-bin/iipsrv.fcgi" => ((
  "socket" => "{self.root}/iipsrv.socket",
  "bin-path" => "{self.iipsrv}",
  "max-procs" => 1,
  "check-local" => "disable",
  "bin-environment" => ("FILESYSTEM_PREFIX" => "{self.root}/pyramids/",
                        "MAX_IMAGE_CACHE_SIZE" => "0")
)))
""")
        self.server = subprocess.Popen([LIGHTTPD, "-D", "-f", conf],
                                       stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                       stderr=subprocess.DEVNULL)
        deadline = time.monotonic() + 10
        while time.monotonic() < deadline:
            try:
                socket.create_connection(("127.0.0.1", self.port), timeout=1).close()
                return
            except OSError:
                time.sleep(0.05)
        raise RuntimeError("lighttpd did not start")

    def iipsrv_peak_kib(self):
        """The high-water mark of the iipsrv process lighttpd started."""
        for pid in os.listdir("/proc"):
            if not pid.isdigit():
                continue
            try:
                with open(f"/proc/{pid}/cmdline", "rb") as cmdline:
                    if not cmdline.read().startswith(self.iipsrv.encode()):
                        continue
                with open(f"/proc/{pid}/status") as status:
                    ppid = hwm = 0
                    for line in status:
                        if line.startswith("PPid:"):
                            ppid = int(line.split()[1])
                        if line.startswith("VmHWM:"):
                            hwm = int(line.split()[1])
            except OSError:
                continue
            if ppid == self.server.pid:
                return hwm
        return 0

    def stop(self):
        if self.server is None:
            return
        # lighttpd ends the FastCGI processes it started when it stops.
        self.server.send_signal(signal.SIGTERM)
        try:
            self.server.wait(timeout=10)
        except subprocess.TimeoutExpired:
            self.server.kill()
            self.server.wait()


def free_port():
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


def fetch(port, target):
    """GET on a fresh connection: (status, body bytes, wall seconds)."""
    start = time.perf_counter()
    connection = http.client.HTTPConnection("127.0.0.1", port, timeout=REQUEST_TIMEOUT)
    try:
        connection.request("GET", target)
        response = connection.getresponse()
        body = response.read()
    finally:
        connection.close()
    return response.status, body, time.perf_counter() - start


def ostrel_target(source, region, side, fmt):
    x, y, w, h = region
    return f"/cgi-bin/ostrel/iiif/3/{source[:-4]}/{x},{y},{w},{h}/{side},{side}/0/default.{fmt}"


def iipsrv_target(source, region, side):
    x, y, w, h = region
    return f"/fcgi-bin/iipsrv.fcgi?IIIF={source}/{x},{y},{w},{h}/{side},/0/default.jpg"


def vips_commands(corpus, scratch, source, region, side):
    x, y, w, h = (str(v) for v in region)
    path = os.path.join(corpus, source)
    if side == region[2]:
        return [["vips", "crop", path, os.path.join(scratch, "crop.png"), x, y, w, h]]
    crop = os.path.join(scratch, "crop.v")
    return [["vips", "crop", path, crop, x, y, w, h],
            ["vipsthumbnail", crop, "--size", f"{side}x{side}", "-o",
             os.path.join(scratch, "tile.png")]]


def run_commands(commands):
    start = time.perf_counter()
    for command in commands:
        subprocess.run(command, check=True, stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                       timeout=REQUEST_TIMEOUT)
    return time.perf_counter() - start


def ostrel_peak_kib(site, target, rss_file):
    """Peak resident memory of one request run outside the web server: the
    gateway and the converter it waits for (wait4 reports the larger)."""
    path, _, query = target.partition("?")
    environment = {"REQUEST_METHOD": "GET", "SCRIPT_NAME": "/cgi-bin/ostrel",
                   "PATH_INFO": path[len("/cgi-bin/ostrel"):], "REQUEST_URI": target,
                   "QUERY_STRING": query, "HTTP_HOST": f"127.0.0.1:{site.port}",
                   "SERVER_PROTOCOL": "HTTP/1.1"}
    subprocess.run(["/usr/bin/time", "-f", "%M", "-o", rss_file,
                    os.path.join(site.root, "cgi", "ostrel")],
                   env=environment, check=True, stdin=subprocess.DEVNULL,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    with open(rss_file) as report:
        return max(int(line) for line in report if line.strip().isdigit())


def tile_report(build, corpus, work, rounds, page_size, log, tile_server):
    """Lines of RESULTS.md, and the requests that failed."""
    iipsrv = os.path.join(tile_server, IIPSRV)
    absent = missing_tools(iipsrv)
    if absent:
        return ["", "## Deep-zoom tiles", "", "Not measured: missing " + ", ".join(absent), ""], []
    sizes = {s: page_size(build, os.path.join(corpus, s)) for s in SOURCES
             if os.path.exists(os.path.join(corpus, s))}
    cases = cases_for(sizes)
    site = Site(build, corpus, work, iipsrv)
    scratch = os.path.join(site.root, "scratch")
    os.makedirs(scratch)
    for source in sizes:
        site.make_pyramid(source)
    tools = ["ostrel png", "ostrel jpg", "vips crop", "iipsrv"]
    times = {}
    bytes_out = {}
    failures = []
    try:
        site.start()

        def measure(case, tool):
            label, source, region, side = case
            if tool == "vips crop":
                return run_commands(vips_commands(corpus, scratch, source, region, side)), None
            if tool == "iipsrv":
                target = iipsrv_target(source, region, side)
            else:
                target = ostrel_target(source, region, side, tool.split()[1])
            status, body, wall = fetch(site.port, target)
            if status != 200:
                failures.append(f"{label} by {tool}: status {status}")
            return wall, len(body)

        info = [("info.json", source) for source in sizes]
        for round_number in range(rounds):
            order = tools[round_number % len(tools):] + tools[:round_number % len(tools)]
            for case in cases:
                for tool in order:
                    wall, size = measure(case, tool)
                    times.setdefault((case[0], tool), []).append(wall)
                    bytes_out[(case[0], tool)] = size
            for _, source in info:
                for tool, target in (("ostrel", f"/cgi-bin/ostrel/iiif/3/{source[:-4]}/info.json"),
                                     ("iipsrv", f"/fcgi-bin/iipsrv.fcgi?IIIF={source}/info.json")):
                    status, body, wall = fetch(site.port, target)
                    if status != 200:
                        failures.append(f"info.json of {source} by {tool}: status {status}")
                    times.setdefault((f"{source[:-4]}, info.json", tool), []).append(wall)
        iipsrv_peak = site.iipsrv_peak_kib()
        peaks = {case[0]: ostrel_peak_kib(site, ostrel_target(case[1], case[2], case[3], "png"),
                                          os.path.join(scratch, "rss")) for case in cases}
    finally:
        site.stop()
    log("tiles measured")
    return format_report(cases, sizes, times, bytes_out, peaks, iipsrv_peak, failures, rounds), failures


def format_report(cases, sizes, times, bytes_out, peaks, iipsrv_peak, failures, rounds):
    def ms(key):
        return statistics.median(times[key]) * 1000 if key in times else None

    lines = ["", "## Deep-zoom tiles", "",
             "IIIF tile requests as a deep-zoom viewer makes them, in one interleaved run of "
             f"{rounds} rounds (the tools' order rotating), each the median wall time in ms "
             "and the response's bytes:", "",
             "- ostrel: the whole request through lighttpd (CGI), on the original striped G4 file, "
             "`/iiif/3/ID/x,y,w,h/w,h/0/default.png` (or `.jpg`).",
             "- vips crop: `vips crop IN.tif OUT.png x y w h` on the same file, one process; "
             "for the reduced tile `vips crop` to a `.v` file, then `vipsthumbnail` to "
             f"the tile's size, both timed.",
             f"- iipsrv: `iipimage-server` as lighttpd's FastCGI (one process, kept running, "
             "tile cache off) on a pyramid made ahead with `vips tiffsave --tile --pyramid "
             f"--tile-width={PYRAMID_TILE} --tile-height={PYRAMID_TILE} --compression=deflate` "
             "(8-bit gray levels); it writes JPEG only, so it is compared with ostrel jpg.", "",
             "| case | ostrel png ms | ostrel jpg ms | vips crop ms | iipsrv ms | ostrel png / "
             "vips crop (goal ≤ 0.5) | ostrel jpg / iipsrv | ostrel MB (goal ≤ 16) | "
             "png / jpg / iipsrv bytes |",
             "|---|---|---|---|---|---|---|---|---|"]
    missed = []
    for label, source, region, side in cases:
        png, jpg, crop, iip = (ms((label, t)) for t in
                               ("ostrel png", "ostrel jpg", "vips crop", "iipsrv"))
        ratio = png / crop
        if ratio > SPEED_GOAL:
            missed.append(f"{label}: {ratio:.2f} x vips crop")
        if peaks[label] > MEMORY_GOAL_KIB:
            missed.append(f"{label}: {peaks[label] / 1024:.1f} MB")
        sizes_text = " / ".join(str(bytes_out.get((label, t), "")) for t in
                                ("ostrel png", "ostrel jpg", "iipsrv"))
        lines.append(f"| {label} | {png:.1f} | {jpg:.1f} | {crop:.1f} | {iip:.1f} | "
                     f"{ratio:.2f} | {jpg / iip:.1f} | {peaks[label] / 1024:.1f} | "
                     f"{sizes_text} |")
    for source in sizes:
        label = f"{source[:-4]}, info.json"
        lines.append(f"| {label} | {ms((label, 'ostrel')):.1f} | | | "
                     f"{ms((label, 'iipsrv')):.1f} | | "
                     f"{ms((label, 'ostrel')) / ms((label, 'iipsrv')):.1f} | | |")
    lines += ["", f"iipsrv's peak memory over the run: {iipsrv_peak / 1024:.1f} MB.", "",
              "What separates ostrel from iipsrv: a tile request starts three processes (the "
              "gateway, then the converter twice: once to describe the page, whose size the "
              "region and size are resolved against, once to draw the tile), each loading its "
              "libraries; that is most of a full-resolution tile's time (a tile at the bottom "
              "of a one-strip G4 page, whose rows above it are decoded and dropped, costs "
              "little more than one at the top). iipsrv is one process kept running that "
              "reads one or a few tiles made ahead of time. The reduced tile decodes its "
              "4096 source rows; iipsrv reads them from a smaller level of its pyramid.", ""]
    verdict = "met" if not missed else "**not met**: " + "; ".join(missed)
    lines.append(f"Goals: every tile at most {SPEED_GOAL} x vips crop's time and at most "
                 f"16 MB a request: {verdict}.")
    if failures:
        lines += ["", "Failed: " + "; ".join(sorted(set(failures)))]
    return lines + [""]
