#!/usr/bin/env python3
"""What the read-ahead thread pays for a file it cannot take: an open, fstat and close, against
reading the first 64 KiB, 256 KiB and 1 MiB of the same file with pread. Decides the largest
file the read-ahead holds whole (docs/performance.md, "Files between the two sizes").

    bench/open-cost.py [FOLDER]     (default /tmp; /dev/shm for tmpfs)
"""
import os
import sys
import tempfile
import time

ROUNDS = 2000


def median_us(step):
    samples = []
    for _ in range(ROUNDS):
        start = time.perf_counter_ns()
        step()
        samples.append(time.perf_counter_ns() - start)
    samples.sort()
    return samples[len(samples) // 2] / 1000


def main():
    folder = sys.argv[1] if len(sys.argv) > 1 else "/tmp"
    with tempfile.NamedTemporaryFile(dir=folder) as probe:
        probe.write(os.urandom(1 << 20))
        probe.flush()
        name = probe.name

        def open_and_give_up():
            descriptor = os.open(name, os.O_RDONLY)
            os.fstat(descriptor)
            os.close(descriptor)

        print(f"{folder}: open+fstat+close {median_us(open_and_give_up):.1f} us")
        descriptor = os.open(name, os.O_RDONLY)
        try:
            for size in (64 << 10, 256 << 10, 1 << 20):
                cost = median_us(lambda: os.pread(descriptor, size, 0))
                print(f"{folder}: pread {size >> 10} KiB {cost:.1f} us")
        finally:
            os.close(descriptor)


if __name__ == "__main__":
    main()
