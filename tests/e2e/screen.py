#!/usr/bin/env python3
"""Where things are on a screenshot, for the runs beside a real browser.

  screen.py find-square PICTURE R G B SIZE   top-left "X Y" of the first SIZE x SIZE block of exactly
                                             that colour (rows from the top, then columns); exit 1 if none

Pictures are read through ImageMagick's convert, as pixels.py reads them."""
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
    return int(fields[1]), int(fields[2]), data[pos + 1:]


def find_square(path, colour, size):
    w, h, px = read(path)
    run = bytes(colour) * size
    stride = w * 3
    for y in range(h - size + 1):
        row = px[y * stride:(y + 1) * stride]
        start = 0
        while True:
            i = row.find(run, start)
            if i < 0:
                break
            if i % 3 == 0:
                x = i // 3
                # The block's left column starts the run: the pixel before it is another colour.
                if (x == 0 or row[i - 3:i] != bytes(colour)) and all(
                        px[(y + j) * stride + i:(y + j) * stride + i + len(run)] == run for j in range(1, size)):
                    return x, y
            start = i + 1
    return None


def main():
    if sys.argv[1] == "find-square":
        found = find_square(sys.argv[2], [int(v) for v in sys.argv[3:6]], int(sys.argv[6]))
        if found is None:
            sys.exit(1)
        print(*found)


if __name__ == "__main__":
    main()
