#!/usr/bin/env python3
"""The capture's flood done by OpenCV and scipy on the same road mask.

Usage: flood_compare.py MASK WIDTH HEIGHT X Y [--runs N]

MASK is a raw picture of HEIGHT rows of WIDTH pixels, 3 bytes a pixel: white
(255, 255, 255) for every pixel the program's flood reached, black for every
other. (X, Y) is the flood's start cell. Prints the best time over the runs of
each: cv2.inRange building the mask from the picture plus cv2.floodFill with
8-connectivity from the start, cv2.floodFill alone, and scipy.ndimage.label
with the 8-connected structure over the same mask; and the pixels the fill
reached.
"""
import sys
import time

import cv2
import numpy as np
from scipy import ndimage


def best_of(runs, prepare, timed):
    best = None
    result = None
    for _ in range(runs):
        arg = prepare()
        t0 = time.perf_counter()
        result = timed(arg)
        elapsed = time.perf_counter() - t0
        best = elapsed if best is None else min(best, elapsed)
    return best, result


def main(argv):
    runs = 7
    if "--runs" in argv:
        at = argv.index("--runs")
        runs = int(argv[at + 1])
        del argv[at:at + 2]
    if len(argv) != 6:
        sys.stderr.write(__doc__)
        return 2
    path, width, height, x, y = argv[1], int(argv[2]), int(argv[3]), int(argv[4]), int(argv[5])
    picture = np.fromfile(path, dtype=np.uint8)
    if picture.size != width * height * 3:
        sys.stderr.write("flood_compare: %s holds %d bytes, not %d x %d x 3\n" % (path, picture.size, width, height))
        return 2
    picture = picture.reshape(height, width, 3)
    white = np.array([255, 255, 255], dtype=np.uint8)

    def in_range_and_fill(_):
        mask = cv2.inRange(picture, white, white)
        area, _, _, _ = cv2.floodFill(mask, None, (x, y), 128, 0, 0, 8)
        return area

    both, area = best_of(runs, lambda: None, in_range_and_fill)
    mask = cv2.inRange(picture, white, white)
    fill, _ = best_of(runs, lambda: mask.copy(), lambda m: cv2.floodFill(m, None, (x, y), 128, 0, 0, 8)[0])
    structure = np.ones((3, 3), dtype=bool)
    label, (labels, count) = best_of(runs, lambda: None, lambda _: ndimage.label(mask, structure=structure))
    print("inrange_floodfill_seconds %.6f" % both)
    print("floodfill_seconds %.6f" % fill)
    print("label_seconds %.6f" % label)
    print("area %d" % area)
    print("label_area %d" % int(np.count_nonzero(labels == labels[y, x])))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
