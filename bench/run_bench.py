#!/usr/bin/python3
"""Converts the benchmark corpus with the converter and the tools users would
pick instead, runs interleaved, and writes RESULTS.md.

Every file is converted by every tool once per round, the tools in an order
that rotates from round to round, so that a slow spell of the shared machine
falls on all of them alike. Wall time is measured around spawning and
reaping each process; peak resident memory is what /usr/bin/time reports
("%M", the child's ru_maxrss from wait4(2)).
Each GIF is then compared with libtiff's rendering of its source by
bench/gif_check.

Reduced pages (SCALED_CASES) follow in the same way: the converter with a
box, the other tools asked for the size it should give, each GIF compared
with the exact area average of its source by bench/scale_check.py.

  run_bench.py --build BUILD_DIR --work WORK_DIR --out RESULTS.md
               [--set bench|quick] [--rounds N] [--request-rounds N] [--files A.tif,B.tif]
               [--tile-server DIR]

--files measures only the named files of the set (a quicker look at a few).
"""

import argparse
import json
import os
import platform
import re
import shutil
import statistics
import subprocess
import sys
import tempfile
import threading
import time

import scale_check
from bench_common import cpu_model, read_manifest
import tile_bench

TIMEOUT_SECONDS = 300  # one conversion; the slowest tool takes seconds

PILLOW_SAVE = "import sys; from PIL import Image; Image.open(sys.argv[1]).save(sys.argv[2])"

# name, command as a function of (build, source, dest), kinds it runs on
CONVERTER = "ostrel"
CONVERTER_NO_DITHER = "ostrel, dither off"
LOWER_BOUND = "lower bound"
OTHER_TOOLS = ["ImageMagick", "GraphicsMagick", "libvips", "Pillow"]


def tool_commands(build):
    return {
        CONVERTER: lambda s, d, items="": [f"{build}/Caskle.ClsCaskle", "ConvertImage",
                                           f"source={s}, dest={d}{items}"],
        CONVERTER_NO_DITHER: lambda s, d, items="": [f"{build}/Caskle.ClsCaskle", "ConvertImage",
                                                     f"source={s}, dest={d}, dither=off{items}"],
        LOWER_BOUND: lambda s, d: [f"{build}/bench/lower_bound", s, d],
        "ImageMagick": lambda s, d: ["/usr/bin/convert", f"{s}[0]", d],
        "GraphicsMagick": lambda s, d: ["/usr/bin/gm", "convert", f"{s}[0]", d],
        "libvips": lambda s, d: ["/usr/bin/vips", "copy", s, d],
        "Pillow": lambda s, d: ["/usr/bin/python3", "-c", PILLOW_SAVE, s, d],
    }


# Converter items for files whose plain conversion is not the picture the
# other tools draw: the 204 x 98 dpi fax keeps its stored pixels here (the
# reduced pages below show it in its true shape).
STORED_PIXELS_ITEMS = {"fax-g3.tif": ", aspect=none"}


def file_command(commands, tool, name, source, dest):
    if tool in (CONVERTER, CONVERTER_NO_DITHER):
        return commands[tool](source, dest, STORED_PIXELS_ITEMS.get(name, ""))
    return commands[tool](source, dest)


def command_text(build):
    """The commands as RESULTS.md shows them."""
    shown = []
    for name, command in tool_commands(build).items():
        words = command("IN.tif", "OUT.gif")
        words = [w.replace(build, "build") for w in words]
        shown.append((name, " ".join(f"'{w}'" if " " in w or ";" in w else w for w in words)))
    return shown


RSS_FILE = "/tmp/ostrel-bench-rss"  # replaced by a file in the work directory


def run_measured(command, environment=None, stdout=subprocess.DEVNULL):
    """Runs `command` under /usr/bin/time; returns (exit status, wall seconds,
    peak RSS in KiB). Python starts children with vfork, whose ru_maxrss
    would include Python's own memory, so /usr/bin/time, a small program
    that forks, reports the child's."""
    start = time.perf_counter()
    process = subprocess.Popen(["/usr/bin/time", "-f", "%M", "-o", RSS_FILE] + command,
                               stdin=subprocess.DEVNULL, stdout=stdout,
                               stderr=subprocess.DEVNULL, env=environment)
    # A blocking wait returns the moment the child ends; wait(timeout) would
    # poll with sleeps of up to 50 ms and round every time up to its steps.
    killer = threading.Timer(TIMEOUT_SECONDS, process.kill)
    killer.start()
    try:
        status = process.wait()
    finally:
        killer.cancel()
    wall = time.perf_counter() - start
    rss = 0
    with open(RSS_FILE) as report:
        for line in report:  # "Command exited with non-zero status N" may come first
            if line.strip().isdigit():
                rss = int(line)
    return status, wall, rss


def tools_for(kind):
    tools = [CONVERTER, LOWER_BOUND] + OTHER_TOOLS
    if kind == "colour":
        tools.insert(1, CONVERTER_NO_DITHER)
    return tools


def measure_files(build, corpus, out_dir, files, rounds, log):
    """{(file, tool): {"times": [...], "rss": [...], "status": [...]}}"""
    commands = tool_commands(build)
    results = {}
    for entry in files:
        name = entry["file"]
        tools = tools_for(entry["kind"])
        source = os.path.join(corpus, name)
        for round_number in range(rounds):
            shift = round_number % len(tools)
            for tool in tools[shift:] + tools[:shift]:
                dest = os.path.join(out_dir, tool.replace(" ", "_").replace(",", ""),
                                    name.replace(".tif", ".gif"))
                os.makedirs(os.path.dirname(dest), exist_ok=True)
                if os.path.exists(dest):
                    os.unlink(dest)
                status, wall, rss = run_measured(file_command(commands, tool, name, source, dest))
                record = results.setdefault((name, tool), {"times": [], "rss": [], "status": []})
                record["times"].append(wall)
                record["rss"].append(rss)
                record["status"].append(status)
        log(f"{name}: {rounds} rounds of {len(tools)} tools")
    return results


