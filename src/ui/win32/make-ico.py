#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Writes tallowmere.ico, the Windows program's icon resource, from the
desktop icon's XPM drawings (../qt/icons/tallowmere-32.xpm and -16.xpm):
32x32 and 16x16 images, 4 bits per pixel in the 16-colour VGA palette, each
with its transparency mask. Run it after the drawings change."""
import pathlib
import re
import struct
import sys

VGA = ['#000000', '#800000', '#008000', '#808000', '#000080', '#800080', '#008080', '#C0C0C0',
       '#808080', '#FF0000', '#00FF00', '#FFFF00', '#0000FF', '#FF00FF', '#00FFFF', '#FFFFFF']


def read_xpm(path):
    strings = re.findall(r'"([^"]*)"', path.read_text())
    width, height, colours, per_pixel = map(int, strings[0].split()[:4])
    table = {}
    for line in strings[1:1 + colours]:
        key, value = line[:per_pixel], line[per_pixel:].split()[-1].upper()
        table[key] = None if value == 'NONE' else VGA.index(value)
    rows = strings[1 + colours:1 + colours + height]
    return [[table[row[x * per_pixel:(x + 1) * per_pixel]] for x in range(width)] for row in rows]


def padded(row_bytes):
    return row_bytes + b'\0' * (-len(row_bytes) % 4)


def image(pixels):
    size = len(pixels)
    colours = b''.join(struct.pack('<BBBB', int(c[5:7], 16), int(c[3:5], 16), int(c[1:3], 16), 0) for c in VGA)
    xor = b''
    mask = b''
    for row in reversed(pixels):  # bottom-up
        nibbles = [p or 0 for p in row]
        xor += padded(bytes((nibbles[x] << 4) | nibbles[x + 1] for x in range(0, size, 2)))
        bits = [1 if p is None else 0 for p in row]
        mask += padded(bytes(sum(bits[x + i] << (7 - i) for i in range(8)) for x in range(0, size, 8)))
    header = struct.pack('<IiiHHIIiiII', 40, size, 2 * size, 1, 4, 0, len(xor) + len(mask), 0, 0, 16, 0)
    return header + colours + xor + mask


def main():
    here = pathlib.Path(__file__).resolve().parent
    drawings = [read_xpm(here.parent / 'qt' / 'icons' / f'tallowmere-{size}.xpm') for size in (32, 16)]
    images = [image(pixels) for pixels in drawings]
    out = struct.pack('<HHH', 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for pixels, data in zip(drawings, images):
        size = len(pixels)
        out += struct.pack('<BBBBHHII', size, size, 16, 0, 1, 4, len(data), offset)
        offset += len(data)
    target = pathlib.Path(sys.argv[1]) if len(sys.argv) > 1 else here / 'tallowmere.ico'
    target.write_bytes(out + b''.join(images))


main()
