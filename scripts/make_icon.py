#!/usr/bin/env python3
"""Draws the program's 32 x 32, 16-colour icon (app/tolvan.ico): an aircraft
over a dark blue disc, with the radio waves of a data link."""
import math
import struct
import sys

# The standard 16-colour palette, as red, green, blue.
PALETTE = [(0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128), (0, 128, 128),
           (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0), (0, 0, 255),
           (255, 0, 255), (0, 255, 255), (255, 255, 255)]
NAVY, GREY, WHITE, YELLOW, CYAN = 4, 8, 15, 11, 14

size = 32
pixels = [[None] * size for _ in range(size)]  # None: transparent


def put(x, y, c):
    if 0 <= x < size and 0 <= y < size:
        pixels[y][x] = c


for y in range(size):
    for x in range(size):
        if (x - 15.5) ** 2 + (y - 15.5) ** 2 <= 15.5 ** 2:
            put(x, y, NAVY)
# Radio waves, upper right.
for r in (5, 8, 11):
    for a in range(0, 91, 3):
        t = math.radians(a)
        put(int(round(22 + r * math.cos(t) * 0.6)), int(round(10 - r * math.sin(t) * 0.6)), YELLOW)
# Aircraft seen from above, nose up.
for y in range(6, 27):
    put(15, y, WHITE)
    put(16, y, WHITE)
for x in range(5, 27):
    put(x, 15, WHITE)
    put(x, 16, WHITE)
for dx in range(1, 5):
    put(15 - dx - 4, 16 + dx // 2, GREY)
    put(16 + dx + 4, 16 + dx // 2, GREY)
for x in range(11, 21):
    put(x, 24, WHITE)
for y in range(6, 9):
    put(15, y, CYAN)
    put(16, y, CYAN)

palette = b''.join(struct.pack('<BBBB', b, g, r, 0) for (r, g, b) in PALETTE)  # RGBQUAD order
xor = bytearray()
mask = bytearray()
for y in reversed(range(size)):  # bottom-up rows
    row = pixels[y]
    for x in range(0, size, 2):
        hi = row[x] if row[x] is not None else 0
        lo = row[x + 1] if row[x + 1] is not None else 0
        xor.append((hi << 4) | lo)
    bits = 0
    for x in range(size):
        bits = (bits << 1) | (1 if row[x] is None else 0)
    mask += struct.pack('>I', bits)
header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 4, 0, len(xor) + len(mask), 0, 0, 16, 0)
image = header + palette + bytes(xor) + bytes(mask)
icon = struct.pack('<HHH', 0, 1, 1) + struct.pack('<BBBBHHII', size, size, 16, 0, 1, 4, len(image), 22) + image
with open(sys.argv[1] if len(sys.argv) > 1 else 'app/tolvan.ico', 'wb') as f:
    f.write(icon)