def check_outputs(build, corpus, out_dir, files, results):
    for entry in files:
        name = entry["file"]
        for tool in tools_for(entry["kind"]):
            record = results[(name, tool)]
            dest = os.path.join(out_dir, tool.replace(" ", "_").replace(",", ""),
                                name.replace(".tif", ".gif"))
            record["ok"] = all(s == 0 for s in record["status"]) and os.path.exists(dest)
            if not record["ok"]:
                continue
            check = subprocess.run([f"{build}/bench/gif_check", os.path.join(corpus, name), dest],
                                   capture_output=True, text=True)
            if check.returncode != 0:
                record["ok"] = False
                record["error"] = check.stderr.strip()
                continue
            size, same_size, differing, psnr = check.stdout.split()
            record["bytes"] = int(size)
            record["same_size"] = same_size == "yes"
            record["exact"] = same_size == "yes" and int(differing) == 0
            record["psnr"] = float(psnr)


def measure_requests(build, corpus, work, rounds, log):
    """Wall time of whole requests through ostrel, which runs the converter:
    a sandbox with copies of both binaries and a Varnow.ini naming TempDir."""
    sandbox = os.path.join(work, "request-sandbox")
    shutil.rmtree(sandbox, ignore_errors=True)
    os.makedirs(os.path.join(sandbox, "tmp"))
    for binary in ("ostrel", "Caskle.ClsCaskle"):
        shutil.copy2(os.path.join(build, binary), sandbox)
    with open(os.path.join(sandbox, "Varnow.ini"), "w") as ini:
        ini.write(f"[Converter]\nTempDir={sandbox}/tmp/\n")
    requests = {"empty process (/bin/true)": None,
                "request for rgb-16x16.tif": "rgb-16x16",
                "request for a4-g4.tif": "a4-g4"}
    timings = {label: [] for label in requests}
    failures = []
    for round_number in range(rounds):
        for label, fn in requests.items():
            if fn is None:
                status, wall, _ = run_measured(["/bin/true"])
                timings[label].append(wall)
                continue
            environment = {"REQUEST_METHOD": "GET", "SCRIPT_NAME": "/cgi-bin/ostrel",
                           "QUERY_STRING": f"FN={fn}&Path={corpus}/"}
            response = os.path.join(sandbox, "response")
            with open(response, "wb") as output:
                status, wall, _ = run_measured([os.path.join(sandbox, "ostrel")], environment,
                                               stdout=output)
            with open(response, "rb") as output:
                body = output.read()
            if status != 0 or b"GIF89a" not in body:
                failures.append(f"{label}: exit {status}, {len(body)} bytes")
            timings[label].append(wall)
    log(f"requests: {rounds} rounds")
    return timings, failures


def run_stage_benchmark(build, corpus, quick):
    min_time = "0.01" if quick else "0.5"
    result = subprocess.run([f"{build}/bench/stage_benchmark", corpus,
                             f"--benchmark_min_time={min_time}"],
                            capture_output=True, text=True)
    lines = [l for l in result.stdout.splitlines() if l.strip()]
    return "\n".join(lines) if result.returncode == 0 else result.stderr


def profile(build, corpus, name, work, extra=""):
    """The converter's hottest functions on one file, by perf's sampling."""
    if shutil.which("perf") is None:
        return None
    data = os.path.join(work, "perf.data")
    dest = os.path.join(work, "profile.gif")
    recorded = subprocess.run(
        ["perf", "record", "-q", "-o", data, f"{build}/Caskle.ClsCaskle", "ConvertImage",
         f"source={os.path.join(corpus, name)}, dest={dest}{extra}"],
        capture_output=True, text=True)
    if recorded.returncode != 0:
        return None
    report = subprocess.run(["perf", "report", "-i", data, "--stdio", "--no-children",
                             "--sort", "dso,symbol"], capture_output=True, text=True)
    rows = [l for l in report.stdout.splitlines() if re.match(r"^\s+\d+\.\d+%", l)]
    # perf pads every row to the longest symbol (a lambda's runs to hundreds of characters).
    return "\n".join(re.sub(r" {3,}", "  ", r.rstrip()) for r in rows[:8])


# --- Reduced pages ------------------------------------------------------------

# id, source file, the converter's items, box (width, height; None leaves a
# side free), whether the quick run has it. The other tools are asked for the
# size the converter should give, forced; "plain" is a request with no items.
SCALED_CASES = [
    ("a4-g4-256", "a4-g4.tif", "width=256", (256, None), True),
    ("a4-g4-800", "a4-g4.tif", "width=800", (800, None), False),
    ("fax-g3-plain", "fax-g3.tif", "", (None, None), True),
    ("fax-g3-600", "fax-g3.tif", "width=600", (600, None), False),
    ("drawing-g4-256", "drawing-g4.tif", "width=256", (256, None), True),
    ("gray-a4-800", "gray-a4-lzw.tif", "width=800", (800, None), False),
    ("photo-800", "photo-rgb-deflate.tif", "width=800", (800, None), False),
]
SCALED_TOOLS = [CONVERTER] + OTHER_TOOLS
SIZE_TOLERANCE = 1  # pixels either way: tools round the other side differently
SPEED_GOAL = 0.5  # of the fastest tool's time
BILEVEL_PSNR_GOAL = 33.0
BILEVEL_BYTES_GOAL = 0.8  # of the smallest tool's GIF
DRAWING_MEMORY_GOAL_KIB = 16 * 1024
CONVERTER_GRAYS = 16  # the converter's default for reduced bilevel pages

PILLOW_RESIZE = ("import sys; from PIL import Image; image = Image.open(sys.argv[1]); "
                 "image = image.convert('L' if image.mode in ('1', 'L') else 'RGB'); "
                 "image.resize((int(sys.argv[3]), int(sys.argv[4])), Image.BOX).save(sys.argv[2])")


