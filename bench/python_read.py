"""Speed and memory of kestrun.read and kestrun.iter_read on one file (run each in a fresh process):

    PYTHONPATH=build-release/python /usr/bin/python3 bench/python_read.py read|iter FILE [TYPE DEVICE PS]

Prints the best wall time, the input rate, and the peak resident memory beyond the arrays returned; for
read, also the time NumPy takes to fill new memory of the arrays' size, in the same run: on a virtual
machine that first touch of fresh memory can cost more than the decoding."""
import os
import resource
import sys
import time

import numpy as np

import kestrun

mode, path = sys.argv[1], sys.argv[2]
given = dict(zip(('type', 'device', 'resolution_ps'), sys.argv[3:6]))  # for names that do not tell them
if 'resolution_ps' in given:
    given['resolution_ps'] = int(given['resolution_ps'])
repeats = 3
size = os.path.getsize(path)
best, kept = float('inf'), 0
for _ in range(repeats):
    start = time.perf_counter()
    if mode == 'read':
        rec = kestrun.read(path, **given)
        kept = rec.events.nbytes + rec.markers.nbytes
    else:
        rows = sum(len(chunk.events) for chunk in kestrun.iter_read(path, **given))
    best = min(best, time.perf_counter() - start)
    rec = None
fill = float('inf')
for _ in range(repeats if kept else 0):
    start = time.perf_counter()
    np.ones(kept, np.uint8)
    fill = min(fill, time.perf_counter() - start)
peak = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss * 1024
print(f'{mode}: {size / 2**20:.0f} MiB in {best:.3f} s = {size / best / 1e9:.2f} GB/s; '
      f'peak memory {peak / 2**20:.0f} MiB = arrays {kept / 2**20:.0f} MiB + {(peak - kept) / 2**20:.0f} MiB'
      + (f'; filling new memory of the arrays\' size: {fill:.3f} s' if kept else ''))
