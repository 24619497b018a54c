#!/usr/bin/env python3
"""Pixel questions the end-to-end tests ask of pictures and screenshots.

  pixels.py white-points PICTURE N      N white road points on a street (white on both sides along it), spread apart
  pixels.py pixel PICTURE X Y           the colour at (X, Y) as "R G B"
  pixels.py check-markers MAP SHOWN     pixels of SHOWN that differ from MAP and are not a marker
                                        colour on a road pixel of MAP (magenta marks are allowed)

Pictures are read through ImageMagick's convert. The road test here is written
from the colour rules independently of the program, as a check on it."""
import math
import subprocess
import sys


def read(path):
    data = subprocess.run(["convert", path, "-depth", "8", "ppm:-"], check=True, capture_output=True).stdout
    fields, pos = [], 0
    while len(fields) < 4:
        while data[pos:pos + 1].isspace():
            pos += 1
        start = pos
        while not data[pos:pos + 1].isspace():
            pos += 1
        fields.append(data[start:pos])
    w, h = int(fields[1]), int(fields[2])
    px = data[pos + 1:]
    return w, h, lambda x, y: tuple(px[(y * w + x) * 3:(y * w + x) * 3 + 3])


def hue(r, g, b):
    if r == g == b == 0:
        return 0
    d1 = 0.7 * r - 0.59 * g - 0.11 * b
    d2 = (-(0.3 * r) - 0.59 * g) + 0.89 * b
    if d1 == 0 or d2 == 0 or int(math.sqrt(d1 * d1 + d2 * d2)) <= 0:
        return 0
    a = math.atan2(d1, d2) * 180 / 3.141592
    return int(a + 360 if a < 0 else a)


def road(c):
    r, g, b = c
    if c in ((242, 239, 233), (232, 214, 180), (151, 151, 151), (250, 50, 10)):
        return False
    if c in ((100, 250, 100), (250, 200, 20), (244, 209, 102), (255, 247, 165), (254, 107, 95)):
        return True
    if r == g == b:
        return True
    h = hue(r, g, b)
    return 150 < h < 155 or h > 300


def white_points(path, n):
    w, h, at = read(path)
    chosen = []
    for y in range(15, h - 15, 3):
        for x in range(15, w - 15, 3):
            white = lambda i, j: at(x + i, y + j) == (255, 255, 255)
            if white(0, 0) and ((white(-1, 0) and white(1, 0)) or (white(0, -1) and white(0, 1))):
                if all(abs(x - a) + abs(y - b) > 40 for a, b in chosen):
                    chosen.append((x, y))
                    if len(chosen) == n:
                        return chosen
    return chosen


def check_markers(map_path, shown_path):
    w, h, m = read(map_path)
    w2, h2, s = read(shown_path)
    markers = {(100, 250, 100), (250, 200, 20), (250, 50, 10)}
    bad = changed = 0
    for y in range(min(h, h2)):
        for x in range(min(w, w2)):
            a, b = m(x, y), s(x, y)
            if a == b:
                continue
            changed += 1
            if b == (255, 0, 255):
                continue
            if b not in markers or not road(a):
                bad += 1
    return changed, bad


def main():
    cmd = sys.argv[1]
    if cmd == "white-points":
        for x, y in white_points(sys.argv[2], int(sys.argv[3])):
            print(x, y)
    elif cmd == "pixel":
        _, _, at = read(sys.argv[2])
        print(*at(int(sys.argv[3]), int(sys.argv[4])))
    elif cmd == "check-markers":
        changed, bad = check_markers(sys.argv[2], sys.argv[3])
        print(changed, bad)


if __name__ == "__main__":
    main()
