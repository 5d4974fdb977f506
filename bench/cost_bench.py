#!/usr/bin/python3
"""The cost of hostile small files: the converter on each file of the
hostile corpus (`make_corpus hostile`: files of at most 1 MB whose pages cost
far more than their size) with a range of items, as a client or the IIIF
service may ask, each run's CPU seconds (user and system), peak resident
memory and output size against the goal: every run finishes or is refused
within 2 CPU-s and 64 MB, and leaves no output larger than the output cap.

  cost_bench.py --build BUILD_DIR [--work WORK_DIR] [--out COST.md]
                [--converter PATH] [--files A.tif,B.tif] [--cases plain,rotate=90]

--converter measures another build of the converter (say, one from before a
change) on the same files; the corpus comes from BUILD_DIR's make_corpus.
The exit status is 0 whatever the runs gave: this measures, it does not
judge; the closing line counts the runs that missed the goal.
"""

import argparse
import os
import shutil
import subprocess
import sys
import threading
import time

from bench_common import cpu_model, read_manifest

CPU_GOAL_SECONDS = 2.0
MEMORY_GOAL_KIB = 64 * 1024
OUTPUT_CAP_BYTES = 256 << 20  # the most output a run may leave
MOST_FILE_BYTES = 1 << 20
TIMEOUT_SECONDS = 60  # wall time; the converter stops itself after 30 CPU-s

# label, the converter's items for a page of width w and height h
CASES = [
    ("plain", lambda w, h: ""),
    ("width=12000", lambda w, h: "width=12000"),
    ("rotate=90", lambda w, h: "rotate=90"),
    ("region", lambda w, h: f"region={w // 4},{h // 4},{max(w // 2, 1)},{max(h // 2, 1)}"),
    ("region+size", lambda w, h: f"region={w // 4},{h // 4},{max(w // 2, 1)},{max(h // 2, 1)}, "
                                 "size=512,512"),
    ("size=1000,1000", lambda w, h: "size=1000,1000"),
    ("format=png", lambda w, h: "format=png"),
    ("format=jpg", lambda w, h: "format=jpg"),
]


def make_corpus(build, corpus):
    """Writes the hostile corpus into `corpus`, unless it is there already
    and newer than make_corpus."""
    tool = os.path.join(build, "bench", "make_corpus")
    manifest = os.path.join(corpus, "manifest.tsv")
    if os.path.exists(manifest) and os.path.getmtime(manifest) >= os.path.getmtime(tool):
        return
    shutil.rmtree(corpus, ignore_errors=True)
    os.makedirs(corpus)
    subprocess.run([tool, "hostile", corpus], check=True)


def run_converter(converter, items, report):
    """Runs the converter under /usr/bin/time: (exit status or -signal, the
    last line of its standard error, CPU seconds, peak RSS in KiB). Its
    standard error goes to a file: a pipe could fill while nobody reads."""
    command = ["/usr/bin/time", "-f", "%U %S %M", "-o", report, converter, "ConvertImage", items]
    errors = report + ".stderr"
    with open(errors, "wb") as stderr:
        process = subprocess.Popen(command, stdin=subprocess.DEVNULL,
                                   stdout=subprocess.DEVNULL, stderr=stderr)
        killer = threading.Timer(TIMEOUT_SECONDS, process.kill)
        killer.start()
        try:
            status = process.wait()
        finally:
            killer.cancel()
    cpu, rss = float("nan"), 0
    with open(report) as lines:
        for line in lines:  # "Command terminated by signal 9" may come first
            words = line.split()
            if len(words) == 3 and words[2].isdigit():
                cpu, rss = float(words[0]) + float(words[1]), int(words[2])
            elif line.startswith("Command terminated by signal"):
                status = -int(words[-1])
    with open(errors, errors="replace") as text:
        lines = [line.strip() for line in text if line.strip()]
    return status, lines[-1] if lines else "", cpu, rss


def outcome(status, message, corpus):
    if status == 0:
        return "converted"
    if status < 0:
        return f"killed by signal {-status}"
    # The file's path says nothing a reader of the table needs.
    short = message.replace(corpus + "/", "")
    return f"refused ({status}): {short[:90]}"


