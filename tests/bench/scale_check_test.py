"""The benchmark's ruler for reduced pages: bench/scale_check.py's area
averages against a direct sum over exact fractions, and the sizes it
expects pages to come out at.

  scale_check_test.py   (unittest; run by ctest with the label bench)
"""

import os
import sys
import tempfile
import unittest
from fractions import Fraction

import numpy as np
from PIL import Image

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "bench"))
import scale_check  # noqa: E402


def direct_average(pixels, width, height):
    """Each output pixel as the sum of every source pixel times its exact
    share of the output pixel's area; `pixels` has one channel."""
    source_height, source_width = pixels.shape
    result = np.zeros((height, width))
    for oy in range(height):
        top, bottom = Fraction(oy * source_height, height), Fraction((oy + 1) * source_height, height)
        for ox in range(width):
            left = Fraction(ox * source_width, width)
            right = Fraction((ox + 1) * source_width, width)
            total = Fraction(0)
            for sy in range(int(top), min(source_height, int(bottom) + 1)):
                share_y = min(bottom, sy + 1) - max(top, sy)
                for sx in range(int(left), min(source_width, int(right) + 1)):
                    share = share_y * (min(right, sx + 1) - max(left, sx))
                    if share > 0:
                        total += share * int(pixels[sy, sx])
            result[oy, ox] = float(total / ((bottom - top) * (right - left)))
    return result


class AreaAverageTest(unittest.TestCase):
    def test_matches_the_direct_sum(self):
        random = np.random.default_rng(7)
        cases = [  # source height, width -> output height, width
            (7, 5, 3, 2),    # odd sizes, fractional factors
            (12, 9, 4, 3),   # exact factors
            (13, 11, 13, 4),  # one side kept
            (9, 17, 1, 1),   # the whole page in one pixel
            (10, 7, 6, 5),   # factors below 2
        ]
        for source_height, source_width, height, width in cases:
            with self.subTest(size=(source_height, source_width, height, width)):
                pixels = random.integers(0, 256, (source_height, source_width, 1))
                reduced = scale_check.area_average(
                    scale_check.area_average(pixels.astype(np.float64), 1, width), 0, height)
                self.assertEqual(reduced.shape, (height, width, 1))
                np.testing.assert_allclose(reduced[:, :, 0],
                                           direct_average(pixels[:, :, 0], width, height),
                                           atol=1e-9)

    def test_bilevel_page_counts_paper_as_white(self):
        # 4 x 2 page, ink in three of the eight pixels; Pillow's "1" is white where set.
        page = Image.new("1", (4, 2), 1)
        for x, y in [(0, 0), (1, 0), (3, 1)]:
            page.putpixel((x, y), 0)
        with tempfile.TemporaryDirectory() as directory:
            path = os.path.join(directory, "page.tif")
            page.save(path, compression="group4")
            reference = scale_check.Reference(path)
        self.assertEqual(reference.kind, "bilevel")
        np.testing.assert_allclose(reference.at(1, 1), [[[255.0 * 5 / 8]]])
        np.testing.assert_allclose(reference.at(2, 1)[0, :, 0], [255.0 * 2 / 4, 255.0 * 3 / 4])


class ViewSizeTest(unittest.TestCase):
    def test_sizes(self):
        cases = [  # stored size, resolution (x, y, unit), box, aspect -> expected size
            ((1728, 1123), (204, 98, 2), (None, None), "auto", (830, 1123)),
            ((1728, 1123), (204, 98, 2), (None, None), "none", (1728, 1123)),
            ((1728, 1123), (204, 98, 2), (600, None), "auto", (600, 812)),
            ((1728, 2246), (204, 196, 2), (None, None), "auto", (1728, 2246)),  # below 1.2
            ((1000, 1000), (120, 100, 2), (None, None), "auto", (833, 1000)),  # exactly 1.2
            ((1000, 1000), (119, 100, 2), (None, None), "auto", (1000, 1000)),
            ((1000, 1000), (40, 80, 3), (None, None), "auto", (1000, 500)),  # centimetres, y denser
            ((1000, 1000), (100, 200, 1), (None, None), "auto", (1000, 1000)),  # no unit
            ((2480, 3508), (300, 300, 2), (256, None), "auto", (256, 362)),
            ((2480, 3508), (300, 300, 2), (None, 500), "auto", (353, 500)),
            ((2480, 3508), (300, 300, 2), (800, 800), "auto", (566, 800)),
            ((300, 200), (300, 300, 2), (800, 600), "auto", (300, 200)),  # never enlarged
        ]
        with tempfile.TemporaryDirectory() as directory:
            path = os.path.join(directory, "page.tif")
            for size, (x_dpi, y_dpi, unit), box, aspect, expected in cases:
                with self.subTest(size=size, dpi=(x_dpi, y_dpi, unit), box=box, aspect=aspect):
                    Image.new("1", size, 1).save(path, compression="group4",
                                                 resolution_unit=unit,
                                                 x_resolution=x_dpi, y_resolution=y_dpi)
                    self.assertEqual(scale_check.view_size(path, *box, aspect=aspect), expected)


if __name__ == "__main__":
    unittest.main()
