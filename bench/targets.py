#!/usr/bin/env python3
"""The picture library's targets in one table: native peers and our native pipeline by turns (targets_bench),
then imgctl.dll under Wine (imgctl_wine_bench.exe) on the same files in the same run."""
import os
import subprocess
import sys

RUNS = sys.argv[1]
PICTURES = os.path.abspath(sys.argv[2])
CASES = [  # file, screen, native case name, target ratio
    ('photo_4000x3000.jpg', (1920, 1080), 'JPEG 4000x3000 q90', 1.5),
    ('photo_6000x4000.jpg', (3840, 2160), 'JPEG 6000x4000 q90', 1.5),
    ('photo_4000x3000_progressive.jpg', (1920, 1080), 'JPEG 4000x3000 q90 progressive', 1.5),
    ('photo_4000x3000.png', (1920, 1080), 'PNG 4000x3000', 1.5),
]


def wine_path(path):
    return 'Z:' + path.replace('/', '\\')


def wine_bench(runs, screen, files):
    out = subprocess.run(['scripts/wine-run.sh', 'build/x64/imgctl_wine_bench.exe', str(runs), str(screen[0]),
                          str(screen[1])] + [wine_path(f) for f in files], check=True, capture_output=True,
                         text=True).stdout
    rows = [line.split('\t') for line in out.splitlines() if '\t' in line]
    times = [float(r[1]) for r in rows if r[0] != 'peak']
    peak = [float(v) for r in rows if r[0] == 'peak' for v in r[1:]]
    return times, peak


def main():
    native = subprocess.run(['build/bench/targets_bench', PICTURES, RUNS], check=True, capture_output=True,
                            text=True).stdout
    lines = {line.split('\t')[0].split(' -> ')[0]: line.split('\t') for line in native.splitlines()}
    print(f'Medians of {RUNS} runs, milliseconds. Peer measured natively, by turns with ours natively; ours under '
          'Wine is imgctl.dll\'s load + prepare + query + resize + draw into a memory DC + free.\n')
    print('| Case (fit into) | Peer | Peer ms | Ours native ms | Ratio | Ours under Wine ms | Ratio | Target | '
          'PSNR ours | PSNR peer |')
    print('| --- | --- | ---: | ---: | ---: | ---: | ---: | ---: | ---: | ---: |')
    for name, screen, case, target in CASES:
        row = lines.get(case)
        if row is None or len(row) < 7:
            print(f'| {case} | missing | | | | | | | | |')
            continue
        ours, peer = float(row[1]), float(row[2])
        wine = wine_bench(RUNS, screen, [os.path.join(PICTURES, name)])[0][0]
        print(f'| {row[0]} ({screen[0]}x{screen[1]}) | {row[6]} | {peer:.0f} | {ours:.0f} | {ours / peer:.2f} | '
              f'{wine:.0f} | {wine / peer:.2f} | <= {target} | {row[4]} | {row[5]} |')
    # Peak memory: one process that shows the 24 MP photo once, fitted to 1920 x 1080, as a paint does.
    _, peak = wine_bench(0, (1920, 1080), [os.path.join(PICTURES, 'photo_6000x4000.jpg')])
    print(f'\nPeak memory of a Windows process under Wine showing the 24 MP JPEG (6000x4000) fitted to 1920x1080 '
          f'through the painter\'s six calls: working set {peak[0]:.1f} MB, private bytes {peak[1]:.1f} MB '
          '(target: under 48 MB).')


if __name__ == '__main__':
    main()
