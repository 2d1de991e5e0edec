#!/usr/bin/env python3
"""Embedded colour profiles under Wine: each photo of the colour table without and with its profile (the tagged
copies colour_bench writes) through imgctl.dll's six calls (imgctl_wine_bench.exe), the x64 and the x86 build, the
untagged and the tagged file by turns in each process and the builds by turns in each round; and whether the two
builds draw the same pixels for every tagged photo.
Usage: colour_wine.py RUNS PICTURES (run by bench/run.sh, which starts Wine's display and server)."""
import os
import subprocess
import sys

RUNS = sys.argv[1]
PICTURES = os.path.abspath(sys.argv[2])
CASES = [  # file, screen, name as in colour_bench's table
    ('photo_4000x3000.jpg', (1920, 1080), 'JPEG 4000x3000 q90'),
    ('photo_6000x4000.jpg', (3840, 2160), 'JPEG 6000x4000 q90'),
    ('photo_4000x3000_progressive.jpg', (1920, 1080), 'JPEG 4000x3000 q90 progressive'),
    ('photo_4000x3000.png', (1920, 1080), 'PNG 4000x3000'),
    ('photo_800x600.jpg', (1920, 1080), 'JPEG 800x600 q90 (enlarged)'),
]
ARCHES = ('x64', 'x86')
ROUNDS = 3
TURNS = 2  # untagged, tagged, untagged, tagged in each process


def wine_path(path):
    return 'Z:' + path.replace('/', '\\')


def run_bench(arch, *args):
    return subprocess.run(['scripts/wine-run.sh', f'build/{arch}/imgctl_wine_bench.exe'] + list(args), check=True,
                          capture_output=True, text=True).stdout


def median(values):
    return sorted(values)[len(values) // 2]


def main():
    times = {}  # (file, arch, tagged) -> medians of RUNS paints, one per turn and round
    for _ in range(ROUNDS):
        for name, screen, _ in CASES:
            pair = [os.path.join(PICTURES, name), os.path.join(PICTURES, 'tagged_' + name)]
            for arch in ARCHES:
                out = run_bench(arch, RUNS, str(screen[0]), str(screen[1]), *[wine_path(f) for f in pair * TURNS])
                rows = [line.split('\t') for line in out.splitlines() if '\t' in line and not line.startswith('peak')]
                for i, row in enumerate(rows):
                    times.setdefault((name, arch, i % 2 == 1), []).append(float(row[1]))
    print(f'Medians of {ROUNDS} rounds of {TURNS} turns of {RUNS} paints, milliseconds: imgctl.dll\'s load + prepare + '
          'query + resize + draw into a memory DC + free under Wine, the photo without and with the profile by turns '
          'in one process, the x64 and the x86 build by turns.\n')
    print('| Case (fit into) | x64 untagged ms | x64 tagged ms | Ratio | x86 untagged ms | x86 tagged ms | Ratio | '
          'Target |')
    print('| --- | ---: | ---: | ---: | ---: | ---: | ---: | ---: |')
    same = True
    for name, screen, case in CASES:
        cells = []
        for arch in ARCHES:
            plain, tagged = median(times[(name, arch, False)]), median(times[(name, arch, True)])
            cells += [f'{plain:.1f}', f'{tagged:.1f}', f'{tagged / plain:.2f}']
        print(f'| {case} ({screen[0]}x{screen[1]}) | ' + ' | '.join(cells) + ' | <= 1.10 |')
        tagged = wine_path(os.path.join(PICTURES, 'tagged_' + name))
        digests = [run_bench(arch, 'digest', str(screen[0]), str(screen[1]), tagged).split('\t')[-1].strip()
                   for arch in ARCHES]
        same = same and digests[0] == digests[1] and digests[0] != '0' * 16
    print(f'\nThe x64 and x86 builds drew {"the same" if same else "DIFFERENT"} pixels for every tagged photo.')


if __name__ == '__main__':
    main()
