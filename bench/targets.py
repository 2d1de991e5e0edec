#!/usr/bin/env python3
"""The picture library's targets in one table: in each of a few rounds, native peers and our native pipeline by
turns (targets_bench), then imgctl.dll under Wine (imgctl_wine_bench.exe), the x64 and the x86 build by turns, on
the same files; our core as 32-bit code against the peers' i386 builds where build/bench32 is made; and whether
the two builds draw the same pixels."""
import os
import subprocess
import sys

RUNS = sys.argv[1]
PICTURES = os.path.abspath(sys.argv[2])
CASES = [  # file, screen, native case name, target ratio (natively and under Wine, both builds)
    ('photo_4000x3000.jpg', (1920, 1080), 'JPEG 4000x3000 q90', 0.6),
    ('photo_6000x4000.jpg', (3840, 2160), 'JPEG 6000x4000 q90', 0.6),
    ('photo_4000x3000_progressive.jpg', (1920, 1080), 'JPEG 4000x3000 q90 progressive', 0.7),
    ('photo_4000x3000.png', (1920, 1080), 'PNG 4000x3000', 0.75),
]
ARCHES = ('x64', 'x86')


def wine_path(path):
    return 'Z:' + path.replace('/', '\\')


def wine_bench(arch, runs, screen, files):
    out = subprocess.run(['scripts/wine-run.sh', f'build/{arch}/imgctl_wine_bench.exe', str(runs), str(screen[0]),
                          str(screen[1])] + [wine_path(f) for f in files], check=True, capture_output=True,
                         text=True).stdout
    rows = [line.split('\t') for line in out.splitlines() if '\t' in line]
    times = [float(r[1]) for r in rows if r[0] != 'peak']
    peak = [float(v) for r in rows if r[0] == 'peak' for v in r[1:]]
    return times, peak


ROUNDS = 5


def median(values):
    return sorted(values)[len(values) // 2]


def wine_digest(arch, screen, path):
    """A hash of the screen after one paint of the file by the given build."""
    return subprocess.run(['scripts/wine-run.sh', f'build/{arch}/imgctl_wine_bench.exe', 'digest', str(screen[0]),
                           str(screen[1]), wine_path(path)], check=True, capture_output=True, text=True).stdout


def main():
    # ROUNDS rounds, each: the native peers and ours by turns (RUNS each), then every case under Wine, the x64 and the
    # x86 build by turns (a process of RUNS paints each). The medians over the rounds put the peer and the Wine times
    # under about the same load on a shared machine.
    native, native32, wine = {}, {}, {}
    # The core as 32-bit code against the peers' i386 builds, natively (bench/run.sh makes it where the machine
    # runs i386 programs): the x86 build's code against the same peer on its own architecture.
    bench32 = os.path.exists('build/bench32/targets_bench')
    for _ in range(ROUNDS):
        for program, table in [('build/bench/targets_bench', native)] + (
                [('build/bench32/targets_bench', native32)] if bench32 else []):
            out = subprocess.run([program, PICTURES, RUNS], check=True, capture_output=True, text=True).stdout
            for line in out.splitlines():
                row = line.split('\t')
                if len(row) >= 7:
                    table.setdefault(row[0].split(' -> ')[0], []).append(row)
        for name, screen, case, _ in CASES:
            for arch in ARCHES:
                wine.setdefault((case, arch), []).append(
                    wine_bench(arch, RUNS, screen, [os.path.join(PICTURES, name)])[0][0])
    print(f'Medians of {ROUNDS} rounds of {RUNS} runs, milliseconds. Peer measured natively, by turns with ours '
          'natively; ours under Wine is imgctl.dll\'s load + prepare + query + resize + draw into a memory DC + free, '
          'the x64 and the x86 build by turns, in the same rounds; both Wine ratios are to the 64-bit native peer. '
          'The i386 columns: the peer\'s i386 build and our core as 32-bit code, natively, by turns; and the x86 '
          'build under Wine against that peer, the two 32-bit builds side by side.\n')
    print('| Case (fit into) | Peer | Peer ms | Ours native ms | Ratio | Ours under Wine x64 ms | Ratio | '
          'Ours under Wine x86 ms | Ratio | i386 peer ms | Ours native i386 ms | Ratio | Wine x86 / i386 peer | '
          'Target | PSNR ours | PSNR peer |')
    print('| --- | --- | ---: | ---: | ---: | ---: | ---: | ---: | ---: | ---: | ---: | ---: | ---: | ---: | ---: | ---: |')
    same = True
    for name, screen, case, target in CASES:
        rows = native.get(case)
        if not rows:
            print(f'| {case} | missing | | | | | | | | | | |')
            continue
        row = rows[0]
        ours, peer = median([float(r[1]) for r in rows]), median([float(r[2]) for r in rows])
        x64, x86 = (median(wine[(case, arch)]) for arch in ARCHES)
        i386 = '- | - | - | -'
        if native32.get(case):
            ours32, peer32 = (median([float(r[k]) for r in native32[case]]) for k in (1, 2))
            i386 = f'{peer32:.0f} | {ours32:.0f} | {ours32 / peer32:.2f} | {x86 / peer32:.2f}'
        print(f'| {row[0]} ({screen[0]}x{screen[1]}) | {row[6]} | {peer:.0f} | {ours:.0f} | {ours / peer:.2f} | '
              f'{x64:.0f} | {x64 / peer:.2f} | {x86:.0f} | {x86 / peer:.2f} | {i386} | '
              f'<= {target} | {row[4]} | {row[5]} |')
        digests = [wine_digest(arch, screen, os.path.join(PICTURES, name)) for arch in ARCHES]
        same = same and digests[0] == digests[1]
    # Peak memory: one process that shows the 24 MP photo once, fitted to 1920 x 1080, as a paint does.
    peaks = [wine_bench(arch, 0, (1920, 1080), [os.path.join(PICTURES, 'photo_6000x4000.jpg')])[1] for arch in ARCHES]
    print(f'\nPeak memory of a Windows process under Wine showing the 24 MP JPEG (6000x4000) fitted to 1920x1080 '
          f'through the painter\'s six calls: working set {peaks[0][0]:.1f} MB, private bytes {peaks[0][1]:.1f} MB '
          f'(x86: {peaks[1][0]:.1f} MB, {peaks[1][1]:.1f} MB; target: under 48 MB).')
    print(f'\nThe x64 and x86 builds drew {"the same" if same else "DIFFERENT"} pixels for every case.')


if __name__ == '__main__':
    main()
