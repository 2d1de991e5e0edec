#!/usr/bin/env python3
"""Writes to stdout a binary PGM as wide as asked, made of copies of the given PGM's rows side by side."""
import sys

source, width = sys.argv[1], int(sys.argv[2])
with open(source, 'rb') as f:
    data = f.read()
fields, at = [], 0
while len(fields) < 4:  # magic, width, height, maximum; comments are not written by ImageMagick
    while data[at:at + 1].isspace():
        at += 1
    end = at
    while not data[end:end + 1].isspace():
        end += 1
    fields.append(data[at:end])
    at = end
at += 1
assert fields[0] == b'P5' and fields[3] == b'255'
tile_width, height = int(fields[1]), int(fields[2])
out = sys.stdout.buffer
out.write(b'P5\n%d %d\n255\n' % (width, height))
copies = -(-width // tile_width)
for y in range(height):
    row = data[at + y * tile_width:at + (y + 1) * tile_width]
    out.write((row * copies)[:width])
