#!/usr/bin/env python3
"""Makes the picture library's test pictures with ImageMagick, with a reference beside each.

Each good picture NAME gets NAME.bgra: ImageMagick's own decoding of it, composited over black,
as raw 8-bit B, G, R, A bytes. The variants ImageMagick cannot write (top-down, RLE4, 32-bit
BI_RGB BMPs, EXIF-oriented JPEGs) are made here from its output. bad/ holds hostile files.
Run from anywhere: python3 tests/data/imgctl/make_pictures.py (needs convert, and colord-data for sRGB.icc).
"""
import os
import struct
import subprocess
import shutil
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
REPO = os.path.abspath(os.path.join(HERE, '..', '..', '..'))
BAD = os.path.join(HERE, 'bad')
WIDTH, HEIGHT = 37, 23


def convert(*args):
    subprocess.run(['convert', *args], check=True)


def path(name):
    return os.path.join(HERE, name)


def reference(name, source=None):
    """NAME.bgra from ImageMagick's decoding of `source` (the file itself by default)."""
    convert((source or path(name)) + '[0]', '-background', 'black', '-alpha', 'remove', '-alpha', 'off',
            '-depth', '8', 'bgra:' + path(name) + '.bgra')


def make(name, *options, base='base.png'):
    convert(path(base), *options, path(name))
    reference(name)


def read_bmp(name):
    data = open(path(name), 'rb').read()
    offset, = struct.unpack_from('<I', data, 10)
    header, = struct.unpack_from('<I', data, 14)
    width, height = struct.unpack_from('<ii', data, 18)
    bits, = struct.unpack_from('<H', data, 28)
    stride = (width * bits + 31) // 32 * 4
    rows = [data[offset + y * stride: offset + (y + 1) * stride] for y in range(abs(height))]
    return data, offset, header, width, height, bits, rows


def bmp_bytes(header_and_palette, pixel_bytes):
    """A BMP file from an info header (+ palette) and its pixel bytes."""
    offset = 14 + len(header_and_palette)
    return b'BM' + struct.pack('<IHHI', offset + len(pixel_bytes), 0, 0, offset) + header_and_palette + pixel_bytes


def info_header(width, height, bits, compression=0, image_size=0, colours=0):
    return struct.pack('<IiiHHIIiiII', 40, width, height, 1, bits, compression, image_size, 2835, 2835, colours, 0)


def rle4_encode(indices, width):
    """RLE4 with runs of equal pairs and literal stretches, rows bottom up, ending with end-of-picture."""
    out = bytearray()
    for row in indices:
        x = 0
        while x < width:
            run = 1
            while x + run < width and run < 255 and row[x + run] == row[x]:
                run += 1
            if run >= 4 or width - x < 3:
                out += bytes([run, row[x] << 4 | row[x]])
                x += run
                continue
            count = min(width - x, 20)
            literal = row[x:x + count]
            packed = bytes((literal[i] << 4) | (literal[i + 1] if i + 1 < count else 0) for i in range(0, count, 2))
            if len(packed) % 2:
                packed += b'\0'
            out += bytes([0, count]) + packed
            x += count
        out += b'\0\0'
    out += b'\0\1'
    return bytes(out)


def exif_app1(orientation, big_endian=False, ifd_offset=8):
    order = '>' if big_endian else '<'
    tiff = (b'MM' if big_endian else b'II') + struct.pack(order + 'HI', 42, ifd_offset)
    tiff += struct.pack(order + 'H', 1) + struct.pack(order + 'HHIHH', 0x0112, 3, 1, orientation, 0)
    tiff += struct.pack(order + 'I', 0)
    body = b'Exif\0\0' + tiff
    return b'\xff\xe1' + struct.pack('>H', len(body) + 2) + body


def with_exif(jpeg, segment):
    return jpeg[:2] + segment + jpeg[2:]


