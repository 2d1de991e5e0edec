#!/usr/bin/env python3
"""Times ours and the peers on the same pictures in one run; prints a Markdown table of medians and ratios.

Every command fits a 4000 x 3000 picture into 1920 x 1080 and is timed as a whole process
(start-up, read, decode, resize, output), run by turns so that the peers share the machine's state.
"""
import os
import statistics
import subprocess
import sys
import time

RUNS = int(sys.argv[1])
PICTURES = sys.argv[2]
BENCH = 'build/bench/imgctl_bench'
OUT = os.path.abspath(os.path.join(PICTURES, 'out'))  # vipsthumbnail takes a relative -o as inside the input's folder


def commands(picture):
    kind = os.path.splitext(picture)[1][1:]
    rows = [
        ('ours (imgctl core: load, fit, decode, copy)', [BENCH, 'fit', picture, '1920', '1080']),
        ('vipsthumbnail', ['vipsthumbnail', picture, '-s', '1920x1080', '-o', OUT + '.v']),
        ('ImageMagick convert' + (' with size hint' if kind == 'jpg' else ''),
         ['convert'] + (['-define', 'jpeg:size=3840x2160'] if kind == 'jpg' else []) +
         [picture, '-resize', '1920x1080', 'bmp:' + OUT + '.bmp']),
        ('stb_image + stb_image_resize', [BENCH, 'stb', picture, '1920', '1080']),
    ]
    if kind == 'jpg':
        rows.append(('djpeg -scale 1/2 (DCT-scaled decode alone, the floor)',
                     ['djpeg', '-scale', '1/2', '-outfile', OUT + '.ppm', picture]))
    return rows


def time_once(command):
    start = time.perf_counter()
    subprocess.run(command, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    return (time.perf_counter() - start) * 1000


def main():
    print(f'Median of {RUNS} runs, milliseconds; ratio = time / vipsthumbnail on the same file.\n')
    print('| Picture (4000 x 3000) | Program | Median ms | Ratio to vipsthumbnail |')
    print('| --- | --- | ---: | ---: |')
    for name in ('photo.jpg', 'photo.png', 'photo.gif', 'photo.bmp'):
        picture = os.path.join(PICTURES, name)
        rows = commands(picture)
        times = {label: [] for label, _ in rows}
        for label, command in rows:  # warm the file cache and skip peers that cannot read the type
            try:
                time_once(command)
            except subprocess.CalledProcessError:
                times.pop(label)
        for _ in range(RUNS):
            for label, command in rows:
                if label in times:
                    times[label].append(time_once(command))
        vips = statistics.median(times['vipsthumbnail']) if 'vipsthumbnail' in times else None
        kind = {'jpg': 'JPEG q90', 'png': 'PNG', 'gif': 'GIF', 'bmp': 'BMP 24-bit'}[name.split('.')[1]]
        for label, values in times.items():
            median = statistics.median(values)
            ratio = f'{median / vips:.2f}' if vips else '-'
            print(f'| {kind} | {label} | {median:.0f} | {ratio} |')
    ours, stb = subprocess.run([BENCH, 'resample', str(max(RUNS, 5))], check=True, capture_output=True,
                               text=True).stdout.split()
    print(f'\nResampler alone, 4000 x 3000 to 1440 x 1080 in memory (median of {max(RUNS, 5)}): '
          f'ours {float(ours):.1f} ms, stb_image_resize {float(stb):.1f} ms, ratio {float(ours) / float(stb):.2f}.')


if __name__ == '__main__':
    main()
