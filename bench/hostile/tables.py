#!/usr/bin/env python3
"""The hostile-picture tables of bench/hostile/run.sh: decode time of each hostile file beside a photograph of the
same size (natively and in the 32-bit build under Wine, by turns in one run), then the targets checked on the 32-bit
build under Wine: time from process start to end for each hostile file, and outcomes with the address space nearly
used up."""
import os
import subprocess
import sys

RUNS = int(sys.argv[1])
HOSTILE = os.path.abspath(sys.argv[2])
PHOTOS = os.path.abspath(sys.argv[3])
SCREEN = ('1920', '1080')
TARGET_MS = 2000
SPACE_LEFT_MB = (64, 24, 6)
CASES = [  # what, hostile file, photograph of the same size
    ('Progressive grey 2048 x 2048: 1000 refinement scans of end-of-band runs',
     'jpeg_refine_flood_2048_grey.jpg', 'grey_2048.jpg'),
    ('Progressive 4:2:0 4096 x 4096: 1000 refinement scans', 'jpeg_refine_flood_4096_420.jpg', 'colour_4096.jpg'),
    ('Progressive grey 65500 x 4096: 1000 refinement scans', 'jpeg_refine_flood_65500x4096_grey.jpg',
     'grey_65500x4096.jpg'),
    ('Progressive grey 65500 x 4096: 1000 first AC scans', 'jpeg_first_flood_65500x4096_grey.jpg',
     'grey_65500x4096.jpg'),
    ('JPEG 64 x 64 after 1 MB of Huffman table definitions', 'jpeg_table_flood_64.jpg', 'colour_64.jpg'),
    ('GIF 1000 x 1000: the frame, then 1 MB of long LZW codes', 'gif_lzw_flood_1000.gif', 'colour_1000.gif'),
    ('PNG 8192 x 8192: 16 rows of data', 'png_short_8192.png', 'colour_8192.png'),
    ('PNG 8192 x 8192 of one colour in 196 KB', 'png_flat_8192.png', 'colour_8192.png'),
    ('BMP 8192 x 8192: 1 MB of its 201 MB of rows', 'bmp_short_8192.bmp', 'colour_8192.bmp'),
    ('RLE8 BMP 8000 x 8000 of one grey in 529 KB', 'bmp_rle8_flat_8000.bmp', 'colour_8000_rle8.bmp'),
]
EVERYDAY = ['photo_4000x3000.jpg', 'photo_4000x3000_progressive.jpg', 'photo_4000x3000.png']


def wine_path(path):
    return 'Z:' + path.replace('/', '\\')


def run(command):
    return subprocess.run(command, check=True, capture_output=True, text=True).stdout


def native_ms(path):
    out = run(['build/bench/imgctl_bench', 'decode', str(RUNS), *SCREEN, path])
    value = out.split('\t')[1].strip()
    return None if value == 'refused' else float(value)


def wine_ms(path):
    out = run(['scripts/wine-run.sh', 'build/x86/imgctl_wine_bench.exe', str(RUNS), *SCREEN, wine_path(path)])
    value = float(out.splitlines()[0].split('\t')[1])
    return None if value < 0 else value


def check(*arguments):
    out = run(['scripts/wine-run.sh', 'build/x86/hostile_check.exe', *arguments])
    return [dict(field.split('=', 1) for field in line.split()) for line in out.splitlines() if '=' in line]


def cell(ms):
    return 'refused' if ms is None else '%.0f' % ms


def ratio(a, b):
    return '-' if a is None or b is None or b == 0 else '%.2f' % (a / b)


def size_kb(path):
    return '%.0f KB' % (os.path.getsize(path) / 1024)


print('Decode time, hostile file beside a photograph of the same size: open, fit into %s x %s (picture mode 4), '
      'decode; medians of %d runs, milliseconds, by turns in one run. Native: the core from the bytes in memory; '
      'Wine: imgctl.dll of the 32-bit build, the six calls with the file read and the draw.' % (*SCREEN, RUNS))
print()
print('| Case | Hostile file | Photo | Native hostile | Native photo | Ratio | Wine x86 hostile | Wine x86 photo | Ratio |')
print('| --- | ---: | ---: | ---: | ---: | ---: | ---: | ---: | ---: |')
for what, bad, good in CASES:
    bad_path, good_path = os.path.join(HOSTILE, bad), os.path.join(PHOTOS, good)
    nb, ng = native_ms(bad_path), native_ms(good_path)
    wb, wg = wine_ms(bad_path), wine_ms(good_path)
    print('| %s | %s | %s | %s | %s | %s | %s | %s | %s |' % (what, size_kb(bad_path), size_kb(good_path), cell(nb),
                                                         cell(ng), ratio(nb, ng), cell(wb), cell(wg), ratio(wb, wg)))
sys.stdout.flush()

print()
print('Target: each hostile file (at most 1 MB) through load, prepare, query, fit into 1920 x 1080, draw, free in a '
      'process of its own, the 32-bit build under Wine; milliseconds from CreateProcess to the end of the process, '
      'median of 3 (target: %d).' % TARGET_MS)
print()
print('| File | Size | ms | Outcome | Within target |')
print('| --- | ---: | ---: | --- | --- |')
files = [os.path.join(HOSTILE, bad) for _, bad, _ in CASES]
for row, path in zip(check('time', '3', *[wine_path(f) for f in files]), files):
    ms = float(row['ms'])
    print('| %s | %s | %.0f | %s | %s |' % (row['file'], size_kb(path), ms, row['outcome'],
                                          'yes' if ms <= TARGET_MS and row['outcome'] in ('drawn', 'refused') else 'NO'))
sys.stdout.flush()

print()
print('Target: the same six calls after the process has reserved all of its free address space but one block of the '
      'given megabytes (32-bit build under Wine). "drawn": ordinal 45 returned 1 and the canvas equals the same '
      'picture drawn with all the space; "not-drawn": it returned 0 and the canvas is untouched; "refused": ordinal 4 '
      'returned 0. Anything else (a crash, a wrong picture, a result that disagrees with the canvas) is named in '
      'capitals.')
print()
print('| File | %s |' % ' | '.join('%d MB left' % mb for mb in SPACE_LEFT_MB))
print('| --- |' + ' --- |' * len(SPACE_LEFT_MB))
space_files = files + sorted({os.path.join(PHOTOS, good) for _, _, good in CASES}) + [os.path.join(PHOTOS, name) for name in EVERYDAY]
outcomes = {mb: check('space', str(mb), *[wine_path(f) for f in space_files]) for mb in SPACE_LEFT_MB}
for i, path in enumerate(space_files):
    print('| %s | %s |' % (os.path.basename(path), ' | '.join(outcomes[mb][i]['outcome'] for mb in SPACE_LEFT_MB)))
