#!/usr/bin/env python3
"""Draws the program's small pictures: the two icons (32 x 32 and 16 x 16, 16
colours) and the About picture (24-bit, 100 x 119). Run it to regenerate the
files in resources/; the build uses the committed files."""
import os
import struct
import sys

# The 16-colour palette of the icons (R, G, B).
PALETTE = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128), (0, 128, 128),
    (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0), (0, 0, 255),
    (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
GREEN, YELLOW, WHITE, GREY, RED, DARK = 2, 11, 15, 8, 9, 0


def icon_pixels(n):
    """A map tile: green blocks, a white street cross, a yellow route to a red place."""
    px = [[GREEN] * n for _ in range(n)]
    road = max(2, n // 8)
    mid = n // 2 - road // 2
    for y in range(n):
        for x in range(n):
            if mid <= x < mid + road or mid <= y < mid + road:
                px[y][x] = WHITE
    for i in range(n // 8, mid + road // 2 + 1):
        px[mid + road // 2][i] = YELLOW
    for y in range(n // 8 - 1, n // 8 + road + 1):
        for x in range(n // 8 - 1, n // 8 + road + 1):
            if 0 <= x < n and 0 <= y < n:
                px[mid + road // 2 - road + (y - n // 8 + 1)][x] = RED if y < n else px[y][x]
    for i in range(n):
        px[0][i] = px[n - 1][i] = px[i][0] = px[i][n - 1] = DARK
    return px


def icon_file(n):
    px = icon_pixels(n)
    xor_stride = ((n * 4 + 31) // 32) * 4
    and_stride = ((n + 31) // 32) * 4
    header = struct.pack('<IiiHHIIiiII', 40, n, n * 2, 1, 4, 0, (xor_stride + and_stride) * n, 0, 0, 16, 0)
    palette = b''.join(struct.pack('<BBBB', b, g, r, 0) for r, g, b in PALETTE)
    rows = b''
    for y in reversed(range(n)):
        row = bytearray(xor_stride)
        for x in range(n):
            row[x // 2] |= px[y][x] << (4 if x % 2 == 0 else 0)
        rows += bytes(row)
    mask = bytes(and_stride * n)  # every pixel opaque
    image = header + palette + rows + mask
    directory = struct.pack('<HHH', 0, 1, 1) + struct.pack('<BBBBHHII', n, n, 16, 0, 1, 4, len(image), 22)
    return directory + image


def about_bitmap(w=100, h=119):
    """A walker on a white street heading to a green place under a pale sky."""
    def colour(x, y):
        if y < 45:
            return (200, 225, 250)
        if 70 <= y < 90:
            return (255, 255, 255)
        c = (170, 210, 160)
        if 78 <= y < 82 and x < 80:
            c = (0, 200, 255)
        if 60 <= y < 100 and 80 <= x < 96:
            c = (100, 250, 100)
        return c if not (70 <= y < 90) else (255, 255, 255)
    px = [[colour(x, y) for x in range(w)] for y in range(h)]
    # The walker: head and body.
    for y in range(40, 90):
        for x in range(25, 45):
            dx, dy = x - 35, y - 46
            if dx * dx + dy * dy <= 25 or (52 <= y < 74 and 32 <= x < 38) or (74 <= y < 88 and (x - 35) ** 2 <= (y - 70) ** 2 // 2 and abs(x - 35) >= (y - 74) // 3):
                px[y][x] = (60, 60, 140)
    for i in range(54, 66):
        px[i][38 + (i - 54) // 2] = (60, 60, 140)
        px[i][31 - (i - 54) // 2] = (60, 60, 140)
    # The place: a red flag on the green.
    for y in range(48, 62):
        px[y][88] = (80, 50, 20)
    for y in range(48, 54):
        for x in range(89, 96):
            px[y][x] = (250, 50, 10)
    stride = (w * 3 + 3) // 4 * 4
    rows = b''
    for y in reversed(range(h)):
        row = bytearray(stride)
        for x in range(w):
            r, g, b = px[y][x]
            row[x * 3:x * 3 + 3] = bytes((b, g, r))
        rows += bytes(row)
    return (b'BM' + struct.pack('<IHHI', 54 + len(rows), 0, 0, 54)
            + struct.pack('<IiiHHIIiiII', 40, w, h, 1, 24, 0, len(rows), 0, 0, 0, 0) + rows)


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), '..', 'resources')
    with open(os.path.join(out, 'tovi.ico'), 'wb') as f:
        f.write(icon_file(32))
    with open(os.path.join(out, 'tovi_small.ico'), 'wb') as f:
        f.write(icon_file(16))
    with open(os.path.join(out, 'about.bmp'), 'wb') as f:
        f.write(about_bitmap())


if __name__ == '__main__':
    main()
