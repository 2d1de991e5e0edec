#!/usr/bin/env python3
# Draws the program icon (a framed landscape photo, 32 x 32, 16 colours) and writes resources/lumeta_show.ico.
# The .ico is committed; run this only to change the picture: python3 resources/make_icon.py
import os
import struct

SIZE = 32

# The standard 16-colour palette as (red, green, blue), in the order of the colour table.
PALETTE = [
    (0x00, 0x00, 0x00), (0x80, 0x00, 0x00), (0x00, 0x80, 0x00), (0x80, 0x80, 0x00),
    (0x00, 0x00, 0x80), (0x80, 0x00, 0x80), (0x00, 0x80, 0x80), (0xC0, 0xC0, 0xC0),
    (0x80, 0x80, 0x80), (0xFF, 0x00, 0x00), (0x00, 0xFF, 0x00), (0xFF, 0xFF, 0x00),
    (0x00, 0x00, 0xFF), (0xFF, 0x00, 0xFF), (0x00, 0xFF, 0xFF), (0xFF, 0xFF, 0xFF),
]
BLACK, MAROON, GREEN, OLIVE, NAVY, PURPLE, TEAL, SILVER = range(8)
GRAY, RED, LIME, YELLOW, BLUE, FUCHSIA, AQUA, WHITE = range(8, 16)

# Letters of the picture: '.' is transparent; every other letter names a palette index.
KEY = {'k': BLACK, 'o': OLIVE, 'y': YELLOW, 'w': WHITE, 's': SILVER, 'g': GRAY, 'b': BLUE, 'a': AQUA,
       'n': NAVY, 'l': LIME, 'G': GREEN, 'm': MAROON, 'r': RED}


def picture():
    """Returns 32 rows of 32 letters: a wooden frame round a photo of a sun over green hills."""
    rows = [['.'] * SIZE for _ in range(SIZE)]
    left, top, right, bottom = 1, 3, 30, 28  # the frame, inclusive
    for y in range(top, bottom + 1):
        for x in range(left, right + 1):
            edge = min(x - left, right - x, y - top, bottom - y)
            if edge == 0:
                rows[y][x] = 'k'
            elif edge == 1:
                lit = (y - top == 1 and x < right - 1) or (x - left == 1 and y < bottom - 1)
                rows[y][x] = 'y' if lit else 'o'
            elif edge <= 3:
                rows[y][x] = 'o' if edge == 2 else 'm'
            elif edge == 4:
                rows[y][x] = 'k'
            else:
                rows[y][x] = photo(x - left - 5, y - top - 5)
    # A drop shadow on the right and at the bottom.
    for y in range(top + 2, bottom + 2):
        if y < SIZE:
            rows[y][right + 1] = 'g'
    for x in range(left + 2, right + 2):
        if bottom + 1 < SIZE and x < SIZE:
            rows[bottom + 1][x] = 'g'
    return [''.join(row) for row in rows]


def photo(x, y):
    """The landscape inside the frame, 20 x 16 pixels: sky, sun, two hills."""
    sunX, sunY = 14, 4
    if (x - sunX) ** 2 + (y - sunY) ** 2 <= 6:
        return 'y'
    far = 9 + ((x - 4) ** 2) // 12        # the far hill's top
    near = 11 + ((x - 15) ** 2) // 20     # the near hill's top
    if y >= near:
        return 'G'
    if y >= far:
        return 'l'
    return 'b' if y < 3 else 'a'


def icon_bytes(rows):
    """One 32 x 32, 4-bit image in the .ico container (header, one directory entry, DIB)."""
    pixels = bytearray()
    mask = bytearray()
    for row in reversed(rows):  # a DIB stores the bottom row first
        for x in range(0, SIZE, 2):
            high = KEY.get(row[x], 0)
            low = KEY.get(row[x + 1], 0)
            pixels.append((high << 4) | low)
        bits = 0
        for x in range(SIZE):
            bits = (bits << 1) | (1 if row[x] == '.' else 0)
        mask += struct.pack('>I', bits)
    palette = b''.join(struct.pack('<BBBB', b, g, r, 0) for (r, g, b) in PALETTE)
    # The DIB's height counts the colour image and the transparency mask together.
    header = struct.pack('<IiiHHIIiiII', 40, SIZE, SIZE * 2, 1, 4, 0, len(pixels) + len(mask), 0, 0, 16, 0)
    image = header + palette + bytes(pixels) + bytes(mask)
    directory = struct.pack('<HHH', 0, 1, 1) + struct.pack('<BBBBHHII', SIZE, SIZE, 16, 0, 1, 4, len(image), 6 + 16)
    return directory + image


def main():
    rows = picture()
    assert len(rows) == SIZE and all(len(row) == SIZE for row in rows)
    target = os.path.join(os.path.dirname(os.path.abspath(__file__)), 'lumeta_show.ico')
    with open(target, 'wb') as out:
        out.write(icon_bytes(rows))
    print('\n'.join(rows))


if __name__ == '__main__':
    main()
