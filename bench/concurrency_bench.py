#!/usr/bin/python3
"""Many requests at once: how the program answers a burst of concurrent
requests that each cost real work.

A file of very many pages (by default 100,000 pages of 1 x 1) makes every
legacy `Info` request (the converter's DescribeImage) read its whole chain of
directories. CLIENTS copies of the CGI program are started at once, as a web
server would start them, with no web server in between: each gets the CGI
variables of one GET request and its standard output is read to the end.
Each request is bounded by DEADLINE seconds, after which it is stopped
(SIGTERM, then SIGKILL) and counted as timed out. Nothing is sent over any
network.

Each response is sorted into one of:

  answered   the description, with the right number of pages
  refused    the error page saying that every conversion slot stayed taken
  time-out   the error page of a converter stopped at its time limit or CPU
             limit, or no complete answer within DEADLINE
  other      anything else (printed)

  concurrency_bench.py --build BUILD_DIR --work WORK_DIR
                       [--clients 64] [--pages 100000] [--deadline 60]
                       [--slots N] [--wait SECONDS] [--runs 1]

--slots and --wait write ConversionSlots and SlotWait into the sandbox's
Varnow.ini; without them the program's defaults apply.
"""

import argparse
import os
import resource
import shutil
import signal
import statistics
import struct
import subprocess
import sys
import time

MAX_CLIENTS = 256
MAX_PAGES = 1_000_000
MAX_DEADLINE_SECONDS = 300


def write_many_pages(path, pages):
    """A little-endian TIFF of `pages` pages of 1 x 1 bilevel pixels, all
    pointing at the same one byte of pixel data."""
    entries = [(256, 3, 1), (257, 3, 1), (258, 3, 1), (259, 3, 1), (262, 3, 0), (273, 4, None),
               (277, 3, 1), (278, 3, 1), (279, 4, 1)]
    ifd_size = 2 + 12 * len(entries) + 4
    data_offset = 8 + pages * ifd_size
    out = bytearray(b"II*\x00" + struct.pack("<I", 8))
    for page in range(pages):
        following = 8 + (page + 1) * ifd_size if page + 1 < pages else 0
        out += struct.pack("<H", len(entries))
        for tag, kind, value in entries:
            value = data_offset if value is None else value
            if kind == 3:
                out += struct.pack("<HHIHH", tag, kind, 1, value, 0)
            else:
                out += struct.pack("<HHII", tag, kind, 1, value)
        out += struct.pack("<I", following)
    out += b"\x00"
    temporary = path + ".part"
    with open(temporary, "wb") as file:
        file.write(out)
    os.replace(temporary, path)


def make_sandbox(build, work, slots, wait):
    """The program and its converter copied (the program finds Varnow.ini and
    the converter beside its real executable), a configuration, and a
    private temporary directory."""
    site = os.path.join(work, "site")
    shutil.rmtree(site, ignore_errors=True)
    os.makedirs(os.path.join(site, "tmp"), mode=0o700)
    for name in ("ostrel", "Caskle.ClsCaskle"):
        shutil.copy2(os.path.join(build, name), os.path.join(site, name))
    lines = ["[Converter]", f"TempDir={site}/tmp/"]
    if slots is not None:
        lines.append(f"ConversionSlots={slots}")
    if wait is not None:
        lines.append(f"SlotWait={wait}")
    with open(os.path.join(site, "Varnow.ini"), "w") as file:
        file.write("\n".join(lines) + "\n")
    return site


def classify(output, pages):
    text = output.decode("latin-1")
    if text.startswith("HTTP/1.0 200 OK") and f'{{"pages":{pages},' in text:
        return "answered"
    if "Internal Error" in text and "Error Number =  10503" in text:
        return "refused"
    # The converter stopped at its time limit (1110) or by SIGXCPU (424) or
    # SIGKILL (409).
    for number in ("1110", "424", "409"):
        if "Internal Error" in text and f"Error Number =  {number}" in text:
            return "time-out"
    return "other"


def stop(process):
    """Ends a request that ran past the deadline, by its process id: SIGTERM,
    which has the program stop its converter, then SIGKILL."""
    try:
        os.kill(process.pid, signal.SIGTERM)
        process.wait(timeout=5)
    except (ProcessLookupError, subprocess.TimeoutExpired):
        try:
            os.kill(process.pid, signal.SIGKILL)
        except ProcessLookupError:
            pass
        process.wait()


