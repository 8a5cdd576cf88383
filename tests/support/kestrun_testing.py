"""What the Python tests share: the programs under test, and kestrun-synth series made where a test says."""
import os
import subprocess

import numpy as np

CLI, SYNTH = os.environ.get('KESTRUN_CLI'), os.environ.get('KESTRUN_SYNTH')
same = np.testing.assert_array_equal
RATE = 80e6  # the sync rate given for T3 data, in Hz


def synth(out, kind, device, *options):
    """Writes a series into `out`; returns its file paths in series order."""
    run = subprocess.run([SYNTH, '-t', kind, '-d', device, '-o', out, *options], capture_output=True, text=True)
    assert run.returncode == 0, run.stderr
    return run.stdout.split()