def good_pictures():
    # A colourful, asymmetric picture: plasma with a white block at the top left and a black bar at the bottom.
    convert('-seed', '7', '-size', f'{WIDTH}x{HEIGHT}', 'plasma:', '-fill', 'white', '-draw', 'rectangle 0,0 7,4',
            '-fill', 'black', '-draw', f'rectangle 0,{HEIGHT - 3} {WIDTH - 1},{HEIGHT - 1}', path('base.png'))
    # A transparent variant: opacity ramps from left to right, one column fully transparent.
    convert(path('base.png'), '(', '-size', f'{HEIGHT}x{WIDTH}', 'gradient:white-black', '-rotate', '90', ')',
            '-alpha', 'off', '-compose', 'CopyOpacity', '-composite', path('base_alpha.png'))

    make('jpeg_baseline.jpg', '-quality', '92', '-sampling-factor', '2x2')
    make('jpeg_444.jpg', '-quality', '92', '-sampling-factor', '1x1')
    make('jpeg_progressive.jpg', '-quality', '92', '-interlace', 'Plane')
    make('jpeg_gray.jpg', '-quality', '92', '-colorspace', 'Gray')

    for depth in (1, 2, 4, 8, 16):
        make(f'png_gray{depth}.png', '-colorspace', 'Gray', '-define', 'png:color-type=0',
             '-define', f'png:bit-depth={depth}')
    for depth in (8, 16):
        make(f'png_graya{depth}.png', '-colorspace', 'Gray', '-define', 'png:color-type=4',
             '-define', f'png:bit-depth={depth}', base='base_alpha.png')
        make(f'png_rgb{depth}.png', '-define', 'png:color-type=2', '-define', f'png:bit-depth={depth}')
        make(f'png_rgba{depth}.png', '-define', 'png:color-type=6', '-define', f'png:bit-depth={depth}',
             base='base_alpha.png')
    for depth in (1, 2, 4, 8):
        convert(path('base.png'), '-colors', str(2 ** depth), '-type', 'Palette', '-define',
                f'png:bit-depth={depth}', 'PNG8:' + path(f'png_palette{depth}.png'))
        reference(f'png_palette{depth}.png')
    make('png_palette_alpha.png', '-channel', 'A', '-threshold', '50%', '+channel', '-colors', '32',
         '-define', 'png:color-type=3', base='base_alpha.png')
    make('png_interlaced.png', '-interlace', 'PNG', '-define', 'png:color-type=2', '-define', 'png:bit-depth=8')
    make('png_interlaced_rgba16.png', '-interlace', 'PNG', '-define', 'png:color-type=6',
         '-define', 'png:bit-depth=16', base='base_alpha.png')

    make('gif_256.gif', '-colors', '256')
    make('gif_transparent.gif', '-channel', 'A', '-threshold', '50%', '+channel', base='base_alpha.png')
    convert(path('base.png'), '(', path('base.png'), '-negate', ')', '-set', 'delay', '10', path('gif_animated.gif'))
    reference('gif_animated.gif')

    for name, options in (('bmp_1.bmp', ['-colors', '2', '-type', 'Palette', '-compress', 'None']),
                          ('bmp_4.bmp', ['-colors', '16', '-type', 'Palette', '-compress', 'None']),
                          ('bmp_8.bmp', ['-colors', '200', '-type', 'Palette', '-compress', 'None']),
                          ('bmp_24.bmp', ['-type', 'TrueColor', '-compress', 'None']),
                          ('bmp_rle8.bmp', ['-colors', '200', '-type', 'Palette', '-compress', 'RLE'])):
        convert(path('base.png'), *options, 'BMP3:' + path(name))
        reference(name)
    convert(path('base_alpha.png'), '-define', 'bmp:format=bmp4', 'BMP:' + path('bmp_32_alpha.bmp'))
    reference('bmp_32_alpha.bmp')
    convert(path('base.png'), '-colors', '200', '-type', 'Palette', 'BMP2:' + path('bmp_os2.bmp'))
    reference('bmp_os2.bmp')

    # Made here: top-down 24-bit, 32-bit BI_RGB with a junk fourth byte, RLE4.
    data, offset, header, width, height, bits, rows = read_bmp('bmp_24.bmp')
    topdown = bytearray(data[:offset] + b''.join(reversed(rows)))
    struct.pack_into('<i', topdown, 22, -height)
    open(path('bmp_topdown.bmp'), 'wb').write(topdown)
    reference('bmp_topdown.bmp', path('bmp_24.bmp'))
    rows32 = []
    for row in rows:
        rows32.append(b''.join(row[3 * x:3 * x + 3] + bytes([x * 7 & 0xFF]) for x in range(width)))
    open(path('bmp_32_rgb.bmp'), 'wb').write(bmp_bytes(info_header(width, height, 32), b''.join(rows32)))
    reference('bmp_32_rgb.bmp', path('bmp_24.bmp'))
    # 16 bits: 5-5-5 as BI_RGB, and 5-6-5 through bit-field masks after a 40-byte header.
    rows16 = {555: [], 565: []}
    for row in rows:
        for kind in rows16:
            pixels = []
            for x in range(width):
                b, g, r = row[3 * x], row[3 * x + 1], row[3 * x + 2]
                if kind == 555:
                    pixels.append((r >> 3) << 10 | (g >> 3) << 5 | b >> 3)
                else:
                    pixels.append((r >> 3) << 11 | (g >> 2) << 5 | b >> 3)
            packed = struct.pack(f'<{width}H', *pixels)
            rows16[kind].append(packed + b'\0' * (-len(packed) % 4))
    open(path('bmp_16_555.bmp'), 'wb').write(bmp_bytes(info_header(width, height, 16), b''.join(rows16[555])))
    reference('bmp_16_555.bmp')
    masks = struct.pack('<III', 0xF800, 0x07E0, 0x001F)
    open(path('bmp_16_565.bmp'), 'wb').write(bmp_bytes(info_header(width, height, 16, 3) + masks,
                                                       b''.join(rows16[565])))
    reference('bmp_16_565.bmp')
    data, offset, header, width, height, bits, rows = read_bmp('bmp_4.bmp')
    palette = data[14 + header:offset]
    indices = [[(row[x // 2] >> (4 if x % 2 == 0 else 0)) & 15 for x in range(width)] for row in rows]
    encoded = rle4_encode(indices, width)
    open(path('bmp_rle4.bmp'), 'wb').write(
        bmp_bytes(info_header(width, height, 4, 2, len(encoded), len(palette) // 4) + palette, encoded))
    reference('bmp_rle4.bmp', path('bmp_4.bmp'))

    # EXIF orientations: the upright picture stored as the tag says, so that turning it gives it back.
    stored_by = {1: [], 2: ['-flop'], 3: ['-rotate', '180'], 4: ['-flip'], 5: ['-transpose'],
                 6: ['-rotate', '270'], 7: ['-transverse'], 8: ['-rotate', '90']}
    convert('-size', '24x16', 'xc:#2040c0', '-fill', '#f0f0f0', '-draw', 'rectangle 0,0 7,7', '-fill', '#e03020',
            '-draw', 'rectangle 16,0 23,7', '-fill', '#20c040', '-draw', 'rectangle 0,8 7,15', path('upright.png'))
    convert(path('upright.png'), '-depth', '8', 'bgra:' + path('upright.png.bgra'))
    for orientation, operation in stored_by.items():
        stored = path(f'orient{orientation}_stored.jpg')
        convert(path('upright.png'), *operation, '-quality', '95', '-sampling-factor', '1x1', stored)
        jpeg = open(stored, 'rb').read()
        os.remove(stored)
        name = f'jpeg_orient{orientation}.jpg'
        open(path(name), 'wb').write(with_exif(jpeg, exif_app1(orientation, big_endian=orientation % 2 == 0)))
        convert(path(name), '-auto-orient', '-depth', '8', 'bgra:' + path(name) + '.bgra')


def icc_profile(colorants, curve_parameters):
    """A small version 4 RGB matrix/TRC profile: D50 colorants (columns red, green, blue) and one sRGB-like
    parametric curve (function 3) for the three channels."""
    def s15(value):
        return struct.pack('>i', round(value * 65536))

    def xyz(x, y, z):
        return b'XYZ \0\0\0\0' + s15(x) + s15(y) + s15(z)
    text = b'mluc\0\0\0\0' + struct.pack('>IIIII', 1, 12, 0x656E5553, 4, 28) + b'\0P\03'
    curve = b'para\0\0\0\0' + struct.pack('>HH', 3, 0) + b''.join(s15(v) for v in curve_parameters)
    tags = [(b'desc', text), (b'cprt', text), (b'wtpt', xyz(0.9642, 1.0, 0.8249))]
    for name, column in zip((b'r', b'g', b'b'), zip(*colorants)):
        tags += [(name + b'XYZ', xyz(*column)), (name + b'TRC', curve)]
    table, body, offset = b'', b'', 128 + 4 + 12 * len(tags)
    for signature, data in tags:
        data += b'\0' * (-len(data) % 4)
        table += signature + struct.pack('>II', offset + len(body), len(data))
        body += data
    header = struct.pack('>III', 128 + 4 + len(table) + len(body), 0, 0x04300000) + b'mntrRGB XYZ ' + b'\0' * 12
    header = (header + b'acsp').ljust(68, b'\0') + s15(0.9642) + s15(1.0) + s15(0.8249)
    return header.ljust(128, b'\0') + struct.pack('>I', len(tags)) + table + body


def colour_pictures():
    """A PNG tagged with Display P3 (iCCP) and LittleCMS's conversion of it to sRGB (through ImageMagick)."""
    # Display P3's primaries and D65 white, Bradford-adapted to D50; sRGB's curve.
    p3 = [[0.515102, 0.291965, 0.157153], [0.241182, 0.692236, 0.066582], [-0.001050, 0.041882, 0.784378]]
    profile = icc_profile(p3, [2.4, 1 / 1.055, 0.055 / 1.055, 1 / 12.92, 0.04045])
    png = open(path('png_rgb8.png'), 'rb').read()
    body = b'Display P3\0\0' + zlib.compress(profile)
    chunk = struct.pack('>I', len(body)) + b'iCCP' + body + struct.pack('>I', zlib.crc32(b'iCCP' + body))
    open(path('png_display_p3.png'), 'wb').write(png[:33] + chunk + png[33:])
    convert(path('png_display_p3.png'), '-intent', 'relative', '-profile', '/usr/share/color/icc/colord/sRGB.icc',
            '-alpha', 'off', '-depth', '8', 'bgra:' + path('png_display_p3.png') + '.bgra')


def photo():
    """A real photograph, small, and ImageMagick's Lanczos reduction of it for the quality test."""
    source = '/usr/share/backgrounds/mate/abstract/Elephants_5640x3172.jpg'  # Debian's mate-backgrounds
    convert(source, '-strip', '-resize', '480x270!', '-quality', '90', path('photo.jpg'))
    convert(path('photo.jpg'), '-filter', 'Lanczos', '-resize', '173x97!', '-depth', '8',
            'bgra:' + path('photo_lanczos_173x97.bgra'))


def bad_pictures():
    os.makedirs(BAD, exist_ok=True)
    for name in os.listdir(BAD):
        os.remove(os.path.join(BAD, name))

    def write(name, data):
        open(os.path.join(BAD, name), 'wb').write(data)

    def png_header(width, height, depth=8, colour=2):
        return b'\x89PNG\r\n\x1a\n' + struct.pack('>I', 13) + b'IHDR' + struct.pack('>IIBBBBB', width, height, depth,
                                                                                     colour, 0, 0, 0) + b'\0\0\0\0'

    def gif_header(width, height):
        return b'GIF89a' + struct.pack('<HHBBB', width, height, 0, 0, 0) + b',' + struct.pack('<HHHHB', 0, 0, width,
                                                                                                 height, 0) + b'\x02\x02\x44\x01\x00;'

    def jpeg_header(width, height):
        sof = b'\xff\xc0' + struct.pack('>HBHHB', 11, 8, height, width, 1) + b'\x01\x11\x00'
        return b'\xff\xd8' + sof + b'\xff\xd9'

    def bmp_header(width, height, bits=24):
        return bmp_bytes(info_header(width, height, bits), b'\x80' * 64)

    # Refused at load: sizes past the bounds, zero sizes.
    write('huge_65535.bmp', bmp_header(65535, 65535))
    write('huge_65535.png', png_header(65535, 65535))
    write('huge_65535.gif', gif_header(65535, 65535))
    write('huge_65535.jpg', jpeg_header(65535, 65535))
    write('huge_negative.bmp', bmp_header(-5, -2147483648))
    write('huge_1x100000000.png', png_header(1, 100000000))
    write('huge_30000x30000.png', png_header(30000, 30000))
    write('zero_width.bmp', bmp_header(0, 10))
    write('zero_size.png', png_header(0, 0))
    write('zero_size.gif', gif_header(0, 0))
    write('zero_height.jpg', jpeg_header(16, 0))
    write('not_a_picture.jpg', b'This is text, not a picture.\n')
    write('empty.png', b'')

    # Loaded and drawn as far as they go.
    palette = b''.join(bytes([i * 60 & 255, i * 90 & 255, i * 30 & 255, 0]) for i in range(4))
    write('bad_palette_indices.bmp', bmp_bytes(info_header(8, 2, 8, colours=4) + palette, bytes(range(250, 255)) * 4))
    write('bad_palette_count.bmp', bmp_bytes(info_header(8, 2, 8, colours=0xFFFFFFFF) + palette, bytes(16)))
    write('bad_palette_cut.bmp', b'BM' + struct.pack('<IHHI', 60, 0, 0, 2000) + info_header(4, 4, 8) + b'\x10\x20')
    write('offset_past_end.bmp', b'BM' + struct.pack('<IHHI', 100, 0, 0, 0x7FFFFFF0) + info_header(4, 4, 24) + b'\0' * 48)
    rle8 = (b'\xff\x05' * 3 +              # runs far past the row's end
            b'\x00\x02\xff\xff' +          # a delta past the bottom
            b'\x00\x08\x01\x02' +          # a literal cut short by the end of the data
            b'')
    write('rle8_overrun.bmp', bmp_bytes(info_header(6, 3, 8, 1, len(rle8), 4) + palette, rle8))
    rle8b = b'\x00\x00' * 40 + b'\x00\xfe' + b'\x01' * 20  # more rows than the picture, then a literal past the end
    write('rle8_rows_overrun.bmp', bmp_bytes(info_header(5, 2, 8, 1, len(rle8b), 4) + palette, rle8b))
    rle4 = b'\xff\x12' * 4 + b'\x00\x03\x12' + b'\x00\x02\x05\x01' + b'\x00\xff\x34'
    write('rle4_overrun.bmp', bmp_bytes(info_header(7, 2, 4, 2, len(rle4), 4) + palette, rle4))
    write('rle_topdown.bmp', bmp_bytes(info_header(4, -4, 8, 1, 4, 4) + palette, b'\x04\x01\x00\x01'))
    bitfields = info_header(4, 2, 16, 3) + struct.pack('<III', 0, 0xFFFF0000, 0x1)
    write('bitfields_odd_masks.bmp', bmp_bytes(bitfields, b'\xff\xff' * 8))

    good = open(path('jpeg_baseline.jpg'), 'rb').read()
    write('exif_ifd_past_end.jpg', with_exif(good, exif_app1(6, ifd_offset=0x7FFFFFF0)))
    segment = bytearray(exif_app1(6))
    struct.pack_into('>H', segment, 2, 0xFFF0)  # the segment claims more bytes than the file has
    write('exif_segment_past_end.jpg', good[:2] + bytes(segment))
    count = bytearray(exif_app1(3))
    struct.pack_into('<H', count, 2 + 2 + 6 + 8, 0xFFFF)  # an entry count past the segment
    write('exif_count_past_end.jpg', with_exif(good, bytes(count)))

    # Cut short and corrupted copies of good pictures.
    for name in ('jpeg_baseline.jpg', 'jpeg_progressive.jpg', 'png_rgba8.png', 'png_interlaced.png', 'gif_256.gif',
                 'bmp_8.bmp', 'bmp_rle8.bmp', 'bmp_rle4.bmp'):
        data = open(path(name), 'rb').read()
        stem, extension = os.path.splitext(name)
        write(f'cut_half_{stem}{extension}', data[:len(data) // 2])
        write(f'cut_header_{stem}{extension}', data[:40])
        corrupt = bytearray(data)
        for i in range(len(data) // 3, len(data), 37):
            corrupt[i] ^= 0x5A
        write(f'corrupt_{stem}{extension}', bytes(corrupt))


def fuzz_corpus():
    """Seeds for the fuzz runs: the small good and bad pictures, by type."""
    root = os.path.join(REPO, 'imgctl', 'fuzz', 'corpus')
    types = {'.jpg': 'jpeg', '.png': 'png', '.gif': 'gif', '.bmp': 'bmp'}
    for folder in set(types.values()):
        shutil.rmtree(os.path.join(root, folder), ignore_errors=True)
        os.makedirs(os.path.join(root, folder))
    for folder in (HERE, BAD):
        for name in sorted(os.listdir(folder)):
            extension = os.path.splitext(name)[1]
            if extension in types and os.path.getsize(os.path.join(folder, name)) <= 8192:
                shutil.copy(os.path.join(folder, name), os.path.join(root, types[extension], name))


if __name__ == '__main__':
    good_pictures()
    colour_pictures()
    photo()
    bad_pictures()
    fuzz_corpus()