def run_burst(site, tiff, clients, pages, deadline):
    directory, name = os.path.split(tiff)
    environment = {
        "PATH": "/usr/bin:/bin",
        "GATEWAY_INTERFACE": "CGI/1.1",
        "REQUEST_METHOD": "GET",
        "SCRIPT_NAME": "/cgi-bin/ostrel",
        "QUERY_STRING": f"FN={name[:-4]}&Path={directory}/&Info=1",
    }
    program = os.path.join(site, "ostrel")
    outputs = [os.path.join(site, f"out-{i}") for i in range(clients)]
    cpu_before = resource.getrusage(resource.RUSAGE_CHILDREN)
    start = time.monotonic()
    processes = []
    for path in outputs:
        with open(path, "wb") as output:
            processes.append((subprocess.Popen([program], env=environment, stdout=output,
                                               stderr=subprocess.DEVNULL, cwd=site),
                              time.monotonic()))
    finished = {}
    timed_out = set()
    while len(finished) + len(timed_out) < clients:
        now = time.monotonic()
        for index, (process, started) in enumerate(processes):
            if index in finished or index in timed_out:
                continue
            if process.poll() is not None:
                finished[index] = now - started
            elif now - started > deadline:
                stop(process)
                timed_out.add(index)
        time.sleep(0.01)
    wall = time.monotonic() - start
    cpu_after = resource.getrusage(resource.RUSAGE_CHILDREN)
    cpu = (cpu_after.ru_utime - cpu_before.ru_utime) + (cpu_after.ru_stime - cpu_before.ru_stime)
    kinds = {"answered": [], "refused": [], "time-out": [], "other": []}
    for index, path in enumerate(outputs):
        with open(path, "rb") as output:
            body = output.read()
        os.unlink(path)
        if index in timed_out:
            kinds["time-out"].append(deadline)
            continue
        kind = classify(body, pages)
        kinds[kind].append(finished[index])
        if kind == "other":
            print(f"request {index}: {body[:300]!r}", file=sys.stderr)
    return kinds, wall, cpu


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--build", required=True)
    parser.add_argument("--work", required=True)
    parser.add_argument("--clients", type=int, default=64)
    parser.add_argument("--pages", type=int, default=100_000)
    parser.add_argument("--deadline", type=float, default=60)
    parser.add_argument("--slots", type=int)
    parser.add_argument("--wait", type=int)
    parser.add_argument("--runs", type=int, default=1)
    arguments = parser.parse_args()
    if not 1 <= arguments.clients <= MAX_CLIENTS:
        parser.error(f"--clients must lie from 1 to {MAX_CLIENTS}")
    if not 1 <= arguments.pages <= MAX_PAGES:
        parser.error(f"--pages must lie from 1 to {MAX_PAGES}")
    if not 0 < arguments.deadline <= MAX_DEADLINE_SECONDS:
        parser.error(f"--deadline must lie above 0 and up to {MAX_DEADLINE_SECONDS}")
    if not 1 <= arguments.runs <= 10:
        parser.error("--runs must lie from 1 to 10")

    work = os.path.abspath(arguments.work)
    os.makedirs(work, exist_ok=True)
    tiff = os.path.join(work, f"pages-{arguments.pages}.tif")
    if not os.path.exists(tiff):
        write_many_pages(tiff, arguments.pages)
    site = make_sandbox(os.path.abspath(arguments.build), work, arguments.slots, arguments.wait)

    # One request alone first: what each of the burst's requests costs.
    alone, alone_wall, alone_cpu = run_burst(site, tiff, 1, arguments.pages, arguments.deadline)
    print(f"one request alone: {alone_wall:.2f} s, {alone_cpu:.2f} CPU-s, "
          f"{'answered' if alone['answered'] else 'NOT answered'}")
    settings = (f"ConversionSlots={arguments.slots if arguments.slots is not None else 'default'}, "
                f"SlotWait={arguments.wait if arguments.wait is not None else 'default'}")
    print(f"\n{arguments.clients} concurrent Info requests on a {arguments.pages}-page file, "
          f"{os.cpu_count()} processors, deadline {arguments.deadline:g} s, {settings}\n")
    print("| run | answered | refused | time-out | other | median answer s | slowest answer s "
          "| slowest refusal s | wall s | CPU-s |")
    print("|---|---|---|---|---|---|---|---|---|---|")
    for run in range(arguments.runs):
        kinds, wall, cpu = run_burst(site, tiff, arguments.clients, arguments.pages,
                                     arguments.deadline)
        slowest = {kind: (f"{max(times):.2f}" if times else "-") for kind, times in kinds.items()}
        answers = kinds["answered"]
        median = f"{statistics.median(answers):.2f}" if answers else "-"
        print(f"| {run + 1} | {len(answers)} | {len(kinds['refused'])} | "
              f"{len(kinds['time-out'])} | {len(kinds['other'])} | {median} | "
              f"{slowest['answered']} | {slowest['refused']} | {wall:.2f} | {cpu:.2f} |")
    left = [name for name in os.listdir(os.path.join(site, "tmp")) if not name.startswith(".slot-")]
    if left:
        print(f"left in the temporary directory: {left}")


if __name__ == "__main__":
    main()