def measure(converter, corpus, work, files, cases, log):
    rows = []
    out_dir = os.path.join(work, "out")
    os.makedirs(out_dir, exist_ok=True)
    report = os.path.join(work, "time")
    for entry in files:
        name = entry["file"]
        source = os.path.join(corpus, name)
        width, height = int(entry["width"]), int(entry["height"])
        for label, items_of in cases:
            items = items_of(width, height)
            extension = "png" if "format=png" in items else "jpg" if "format=jpg" in items else "gif"
            dest = os.path.join(out_dir, f"out.{extension}")
            if os.path.exists(dest):
                os.unlink(dest)
            parameters = f"source={source}, dest={dest}" + (f", {items}" if items else "")
            status, message, cpu, rss = run_converter(converter, parameters, report)
            output = os.path.getsize(dest) if status == 0 and os.path.exists(dest) else 0
            if os.path.exists(dest):
                os.unlink(dest)
            met = cpu <= CPU_GOAL_SECONDS and rss <= MEMORY_GOAL_KIB and output <= OUTPUT_CAP_BYTES
            rows.append({"file": name, "bytes": os.path.getsize(source), "case": label,
                         "items": items, "outcome": outcome(status, message, corpus),
                         "cpu": cpu, "rss": rss, "output": output, "met": met})
            log(f"{name} {label}: {cpu:.2f} CPU-s, {rss / 1024:.0f} MB, {rows[-1]['outcome']}")
    return rows


def table(rows):
    lines = ["| file | KB | items | outcome | CPU-s | peak MB | output MB | goal |",
             "|---|---:|---|---|---:|---:|---:|---|"]
    for row in rows:
        misses = []
        if not row["cpu"] <= CPU_GOAL_SECONDS:
            misses.append("CPU")
        if row["rss"] > MEMORY_GOAL_KIB:
            misses.append("memory")
        if row["output"] > OUTPUT_CAP_BYTES:
            misses.append("output")
        goal = "met" if not misses else "**missed: " + ", ".join(misses) + "**"
        items = f"`{row['items']}`" if row["items"] else "(none)"
        lines.append(f"| {row['file']} | {row['bytes'] / 1000:.0f} | {items} | {row['outcome']} | "
                     f"{row['cpu']:.2f} | {row['rss'] / 1024:.1f} | "
                     f"{row['output'] / 1e6:.1f} | {goal} |")
    return lines


def machine():
    cpu = cpu_model()
    load = " ".join(f"{x:.2f}" for x in os.getloadavg())
    return f"{cpu}, {os.cpu_count()} cores, load average {load}"


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--build", required=True, help="the build tree with make_corpus")
    parser.add_argument("--work", default="", help="scratch directory (default BUILD/bench-cost)")
    parser.add_argument("--out", default="", help="also write the table here, as Markdown")
    parser.add_argument("--converter", default="", help="default BUILD/Caskle.ClsCaskle")
    parser.add_argument("--files", default="", help="comma-separated file names of the corpus")
    parser.add_argument("--cases", default="", help="comma-separated case labels: " +
                        ", ".join(label for label, _ in CASES))
    args = parser.parse_args()
    build = os.path.abspath(args.build)
    work = os.path.abspath(args.work or os.path.join(build, "bench-cost"))
    converter = os.path.abspath(args.converter or os.path.join(build, "Caskle.ClsCaskle"))

    def log(text):
        print(f"cost: {text}", file=sys.stderr, flush=True)

    corpus = os.path.join(work, "corpus")
    os.makedirs(work, exist_ok=True)
    make_corpus(build, corpus)
    files = read_manifest(corpus)
    if args.files:
        wanted = args.files.split(",")
        unknown = set(wanted) - {entry["file"] for entry in files}
        if unknown:
            parser.error("not in the corpus: " + ", ".join(sorted(unknown)))
        files = [entry for entry in files if entry["file"] in wanted]
    cases = CASES
    if args.cases:
        wanted = args.cases.split(",")
        unknown = set(wanted) - {label for label, _ in CASES}
        if unknown:
            parser.error("no such case: " + ", ".join(sorted(unknown)))
        cases = [case for case in CASES if case[0] in wanted]
    too_large = [e["file"] for e in files
                 if os.path.getsize(os.path.join(corpus, e["file"])) > MOST_FILE_BYTES]
    if too_large:
        log("over 1 MB, so not what the goal is about: " + ", ".join(too_large))

    started = time.monotonic()
    rows = measure(converter, corpus, work, files, cases, log)
    missed = sum(1 for row in rows if not row["met"])
    shown = converter.replace(build, "build") if converter.startswith(build + "/") else converter
    lines = ["# Cost of hostile small files", "",
             f"Written by `bench/cost_bench.py`. `{shown}` on each file of "
             f"`make_corpus hostile`, on {machine()}; goal: at most "
             f"{CPU_GOAL_SECONDS:g} CPU-s (user and system), {MEMORY_GOAL_KIB // 1024} MB peak "
             f"memory and {OUTPUT_CAP_BYTES >> 20} MB of output a run. "
             f"{time.monotonic() - started:.0f} s in all.", ""]
    lines += table(rows)
    lines += ["", f"cost: {len(rows) - missed} of {len(rows)} runs within the goal, "
                  f"{missed} missed"]
    text = "\n".join(lines) + "\n"
    print(text, end="")
    if args.out:
        with open(args.out, "w") as out:
            out.write(text)
    return 0


if __name__ == "__main__":
    sys.exit(main())
