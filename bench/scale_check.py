"""How faithful a reduced GIF is: PSNR against the exact area average of its
source at the GIF's own size, computed in floating point.

Each output pixel of the reference is the mean of the source area it covers,
partial source pixels at the edges weighted by their share. A bilevel page
counts as 0 (ink) and 255 (paper). Used by run_bench.py; also a command:

  scale_check.py SOURCE.tif GIF...   one line per GIF: bytes, width, height, PSNR, colours
"""

import os
import sys

# One core for numpy's libraries: the machine is shared and the work is small.
for _variable in ("OPENBLAS_NUM_THREADS", "OMP_NUM_THREADS"):
    os.environ.setdefault(_variable, "1")

import numpy as np  # noqa: E402
from PIL import Image  # noqa: E402

Image.MAX_IMAGE_PIXELS = None  # the 10000 x 14000 drawing is a real input here

BAND_ROWS = 512  # source rows turned to floating point at a time
ASPECT_FACTOR = 1.2  # resolutions this far apart make pixels square


def area_average(values, axis, size):
    """Reduces `values` along `axis` to `size` by exact area averaging: the
    running sum of a row of pixels, a piecewise linear function, is read at
    the output pixels' fractional edges."""
    count = values.shape[axis]
    sums = np.cumsum(values, axis=axis, dtype=np.float64)
    shape = list(sums.shape)
    shape[axis] = 1
    sums = np.concatenate([np.zeros(shape), sums], axis=axis)
    edges = np.arange(size + 1, dtype=np.float64) * count / size
    whole = np.minimum(np.floor(edges).astype(np.int64), count - 1)
    part_shape = [1] * values.ndim
    part_shape[axis] = size + 1
    part = (edges - whole).reshape(part_shape)
    below = np.take(sums, whole, axis=axis)
    above = np.take(sums, whole + 1, axis=axis)
    at_edges = below + part * (above - below)
    return np.diff(at_edges, axis=axis) * (size / count)


class Reference:
    """The first page of a TIFF file and its area averages, one per size."""

    def __init__(self, path):
        with Image.open(path) as image:
            self.kind = {"1": "bilevel", "L": "gray"}.get(image.mode, "colour")
            self.width, self.height = image.size
            # bool for bilevel pages: True is paper
            self._pixels = np.asarray(image if image.mode in ("1", "L", "RGB")
                                      else image.convert("RGB"))
        self._columns = {}  # width -> every source row reduced to that width
        self._averages = {}

    def at(self, width, height):
        """The reference at width x height: height x width x channels, 0..255."""
        if (width, height) not in self._averages:
            if width not in self._columns:
                bands = []
                for top in range(0, self.height, BAND_ROWS):
                    band = self._pixels[top:top + BAND_ROWS].astype(np.float64)
                    if self.kind == "bilevel":
                        band *= 255.0
                    if band.ndim == 2:
                        band = band[:, :, np.newaxis]
                    bands.append(area_average(band, 1, width))
                self._columns[width] = np.concatenate(bands, axis=0)
            self._averages[(width, height)] = area_average(self._columns[width], 0, height)
        return self._averages[(width, height)]


def gif_pixels(path):
    """The GIF's colours over white, height x width x 3, as floating point."""
    with Image.open(path) as image:
        rgba = np.asarray(image.convert("RGBA"), dtype=np.float64)
    alpha = rgba[:, :, 3:] / 255.0
    return rgba[:, :, :3] * alpha + 255.0 * (1.0 - alpha)


def psnr(pixels, reference):
    """dB over red, green and blue of every pixel; a gray reference counts
    for all three."""
    error = np.mean((pixels - reference) ** 2)  # broadcasts one channel to three
    return float("inf") if error == 0 else 10 * np.log10(255.0 ** 2 / error)


def level_ceiling(reference, levels):
    """The PSNR of the reference rounded to the nearest of `levels` evenly
    spaced grays from 0 to 255: no picture in those grays comes closer."""
    step = 255.0 / (levels - 1)
    return psnr(np.round(reference / step) * step, reference)


def check(reference, gif_path):
    """(bytes, width, height, PSNR, colours used) of one GIF against its source."""
    pixels = gif_pixels(gif_path)
    height, width = pixels.shape[:2]
    colours = len(np.unique(pixels.reshape(-1, 3), axis=0))
    return (os.path.getsize(gif_path), width, height, psnr(pixels, reference.at(width, height)),
            colours)


def resolution(path):
    """(x, y) resolutions of the first page when both are present in inches
    or centimetres, else None."""
    with Image.open(path) as image:
        tags = image.tag_v2
        x, y, unit = tags.get(282), tags.get(283), tags.get(296, 2)
    if x is None or y is None or unit not in (2, 3) or float(x) <= 0 or float(y) <= 0:
        return None
    return float(x), float(y)


def view_size(path, box_width=None, box_height=None, aspect="auto"):
    """The size a page should come out at: pixels made square where the two
    resolutions differ by the aspect factor or more, then fitted inside the
    box, never enlarged."""
    with Image.open(path) as image:
        width, height = image.size
    shape_width, shape_height = float(width), float(height)
    dpi = resolution(path) if aspect == "auto" else None
    if dpi is not None and max(dpi) / min(dpi) >= ASPECT_FACTOR:
        if dpi[0] > dpi[1]:
            shape_width = width * dpi[1] / dpi[0]
        else:
            shape_height = height * dpi[0] / dpi[1]
    scale = 1.0
    if box_width is not None:
        scale = min(scale, box_width / shape_width)
    if box_height is not None:
        scale = min(scale, box_height / shape_height)
    return (max(1, int(shape_width * scale + 0.5)), max(1, int(shape_height * scale + 0.5)))


def main(argv):
    if len(argv) < 3:
        print("usage: scale_check.py SOURCE.tif GIF...", file=sys.stderr)
        return 2
    reference = Reference(argv[1])
    for gif_path in argv[2:]:
        size, width, height, value, colours = check(reference, gif_path)
        print(f"{gif_path}\t{size}\t{width}\t{height}\t{value:.2f}\t{colours}")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
