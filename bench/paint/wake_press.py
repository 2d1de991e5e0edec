#!/usr/bin/env python3
"""One timed key press into a running full-screen saver that paints one picture again and again: waits for paints,
presses a key (real X input, xdotool) a chosen fraction of a paint after a paint began, and prints the time from
the key to the end of the saver's process, as one line of key=value pairs for bench/paint/run.sh.

The saver's own Linux process is found by its name and Wine prefix (the 32-bit build runs in a process of its own,
started by Wine's start.exe). A paint is seen to begin, without touching the saver, when the bytes its process has
read (rchar of /proc/<pid>/io) jump by about the picture file's size: every paint loads the file first, in one read.
The process's end is seen through a pidfd, which wakes this script the moment the process exits. xdotool runs as one
process reading its commands from a pipe, started before the paints are watched: a new xdotool process per key takes
tens of milliseconds to start on a busy machine, which would count against the saver.

Usage: wake_press.py <wine prefix> <picture file size in bytes> <press index> <presses> <seed>
The fraction of the paint at which press i of n falls is (i + u) / n with u drawn from the seed, so that the presses
of one case are spread evenly over a paint.
"""
import os
import random
import select
import subprocess
import sys
import time

SAVER_NAME = 'lumeta_show.scr'  # the process name Wine gives the program (at most 15 bytes)
POLL_S = 0.002  # sampling period of the read counter: about 5 % of a core, fine next to a paint's length
FIND_TIMEOUT_S = 20
PAINTS_TIMEOUT_S = 60  # the slowest paint is a few seconds; a saver that paints nothing is reported
EXIT_TIMEOUT_S = 10  # a key not answered by then counts as lost
SETTLING_PAINTS = 1  # paints seen before the two whose interval gives the paint's length
PRESS_KEY = 'a'


def monotonic_ms():
    return time.monotonic() * 1000.0


def environment_value(pid, name):
    try:
        with open(f'/proc/{pid}/environ', 'rb') as environ:
            for entry in environ.read().split(b'\0'):
                key, _, value = entry.partition(b'=')
                if key == name.encode():
                    return value.decode(errors='replace')
    except OSError:
        pass
    return None


def find_saver(prefix):
    """The pid of the saver process running in this Wine prefix."""
    deadline = time.monotonic() + FIND_TIMEOUT_S
    while time.monotonic() < deadline:
        for entry in os.listdir('/proc'):
            if not entry.isdigit():
                continue
            try:
                with open(f'/proc/{entry}/comm') as comm:
                    if comm.read().strip() != SAVER_NAME:
                        continue
            except OSError:
                continue
            if environment_value(entry, 'WINEPREFIX') == prefix:
                return int(entry)
        time.sleep(0.05)
    return None


def bytes_read(pid):
    """The process's rchar (bytes read through read-like calls), or None once it has gone."""
    try:
        with open(f'/proc/{pid}/io') as io:
            for line in io:
                if line.startswith('rchar:'):
                    return int(line.split()[1])
    except OSError:
        pass
    return None


class PaintWatch:
    """Notes the moments at which the saver's process reads a picture's worth of bytes."""

    def __init__(self, pid, file_size):
        self.pid = pid
        self.threshold = file_size // 2
        self.last = bytes_read(pid)
        self.starts = []

    def sample(self):
        now = bytes_read(self.pid)
        if now is None or self.last is None:
            return
        if now - self.last >= self.threshold:
            self.starts.append(monotonic_ms())
        self.last = now


def result(**fields):
    print(' '.join(f'{key}={value}' for key, value in fields.items()), flush=True)


def main():
    prefix, file_size, index, presses, seed = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), int(sys.argv[4]), \
        int(sys.argv[5])
    fraction = (index + random.Random(seed * 1000003 + index).random()) / presses
    pid = find_saver(prefix)
    if pid is None:
        result(kind='wake', error='no_saver_process')
        return 1
    exited = os.pidfd_open(pid)
    # xdotool executes each line as it arrives; getmouselocation answers only after a round trip to the X server,
    # so its line tells that the server has the key event sent before it.
    keys = subprocess.Popen(['xdotool', '-'], stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True, bufsize=1)
    watch = PaintWatch(pid, file_size)

    # Paints: the first one seen may still carry first-use costs; the interval of the next two is the paint's length.
    deadline = time.monotonic() + PAINTS_TIMEOUT_S
    while len(watch.starts) < SETTLING_PAINTS + 2:
        if time.monotonic() > deadline or select.select([exited], [], [], 0)[0]:
            result(kind='wake', pid=pid, error='no_paints', paints_seen=len(watch.starts))
            return 1
        time.sleep(POLL_S)
        watch.sample()
    paint_start = watch.starts[-1]
    paint_ms = paint_start - watch.starts[-2]
    press_at = paint_start + fraction * paint_ms
    while monotonic_ms() < press_at:
        time.sleep(POLL_S)
        watch.sample()
    starts_before_key = len(watch.starts)
    paint_start = watch.starts[-1]  # a paint shorter than the last may have ended before the press

    # The press: timed from the moment its command is handed to xdotool.
    pressed = monotonic_ms()
    keys.stdin.write(f'keydown --delay 0 {PRESS_KEY}\ngetmouselocation\n')
    keys.stdin.flush()
    keys.stdout.readline()
    sent = monotonic_ms()
    exit_ms = None
    while monotonic_ms() - pressed < EXIT_TIMEOUT_S * 1000:
        if select.select([exited], [], [], POLL_S)[0]:
            exit_ms = monotonic_ms()
            break
        watch.sample()
    os.close(exited)
    keys.stdin.write(f'keyup --delay 0 {PRESS_KEY}\n')  # the X server's key state as it was for the next run
    keys.stdin.close()
    keys.wait()
    fields = dict(kind='wake', pid=pid, paint_ms=f'{paint_ms:.0f}', fraction=f'{fraction:.3f}',
                  delay_ms=f'{pressed - paint_start:.0f}', key_sent_ms=f'{sent - pressed:.1f}',
                  paints_after_key=len(watch.starts) - starts_before_key)
    if exit_ms is None:
        result(**fields, error='still_running')
        return 1
    result(**fields, wake_ms=f'{exit_ms - pressed:.1f}')
    return 0


if __name__ == '__main__':
    sys.exit(main())