def page_size(build, path):
    """The stored width and height of the first page, from the converter's
    description."""
    with tempfile.TemporaryDirectory() as scratch:
        dest = os.path.join(scratch, "page.json")
        subprocess.run([f"{build}/Caskle.ClsCaskle", "DescribeImage",
                        f"source={path}, dest={dest}"],
                       check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        with open(dest) as description:
            page = json.load(description)["page"][0]
    return page["width"], page["height"]



def scaled_commands(build):
    """Commands as functions of (source, dest, converter items, width, height)."""
    converter = tool_commands(build)[CONVERTER]
    return {
        CONVERTER: lambda s, d, items, w, h: converter(s, d, f", {items}" if items else ""),
        "ImageMagick": lambda s, d, items, w, h: ["/usr/bin/convert", f"{s}[0]", "-filter", "Box",
                                                  "-resize", f"{w}x{h}!", d],
        "GraphicsMagick": lambda s, d, items, w, h: ["/usr/bin/gm", "convert", f"{s}[0]",
                                                     "-filter", "Box", "-resize", f"{w}x{h}!", d],
        "libvips": lambda s, d, items, w, h: ["/usr/bin/vipsthumbnail", s, "--size", f"{w}x{h}!",
                                              "-o", d],
        "Pillow": lambda s, d, items, w, h: ["/usr/bin/python3", "-c", PILLOW_RESIZE, s, d, str(w),
                                             str(h)],
    }


def scaled_cases(corpus_set):
    return [c for c in SCALED_CASES if corpus_set == "bench" or c[4]]


def scaled_dest(out_dir, tool, case_id):
    # Absolute: vipsthumbnail takes a relative output name as relative to its input.
    return os.path.join(os.path.abspath(out_dir), "scaled",
                        tool.replace(" ", "_").replace(",", ""), case_id + ".gif")


def case_label(case):
    return f"{case[1]}, {case[2] or 'plain'}"


def measure_scaled(build, corpus, out_dir, cases, rounds, log):
    """{(case id, tool): {"times", "rss", "status", "command", "expected"}}, the
    tools rotating from round to round as for the whole files."""
    commands = scaled_commands(build)
    results = {}
    for case_id, source_name, items, box, _ in cases:
        source = os.path.join(corpus, source_name)
        expected = scale_check.view_size(source, *box)
        for round_number in range(rounds):
            shift = round_number % len(SCALED_TOOLS)
            for tool in SCALED_TOOLS[shift:] + SCALED_TOOLS[:shift]:
                dest = scaled_dest(out_dir, tool, case_id)
                os.makedirs(os.path.dirname(dest), exist_ok=True)
                if os.path.exists(dest):
                    os.unlink(dest)
                command = commands[tool](source, dest, items, *expected)
                status, wall, rss = run_measured(command)
                record = results.setdefault((case_id, tool), {
                    "times": [], "rss": [], "status": [], "command": command,
                    "expected": expected})
                record["times"].append(wall)
                record["rss"].append(rss)
                record["status"].append(status)
        log(f"{case_id}: {rounds} rounds of {len(SCALED_TOOLS)} tools")
    return results


def failure_text(record):
    """Why a tool failed: its first line on stderr, from one more run."""
    status = next(s for s in record["status"] if s != 0) if any(record["status"]) else 0
    if status < 0:
        return f"killed by signal {-status}"
    try:
        rerun = subprocess.run(record["command"], stdin=subprocess.DEVNULL,
                               stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True,
                               errors="replace", timeout=TIMEOUT_SECONDS)
        said = [l.strip() for l in rerun.stderr.splitlines() if l.strip()]
    except (OSError, subprocess.TimeoutExpired) as error:
        said = [str(error)]
    why = f"exit status {status}" if status else "no GIF written"
    if said:
        why += ": " + said[0][:160].replace("|", "/")
    return why


def check_scaled(corpus, out_dir, cases, results):
    """Sizes, bytes, colours and PSNR against the exact area average. A GIF
    that is missing or more than SIZE_TOLERANCE off the expected size fails."""
    reference, reference_name = None, None
    for case_id, source_name, _, _, _ in cases:
        if source_name != reference_name:  # one source held at a time: the drawing is large
            reference = None
            reference = scale_check.Reference(os.path.join(corpus, source_name))
            reference_name = source_name
        for tool in SCALED_TOOLS:
            record = results[(case_id, tool)]
            dest = scaled_dest(out_dir, tool, case_id)
            record["ok"] = all(s == 0 for s in record["status"]) and os.path.exists(dest)
            if not record["ok"]:
                record["error"] = failure_text(record)
                continue
            size, width, height, psnr, colours = scale_check.check(reference, dest)
            record.update(bytes=size, width=width, height=height, psnr=psnr, colours=colours)
            want_width, want_height = record["expected"]
            if (abs(width - want_width) > SIZE_TOLERANCE or
                    abs(height - want_height) > SIZE_TOLERANCE):
                record["ok"] = False
                record["error"] = f"{width} x {height}, expected {want_width} x {want_height}"
        if reference.kind == "bilevel":
            width, height = results[(case_id, CONVERTER)]["expected"]
            results[(case_id, CONVERTER)]["ceiling"] = scale_check.level_ceiling(
                reference.at(width, height), CONVERTER_GRAYS)


def summarise_scaled(case, kind, results):
    case_id = case[0]
    ours = results[(case_id, CONVERTER)]
    peers = [t for t in OTHER_TOOLS if results[(case_id, t)].get("ok")]
    s = {"case": case_label(case), "id": case_id, "kind": kind, "ok": ours.get("ok", False),
         "ours": median(ours["times"]), "rss": median(ours["rss"]),
         "bytes": ours.get("bytes"), "psnr": ours.get("psnr"), "ceiling": ours.get("ceiling"),
         "error": ours.get("error", "")}
    if peers:
        fastest = min(peers, key=lambda t: median(results[(case_id, t)]["times"]))
        s["fastest_tool"], s["fastest"] = fastest, median(results[(case_id, fastest)]["times"])
        s["ratio"] = s["ours"] / s["fastest"]
    else:
        s["fastest_tool"], s["fastest"], s["ratio"] = "none succeeded", float("nan"), float("nan")
    s["speed_met"] = s["ok"] and s["ratio"] <= SPEED_GOAL
    if kind == "bilevel":
        s["psnr_goal"] = BILEVEL_PSNR_GOAL
        s["psnr_goal_text"] = f"≥ {BILEVEL_PSNR_GOAL:.0f}"
        if peers:
            smallest = min(peers, key=lambda t: results[(case_id, t)]["bytes"])
            s["smallest_text"] = (f"{smallest} {results[(case_id, smallest)]['bytes']}, "
                                  f"at {psnr_text(results[(case_id, smallest)]['psnr'])} dB")
            s["bytes_goal"] = BILEVEL_BYTES_GOAL * results[(case_id, smallest)]["bytes"]
            s["bytes_goal_text"] = (f"≤ {BILEVEL_BYTES_GOAL} x {smallest} "
                                    f"{results[(case_id, smallest)]['bytes']} "
                                    f"(at {psnr_text(results[(case_id, smallest)]['psnr'])} dB)")
    elif peers:
        best = max(peers, key=lambda t: (results[(case_id, t)]["psnr"],
                                         -results[(case_id, t)]["bytes"]))
        s["psnr_goal"] = results[(case_id, best)]["psnr"]
        s["psnr_goal_text"] = f"≥ {best} {psnr_text(s['psnr_goal'])}"
        s["bytes_goal"] = results[(case_id, best)]["bytes"]
        s["bytes_goal_text"] = f"≤ {best} {s['bytes_goal']}"
    s.setdefault("psnr_goal", float("inf"))
    s.setdefault("psnr_goal_text", "no tool succeeded")
    s.setdefault("bytes_goal", 0)
    s.setdefault("bytes_goal_text", "no tool succeeded")
    s["psnr_met"] = s["ok"] and s["psnr"] >= s["psnr_goal"]
    s["bytes_met"] = s["ok"] and s["bytes"] <= s["bytes_goal"]
    return s


FEWER_GRAYS = (12, 8, 6, 4)


def try_fewer_grays(build, corpus, out_dir, cases, summaries):
    """For the bilevel cases that miss their bytes goal: the converter's
    bytes and PSNR with fewer grays, {case id: [(grays, bytes, PSNR or
    failure text)]}."""
    trials = {}
    converter = tool_commands(build)[CONVERTER]
    for case, s in zip(cases, summaries):
        if s["kind"] != "bilevel" or not s["ok"] or s["bytes_met"]:
            continue
        reference = scale_check.Reference(os.path.join(corpus, case[1]))
        dest = os.path.join(os.path.abspath(out_dir), "scaled", "fewer-grays.gif")
        for grays in FEWER_GRAYS:
            items = ", ".join(i for i in (case[2], f"grays={grays}") if i)
            command = converter(os.path.join(corpus, case[1]), dest, ", " + items)
            status = subprocess.run(command, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                    stderr=subprocess.DEVNULL).returncode
            if status != 0:
                record = {"status": [status], "command": command}
                trials.setdefault(case[0], []).append((grays, 0, failure_text(record)))
                continue
            size, _, _, psnr, _ = scale_check.check(reference, dest)
            trials.setdefault(case[0], []).append((grays, size, psnr))
    return trials


def scaled_report(cases, files, results, summaries, build, trials=None):
    lines = ["## Reduced pages", "",
             "Pages reduced to a box, in the same interleaved rounds as above. The converter gets "
             "the items shown (\"plain\": none, so its default `aspect=auto` draws the 204 x 98 "
             "dpi fax with square pixels); the other tools are asked for the size the converter "
             "should give, forced, so that all draw the same shape: ImageMagick and "
             "GraphicsMagick with the box filter (`-filter Box -resize WxH!`), libvips through "
             "`vipsthumbnail` with its default (a box shrink, then Lanczos 3), Pillow by opening, "
             "converting to L (bilevel, gray) or RGB, `resize((W, H), Image.BOX)` and saving as "
             f"GIF. A GIF more than {SIZE_TOLERANCE} pixel off the expected size, or none at all, "
             "is a failure. PSNR is against the exact area average of the source at the GIF's own "
             "size, in floating point, over red, green and blue (`bench/scale_check.py`); a "
             "bilevel page counts as 0 for ink and 255 for paper. \"colours\" counts the colours "
             f"a GIF uses. The {CONVERTER_GRAYS}-gray ceiling is the PSNR of that average rounded "
             f"to the nearest of {CONVERTER_GRAYS} evenly spaced grays: no {CONVERTER_GRAYS}-gray "
             "picture comes closer.", "",
             "| tool | command |", "|---|---|"]
    for tool, command in scaled_commands(build).items():
        words = [w.replace(build, "build") for w in command("IN.tif", "OUT.gif", "ITEMS", "W", "H")]
        lines.append(f"| {tool} | `" + " ".join(f"'{w}'" if " " in w or ";" in w else w
                                                for w in words) + "` |")
    lines += ["", "| case | tool | size | time | peak RSS | GIF bytes | colours | PSNR dB |",
              "|---|---|---|---|---|---|---|---|"]
    for case in cases:
        for tool in SCALED_TOOLS:
            r = results[(case[0], tool)]
            cells = [case_label(case), tool]
            if r.get("ok"):
                cells += [f"{r['width']} x {r['height']}", seconds(median(r["times"])),
                          megabytes(median(r["rss"])), str(r["bytes"]), str(r["colours"]),
                          psnr_text(r["psnr"])]
            else:
                cells += ["", seconds(median(r["times"])), megabytes(median(r["rss"])),
                          f"failed: {r['error']}", "", ""]
            lines.append("| " + " | ".join(cells) + " |")
    lines += ["", "| case | kind | ostrel s | fastest tool | ratio (≤ 0.5) | ostrel MB | "
              "ostrel bytes | bytes goal | ostrel PSNR | PSNR goal | "
              f"{CONVERTER_GRAYS}-gray ceiling |", "|---|---|---|---|---|---|---|---|---|---|---|"]
    for s in summaries:
        verdict = lambda met: "met" if met else "**not met**"  # noqa: E731
        ours_bytes = str(s["bytes"]) if s["ok"] else f"failed: {s['error']}"
        ours_psnr = psnr_text(s["psnr"]) if s["ok"] else "failed"
        ceiling = psnr_text(s["ceiling"]) if s["ceiling"] is not None else "-"
        ratio = f"{s['ratio']:.2f}" if s["ok"] else "failed"
        lines.append(
            f"| {s['case']} | {s['kind']} | {seconds(s['ours'])} | {s['fastest_tool']} "
            f"{seconds(s['fastest'])} | {ratio} {verdict(s['speed_met'])} | "
            f"{megabytes(s['rss'])} | {ours_bytes} | {s['bytes_goal_text']} "
            f"{verdict(s['bytes_met'])} | {ours_psnr} | {s['psnr_goal_text']} "
            f"{verdict(s['psnr_met'])} | {ceiling} |")
    lines += ["", "What limits the reduced pages:", "",
              f"- PSNR on bilevel pages: a reduced page in {CONVERTER_GRAYS} evenly spaced grays "
              "is at best the exact average rounded to the nearest of them (the ceiling "
              "column); more grays (`grays=N`) raise the ceiling and the bytes.",
              "- GIF bytes: the box filters of ImageMagick, GraphicsMagick and Pillow weigh a "
              "source pixel wholly or not at all, by where its centre falls, not by the share it "
              "covers. At factors of about 3 or less that leaves their pages few levels (see the "
              "colours column): small GIFs, but far from the exact average. libvips dithers its "
              "palette (its GIF writer's default), which costs it bytes and PSNR against a smooth "
              "reference.",
              "- Speed: every tool decodes the whole source; the reduction itself is a few "
              "additions a source pixel. The profiles below show where the converter's time goes "
              "on a case that misses its speed goal.", ""]
    if trials:
        lines += ["The converter with fewer grays (`grays=N`) on the bilevel cases that miss "
                  "their bytes goal: what the goal would cost in PSNR.", "",
                  "| case | grays | GIF bytes | of the bytes goal | PSNR dB |",
                  "|---|---|---|---|---|"]
        for case, s in zip(cases, summaries):
            for grays, size, psnr in trials.get(case[0], []):
                if isinstance(psnr, str):
                    lines.append(f"| {s['case']} | {grays} | failed: {psnr} | | |")
                    continue
                lines.append(f"| {s['case']} | {grays} | {size} | {size / s['bytes_goal']:.2f} | "
                             f"{psnr_text(psnr)} |")
        lines.append("")
    return lines


# --- The report ---------------------------------------------------------------


def first_line(command):
    try:
        output = subprocess.run(command, capture_output=True, text=True, timeout=30)
        text = (output.stdout or output.stderr).strip().splitlines()
        return text[0] if text else "?"
    except (OSError, subprocess.TimeoutExpired):
        return "not installed"


def machine_lines():
    cpu = cpu_model()
    memory = "?"
    with open("/proc/meminfo") as meminfo:
        for line in meminfo:
            if line.startswith("MemTotal"):
                memory = f"{int(line.split()[1]) / 1048576:.1f} GiB"
    os_name = "?"
    if os.path.exists("/etc/os-release"):
        with open("/etc/os-release") as release:
            for line in release:
                if line.startswith("PRETTY_NAME="):
                    os_name = line.split("=", 1)[1].strip().strip('"')
    load = " ".join(f"{x:.2f}" for x in os.getloadavg())
    return [
        f"- CPU: {cpu}, {os.cpu_count()} cores (nproc); load average at the end: {load}",
        f"- Memory: {memory}",
        f"- OS: {os_name}, Linux {platform.release()}",
        f"- ImageMagick: {first_line(['/usr/bin/convert', '-version'])}",
        f"- GraphicsMagick: {first_line(['/usr/bin/gm', '-version'])}",
        f"- libvips: {first_line(['/usr/bin/vips', '--version'])}",
        "- Pillow: " + first_line(["/usr/bin/python3", "-c",
                                   "import PIL; print(PIL.__version__)"]),
        "- libtiff " + first_line(["dpkg-query", "-W", "-f=${Version}", "libtiff6"]) +
        ", giflib " + first_line(["dpkg-query", "-W", "-f=${Version}", "libgif7"]),
    ]


def median(values):
    return statistics.median(values) if values else float("nan")


def seconds(value):
    return f"{value:.3f}" if value < 10 else f"{value:.1f}"


def megabytes(kib):
    return f"{kib / 1024:.1f}"


def psnr_text(value):
    return "exact" if value == float("inf") else f"{value:.2f}"


def write_report(path, args, files, results, requests, request_failures, stages, profiles,
                 elapsed, scaled_lines=(), scaled=()):
    lines = ["# Benchmark results", ""]
    lines += [f"Written by `scripts/bench{' --quick' if args.set == 'quick' else ''}` "
              f"({args.set} corpus, {args.rounds} rounds, {elapsed:.0f} s). "
              "Each file is converted by every tool once per round, the order of the tools "
              "rotating from round to round; times are medians of wall time from spawning "
              "the process to reaping it (process start included, each tool started through "
              "`/usr/bin/time -f %M`, whose own cost of about a millisecond falls on all alike); "
              "memory is the median of the peak resident set size that /usr/bin/time reports "
              "(the child's ru_maxrss from wait4(2)). PSNR compares the GIF with libtiff's rendering of the source "
              "(TIFFReadRGBAImage) over red, green and blue of all pixels, both laid over "
              "white: a transparent GIF pixel counts as white, a source pixel's colour is "
              "blended with white by its alpha. \"exact\" means no pixel differs.", ""]
    lines += ["## Machine", ""] + machine_lines() + [""]
    lines += ["## Commands", "", "The first page only, each tool with its defaults.", "",
              "| tool | command |", "|---|---|"]
    lines += [f"| {name} | `{text}` |" for name, text in command_text(args.build)]
    lines += ["", "The lower bound is `bench/lower_bound.cc`: libtiff decoding, the samples "
              "as indices (bilevel, gray, palette) or a crude fixed 3-3-2 palette (colour), "
              "giflib's encoder, one process.", ""]
    lines += ["The converter also gets " +
              "; ".join(f"`{items.lstrip(', ')}` on {name}"
                        for name, items in STORED_PIXELS_ITEMS.items()) +
              ": the stored pixels, as the other tools draw them.", ""]

    goals = []
    lines += ["## Per file", "",
              "Times in seconds, memory in MB, size in bytes. Ratios are ostrel's time to the "
              "fastest of the four tools and to the lower bound.", "",
              "| file | tool | time | peak RSS | GIF bytes | PSNR dB |",
              "|---|---|---|---|---|---|"]
    summary = []
    for entry in files:
        name = entry["file"]
        kind = entry["kind"]
        for tool in tools_for(kind):
            r = results[(name, tool)]
            if not r.get("ok"):
                why = r.get("error", f"exit status {r['status'][0]}")
                lines.append(f"| {name} | {tool} | {seconds(median(r['times']))} | "
                             f"{megabytes(median(r['rss']))} | failed: {why} | |")
                continue
            psnr = psnr_text(r["psnr"]) if r["same_size"] else "size differs"
            lines.append(f"| {name} | {tool} | {seconds(median(r['times']))} | "
                         f"{megabytes(median(r['rss']))} | {r['bytes']} | {psnr} |")
        summary.append(summarise(entry, results))
    lines.append("")

    lines += ["## Summary: ostrel against the tools", "",
              "| file | kind | ostrel s | fastest tool | ratio | goal | lower bound s | ratio "
              "(≤ 1.5) | ostrel MB | leanest tool MB | ostrel bytes | smallest exact tool "
              "bytes | ostrel PSNR on / off | best tool PSNR |",
              "|---|---|---|---|---|---|---|---|---|---|---|---|---|---|"]
    for s in summary:
        lines.append(
            f"| {s['file']} | {s['kind']} | {seconds(s['ours'])} | "
            f"{s['fastest_tool']} {seconds(s['fastest'])} | {s['ratio']:.2f} | "
            f"≤ {s['goal']:.2f} {'met' if s['speed_met'] else '**not met**'} | "
            f"{seconds(s['lower'])} | {s['lower_ratio']:.2f} "
            f"{'met' if s['lower_met'] else '**not met**'} | {megabytes(s['rss'])} | "
            f"{s['leanest_tool']} {megabytes(s['leanest'])} | {s['bytes']} | {s['size_text']} | "
            f"{s['psnr_text']} | {s['best_psnr_text']} |")
    lines.append("")
    lines += list(scaled_lines)

    lines += ["## Requests through ostrel", "",
              "A sandbox holds copies of `build/ostrel` and `build/Caskle.ClsCaskle` and a "
              "Varnow.ini whose `[Converter]` section sets `TempDir`; each request runs "
              "`ostrel` with `REQUEST_METHOD=GET`, `QUERY_STRING=FN=NAME&Path=CORPUS/`, which "
              "runs the converter, waits for the GIF and streams it. Medians of "
              f"{len(next(iter(requests.values())))} interleaved rounds.", "",
              "| what | median ms | min ms |", "|---|---|---|"]
    for label, times in requests.items():
        lines.append(f"| {label} | {median(times) * 1000:.1f} | {min(times) * 1000:.1f} |")
    if request_failures:
        lines += ["", "Failed requests: " + "; ".join(request_failures)]
    lines.append("")

    lines += ["## Stages (Google Benchmark)", "",
              "`build/bench/stage_benchmark CORPUS`: the converter's stages in one process, "
              "on the same files.", "", "```", stages, "```", ""]

    lines += ["## Goals", ""] + goal_lines(summary, requests, files, results, scaled) + [""]
    lines += ["## What limits the speed", "",
              "- Gray pages: LZW encoding of noisy 8-bit indices (`LzwEncoder::Put`). A code "
              "covers some 2.8 pixels of the gray scan; every pixel is a hash look-up that waits "
              "for the one before, and every code ends in a look-up that misses, a branch no "
              "predictor gets right. Runs are counted without look-ups, but this scan has few. "
              "Measured and dropped: a direct 4096 x 256 child table with generation stamps, "
              "16-bit slots with the keys beside them, two-slot buckets, a branch-free loop, a "
              "separate table for one-pixel prefixes. Then libtiff's LZW decoding.",
              "- Colour pages against the lower bound: the lower bound maps each pixel with a "
              "shift and a mask to a fixed palette. The converter counts the colours into a "
              "histogram, cuts a palette and maps each pixel exactly to it; with error diffusion "
              "each pixel waits for the one before it (its error, then its table look-up). "
              "Decoding (mostly libdeflate's inflating) and LZW encoding are the same work in "
              "both; libtiff's RGBA rendering of 8-bit RGB costs little beside inflating, and "
              "reading the strips ourselves bought nothing measurable.",
              "- Small colour pages: fresh memory. A page fault costs some 2 microseconds on "
              "this machine; the colour histogram (11 MiB) and the held RGBA frame are most of "
              "the faults of the RGBA photo.",
              "- Threads: on pages of 256 Kpx or more a second thread LZW-encodes while the "
              "first decodes and maps, and surveys the colours of a held frame band by band "
              "behind its decoding, so a page costs about the longer of the two halves, not "
              "their sum. Decoding and error diffusion stay serial: libtiff decodes a strip at a "
              "time in order, and each row's error goes into the next. Times are wall times and "
              "the lower bound uses one thread: with the other core busy, the second thread "
              "buys little.",
              "- Fixed cost: the times of whole processes on this shared machine vary with its "
              "load; the empty process row shows how much.", ""]
    if profiles:
        lines += ["## Profiles of files that miss a goal", "",
                  "`perf record` of one conversion, `perf report --no-children --sort "
                  "dso,symbol`, the eight hottest entries.", ""]
        for label, text in profiles.items():
            lines += [f"{label}:", "", "```", text, "```", ""]
    with open(path, "w") as report:
        report.write("\n".join(lines))


def summarise(entry, results):
    name = entry["file"]
    kind = entry["kind"]
    ours = results[(name, CONVERTER)]
    tools = [t for t in OTHER_TOOLS if results[(name, t)].get("ok")]
    fastest_tool = min(tools, key=lambda t: median(results[(name, t)]["times"]))
    leanest_tool = min(tools, key=lambda t: median(results[(name, t)]["rss"]))
    s = {"file": name, "kind": kind, "ours": median(ours["times"]),
         "fastest_tool": fastest_tool, "fastest": median(results[(name, fastest_tool)]["times"]),
         "lower": median(results[(name, LOWER_BOUND)]["times"]),
         "rss": median(ours["rss"]), "leanest_tool": leanest_tool,
         "leanest": median(results[(name, leanest_tool)]["rss"]),
         "bytes": ours.get("bytes", 0)}
    s["ratio"] = s["ours"] / s["fastest"]
    s["goal"] = 1 / 3 if kind in ("bilevel", "gray") else 0.5
    s["speed_met"] = s["ratio"] <= s["goal"]
    s["lower_ratio"] = s["ours"] / s["lower"]
    s["lower_met"] = s["lower_ratio"] <= 1.5
    s["size_text"] = "-"
    s["size_met"] = True
    s["psnr_text"] = psnr_text(ours["psnr"]) if ours.get("ok") else "failed"
    s["best_psnr_text"] = "-"
    s["psnr_met"] = True
    if kind != "colour":
        exact = [t for t in tools if results[(name, t)].get("exact")]
        if exact:
            smallest = min(exact, key=lambda t: results[(name, t)]["bytes"])
            s["size_text"] = f"{smallest} {results[(name, smallest)]['bytes']}"
            s["size_met"] = ours.get("exact") and s["bytes"] <= results[(name, smallest)]["bytes"]
        inexact = [t for t in tools if not results[(name, t)].get("exact")]
        if inexact:
            s["size_text"] += " (not exact: " + ", ".join(inexact) + ")"
    else:
        off = results[(name, CONVERTER_NO_DITHER)]
        best = max(tools, key=lambda t: results[(name, t)]["psnr"])
        best_psnr = results[(name, best)]["psnr"]
        s["psnr_text"] += " / " + (psnr_text(off["psnr"]) if off.get("ok") else "failed")
        s["best_psnr_text"] = f"{best} {psnr_text(best_psnr)}"
        s["psnr_met"] = (ours.get("ok") and off.get("ok") and ours["psnr"] >= best_psnr and
                         off["psnr"] >= best_psnr)
        s["memory_met"] = s["rss"] <= s["leanest"]
    return s


def goal_lines(summary, requests, files, results, scaled=()):
    lines = []

    def verdict(met):
        return "met" if met else "**not met**"

    def goal(text, missed, describe):
        lines.append(f"- {text}: {verdict(not missed)}" +
                     ("" if not missed else "; missed on " + ", ".join(map(describe, missed))))

    goal("Speed against the fastest tool (half; a third on bilevel and gray)",
         [s for s in summary if not s["speed_met"]],
         lambda s: f"{s['file']} ({s['ratio']:.2f} for ≤ {s['goal']:.2f})")
    goal("Speed against the one-process lower bound (≤ 1.5)",
         [s for s in summary if not s["lower_met"]],
         lambda s: f"{s['file']} ({s['lower_ratio']:.2f})")
    drawing = [s for s in summary if s["file"] == "drawing-g4.tif"]
    if drawing:
        d = drawing[0]
        size = next(f for f in files if f["file"] == d["file"])
        lines.append(f"- Memory on the G4 drawing ({size['width']} x {size['height']}), ≤ 16 MB: "
                     f"{megabytes(d['rss'])} MB, {verdict(d['rss'] <= 16 * 1024)}")
    colour = [s for s in summary if s["kind"] == "colour"]
    goal("Memory on colour images ≤ the leanest tool's",
         [s for s in colour if not s["memory_met"]],
         lambda s: f"{s['file']} ({megabytes(s['rss'])} MB against {s['leanest_tool']} "
                   f"{megabytes(s['leanest'])} MB)")
    goal("GIF bytes ≤ the smallest exact tool's on bilevel, gray and palette files",
         [s for s in summary if s["kind"] != "colour" and not s["size_met"]],
         lambda s: f"{s['file']} ({s['bytes']} against {s['size_text']})")
    goal("PSNR on colour files ≥ the best tool's, dithering on and off",
         [s for s in colour if not s["psnr_met"]],
         lambda s: f"{s['file']} ({s['psnr_text']} against {s['best_psnr_text']})")
    small = requests.get("request for rgb-16x16.tif")
    if small:
        lines.append(f"- A whole request for a 16 x 16 TIFF ≤ 10 ms: "
                     f"{median(small) * 1000:.1f} ms, {verdict(median(small) <= 0.010)}")
    if scaled:
        def failed_or(text_of):
            return lambda s: (f"{s['case']} (failed: {s['error']})" if not s["ok"] else
                              f"{s['case']} ({text_of(s)})")

        goal(f"Reduced pages: speed ≤ {SPEED_GOAL} x the fastest tool's",
             [s for s in scaled if not s["speed_met"]],
             failed_or(lambda s: f"{s['ratio']:.2f}, {seconds(s['ours'])} s against "
                                 f"{s['fastest_tool']} {seconds(s['fastest'])} s"))
        bilevel = [s for s in scaled if s["kind"] == "bilevel"]
        others = [s for s in scaled if s["kind"] != "bilevel"]
        if bilevel:
            goal(f"Reduced bilevel pages: PSNR ≥ {BILEVEL_PSNR_GOAL:.0f} dB",
                 [s for s in bilevel if not s["psnr_met"]],
                 failed_or(lambda s: f"{psnr_text(s['psnr'])} dB"))
            goal(f"Reduced bilevel pages: GIF bytes ≤ {BILEVEL_BYTES_GOAL} x the smallest tool's",
                 [s for s in bilevel if not s["bytes_met"]],
                 failed_or(lambda s: f"{s['bytes']} for {s['bytes_goal']:.0f}; "
                                     f"{s.get('smallest_text', 'no tool succeeded')}"))
        if others:
            goal("Reduced gray and colour pages: PSNR ≥ the best tool's, no more bytes than it",
                 [s for s in others if not (s["psnr_met"] and s["bytes_met"])],
                 failed_or(lambda s: f"{psnr_text(s['psnr'])} dB, {s['bytes']} bytes against "
                                     f"{s['bytes_goal_text'][2:]} bytes at "
                                     f"{psnr_text(s['psnr_goal'])} dB"))
        for s in scaled:
            if s["id"] == "drawing-g4-256":
                size = next(f for f in files if f["file"] == "drawing-g4.tif")
                met = s["ok"] and s["rss"] <= DRAWING_MEMORY_GOAL_KIB
                lines.append(f"- Memory on the G4 drawing ({size['width']} x {size['height']}) at "
                             f"width=256, ≤ {DRAWING_MEMORY_GOAL_KIB // 1024} MB: "
                             f"{megabytes(s['rss'])} MB, {verdict(met)}" +
                             ("" if s["ok"] else f" (failed: {s['error']})"))
    return lines


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", required=True)
    parser.add_argument("--work", required=True)
    parser.add_argument("--out", required=True)
    parser.add_argument("--set", choices=["bench", "quick"], default="bench")
    parser.add_argument("--rounds", type=int, default=5)
    parser.add_argument("--request-rounds", type=int, default=30)
    parser.add_argument("--tile-server", default="/",
                        help="where the tile server's package is unpacked")
    parser.add_argument("--files", default="", help="comma-separated file names of the set")
    args = parser.parse_args()
    args.build = os.path.abspath(args.build)
    global RSS_FILE
    RSS_FILE = os.path.join(os.path.abspath(args.work), "rss")
    started = time.monotonic()

    def log(text):
        print(f"bench: {text}", file=sys.stderr, flush=True)

    corpus = os.path.join(os.path.abspath(args.work), "corpus")
    out_dir = os.path.join(os.path.abspath(args.work), "out")
    shutil.rmtree(out_dir, ignore_errors=True)
    os.makedirs(corpus, exist_ok=True)
    subprocess.run([f"{args.build}/bench/make_corpus", args.set, corpus], check=True)
    files = read_manifest(corpus)
    if args.files:
        wanted = args.files.split(",")
        unknown = set(wanted) - {entry["file"] for entry in files}
        if unknown:
            parser.error("not in the corpus: " + ", ".join(sorted(unknown)))
        files = [entry for entry in files if entry["file"] in wanted]
    log(f"corpus of {len(files)} files in {corpus}")

    results = measure_files(args.build, corpus, out_dir, files, args.rounds, log)
    cases = scaled_cases(args.set)
    scaled_results = measure_scaled(args.build, corpus, out_dir, cases, args.rounds, log)
    check_outputs(args.build, corpus, out_dir, files, results)
    check_scaled(corpus, out_dir, cases, scaled_results)
    kinds = {f["file"]: f["kind"] for f in files}
    scaled = [summarise_scaled(c, kinds[c[1]], scaled_results) for c in cases]
    trials = try_fewer_grays(args.build, corpus, out_dir, cases, scaled)
    scaled_lines = scaled_report(cases, files, scaled_results, scaled, args.build, trials)
    tile_lines, tile_failures = tile_bench.tile_report(args.build, corpus, args.work,
                                                     args.rounds, page_size, log,
                                                     args.tile_server)
    scaled_lines += tile_lines
    log("reduced pages checked")
    requests, request_failures = measure_requests(args.build, corpus, args.work,
                                                  args.request_rounds, log)
    stages = run_stage_benchmark(args.build, corpus, args.set == "quick")
    log("stages measured")

    profiles = {}
    if args.set == "bench":
        for entry in files:
            s = summarise(entry, results)
            if not (s["speed_met"] and s["lower_met"]):
                for extra in ([""] if entry["kind"] != "colour" else ["", ", dither=off"]):
                    text = profile(args.build, corpus, entry["file"], args.work,
                                   extra + STORED_PIXELS_ITEMS.get(entry["file"], ""))
                    if text:
                        profiles[f"{entry['file']}{extra.replace(', ', ', ')}"] = text
        for case, s in zip(cases, scaled):
            if s["ok"] and not s["speed_met"]:
                text = profile(args.build, corpus, case[1], args.work,
                               f", {case[2]}" if case[2] else "")
                if text:
                    profiles[case_label(case)] = text
    write_report(args.out, args, files, results, requests, request_failures, stages, profiles,
                 time.monotonic() - started, scaled_lines, scaled)
    log(f"wrote {args.out}")
    failed = [f"{n} by {t}" for (n, t), r in results.items()
              if t in (CONVERTER, CONVERTER_NO_DITHER, LOWER_BOUND) and not r.get("ok")]
    failed += [f"{s['case']} by {CONVERTER} ({s['error']})" for s in scaled if not s["ok"]]
    failed += tile_failures
    if failed or request_failures:
        log("failed: " + "; ".join(failed + request_failures))
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
