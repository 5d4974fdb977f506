"""What the benchmark scripts share: the corpus's manifest and the machine's
processor."""

import os


def read_manifest(corpus):
    """The rows of the corpus's manifest.tsv, as dicts keyed by its header."""
    files = []
    with open(os.path.join(corpus, "manifest.tsv")) as manifest:
        header = manifest.readline().rstrip("\n").split("\t")
        for line in manifest:
            files.append(dict(zip(header, line.rstrip("\n").split("\t"))))
    return files


def cpu_model():
    """The processor's model name from /proc/cpuinfo, or "?"."""
    with open("/proc/cpuinfo") as cpuinfo:
        for line in cpuinfo:
            if line.startswith("model name"):
                return line.split(":", 1)[1].strip()
    return "?"
