#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Draws the application icon at 32x32 and 16x16 in the 16-colour VGA
palette and writes each as XPM (compiled into the program) and PNG
(installed for the desktop entry, via ImageMagick's convert).

Motif: a sound card seen from above - a green board with gold edge
fingers, a chip, a red record light and a bright waveform across it."""
import math
import pathlib
import subprocess

PALETTE = {
    ' ': 'None',
    'k': '#000000', 'm': '#800000', 'g': '#008000', 'o': '#808000',
    'n': '#000080', 'p': '#800080', 't': '#008080', 's': '#C0C0C0',
    'd': '#808080', 'r': '#FF0000', 'l': '#00FF00', 'y': '#FFFF00',
    'b': '#0000FF', 'f': '#FF00FF', 'a': '#00FFFF', 'w': '#FFFFFF',
}


def draw(size):
    grid = [[' '] * size for _ in range(size)]

    def put(x, y, c):
        if 0 <= x < size and 0 <= y < size:
            grid[y][x] = c

    def rect(x0, y0, x1, y1, c):
        for y in range(y0, y1 + 1):
            for x in range(x0, x1 + 1):
                put(x, y, c)

    s = size / 32.0
    top, bottom = round(3 * s), round(24 * s)
    left, right = round(1 * s), size - 1 - round(1 * s)
    # Board with a dark outline and a lighter rim.
    rect(left, top, right, bottom, 'k')
    rect(left + 1, top + 1, right - 1, bottom - 1, 'g')
    # Edge connector: gold fingers on the board's lower edge.
    finger_top, finger_bottom = bottom + 1, bottom + max(2, round(5 * s))
    x = left + round(4 * s)
    while x + 1 <= right - round(4 * s):
        rect(x, finger_top, x + (1 if size >= 32 else 0), finger_bottom, 'y')
        put(x, finger_bottom, 'o')
        x += 3 if size >= 32 else 2
    # A chip with its legs, lower left.
    cx0, cy0 = left + round(4 * s), top + round(12 * s)
    cx1, cy1 = cx0 + round(8 * s), cy0 + round(6 * s)
    rect(cx0, cy0, cx1, cy1, 'k')
    if size >= 32:
        rect(cx0 + 1, cy0 + 1, cx1 - 1, cy1 - 1, 'd')
        for lx in range(cx0 + 1, cx1, 2):
            put(lx, cy0 - 1, 's')
            put(lx, cy1 + 1, 's')
    # Jacks on the right edge: silver rings with dark holes.
    for jy in (round(13 * s), round(19 * s)) if size >= 32 else (round(13 * s),):
        rect(right - round(5 * s), jy - 1, right - 1, jy + 1, 's')
        put(right - round(3 * s), jy, 'k')
    # Record light, top right.
    led = round(3 * s) if size >= 32 else 1
    rect(right - round(6 * s), top + round(3 * s), right - round(6 * s) + led - 1, top + round(3 * s) + led - 1, 'r')
    # The waveform: one and a half periods of a sine over the board's top half.
    mid, amp = top + round(7 * s), max(2, round(4 * s))
    last = None
    for px in range(left + 2, right - round(8 * s)):
        phase = (px - left - 2) / (right - left - round(10 * s)) * 3 * math.pi
        py = round(mid - amp * math.sin(phase))
        if last is not None:
            for yy in range(min(last, py), max(last, py) + 1):
                put(px, yy, 'l')
        put(px, py, 'l')
        if size >= 32:
            put(px, py + 1, 'a')
        last = py
    return grid


def write_xpm(path, name, grid):
    size = len(grid)
    used = sorted({c for row in grid for c in row})
    lines = [f'/* XPM */', f'static const char* const {name}[] = {{',
             f'"{size} {size} {len(used)} 1",']
    lines += [f'"{c} c {PALETTE[c]}",' for c in used]
    lines += [f'"{"".join(row)}",' for row in grid]
    lines[-1] = lines[-1].rstrip(',')
    lines.append('};')
    path.write_text('\n'.join(lines) + '\n')


here = pathlib.Path(__file__).resolve().parent
for size in (32, 16):
    xpm = here / f'tallowmere-{size}.xpm'
    write_xpm(xpm, f'tallowmere_{size}_xpm', draw(size))
    subprocess.run(['convert', str(xpm),
                    f'PNG8:{here / f"tallowmere-{size}.png"}'], check=True)
