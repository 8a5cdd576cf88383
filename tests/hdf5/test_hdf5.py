"""kestrun-cli --hdf5 on kestrun-synth series: the file holds what the parsed text of the same run shows."""
import os
import re
import signal
import subprocess
import time

import h5py
import numpy as np
import pytest

from photon_hdf5_check import check

from kestrun_testing import CLI, RATE, same, synth



def convert(*args, **kwargs):
    return subprocess.run([CLI, *map(str, args)], capture_output=True, text=True, **kwargs)


def outputs(first):  # parsed text, report, HDF5 file
    return [first[:-4] + end for end in ('_parsed.txt', '_report.txt', '.hdf5')]


def converted(first):
    run = convert('--hdf5', '--report', '--overflow', '--sync-rate', RATE, first)
    assert run.returncode == 0, run.stderr
    parsed, report, hdf5 = outputs(first)
    f = h5py.File(hdf5, 'r')
    assert bytes(f['user/kestrun/report'][:]) == open(report, 'rb').read() and f['user/kestrun/stopped'][()] == 0
    return open(parsed).read(), f, run.stderr


def photon_lines(text):
    # Events (channel, time or sync, dtime), markers (events before, mask) and storage overflow serials of
    # a T2/T3 text at 16 ps with --overflow; the sync wraps run on across blocks and files.
    events, markers, storage, value, wraps = [], [], [], 0, 0
    for f in (line.split('\t') for line in text.split('\n')[11:]):
        if f[0] == 'Event' and len(f) == 5:
            channel, bins, sequence, ps = map(int, f[1:])
            assert ps == bins * 16
            events.append((channel, (wraps * 1024 + value) * 1024 + sequence, bins))
        elif f[0] == 'Event' and len(f) == 4 or f[0] == '0' and len(f) == 3:
            ps = int(f[-1])
            assert ps % 16 == 0 and (len(f) == 3 or ps // 16 % 2**25 == int(f[2]))
            events.append((int(f[1]), ps // 16, 0))
        elif f[0] == 'Overflow' or f[0].startswith('Event') or f[:2] == ['1', '63']:  # sync overflow
            wraps, value = wraps + (value == 1023 and f[-1] == '0'), int(f[-1])
        elif f[0].startswith('Marker') or f[0] == '1':
            markers.append((len(events), int(f[2] if f[0] == 'Marker' else f[1])))
        elif f[0].startswith('Storage Overflow'):
            storage.append(int(f[1]))
    return np.array(events).reshape(-1, 3), np.array(markers).reshape(-1, 2), storage


@pytest.mark.parametrize('kind, device, board, drop', [
    ('T2', 'KR77A5', 0, False), ('T2', 'QZ48', 3, False), ('T3', 'KR77A5', 0, False), ('T3', 'QZ48', 2, False),
    ('T3', 'KR77A5', 0, True),  # the middle file missing: sync wraps are lost and the times go back
])
def test_photon_data_equal_the_parsed_text(tmp_path, kind, device, board, drop):
    packaged = device == 'QZ48'
    faults = 'junk' if drop else 'serial-gap,length,sync-gap,junk' if packaged else 'sync-gap,junk'
    files = synth(tmp_path, kind, device, '--size=3M', f'--files={2 + drop}', f'--board={board}', f'--faults={faults}')
    if drop:
        os.remove(files.pop(1))
    text, f, stderr = converted(files[0])
    assert check(f.filename) == []
    events, markers, storage = photon_lines(text)
    data, user = f['photon_data'], f['user/kestrun']
    timestamps = data['timestamps'][:]
    nanotimes = data['nanotimes'][:] if kind == 'T3' else 0 * timestamps
    same(np.stack([data['detectors'][:], timestamps, nanotimes], 1), events)
    same(np.stack([user['markers/position'][:], user['markers/mask'][:]], 1), markers)
    assert user['storage_overflow_serials'][:].tolist() == storage and len(markers) > 100
    assert [s.decode() for s in user['source_files'][:]] == files
    decreases = np.count_nonzero(timestamps[1:] < timestamps[:-1])
    assert user['time_decreases'][()] == decreases and (decreases > 0) == drop == ('a time below' in stderr)
    expected = {'sync_errors': 1, 'board': board}
    expected |= {'package_serial_errors': 1, 'length_errors': 1} if packaged else {}
    assert {name: user[name][()] for name in expected} == expected
    unit = data['timestamps_specs/timestamps_unit'][()]
    assert unit == (1 / RATE if kind == 'T3' else 16e-12)
    assert f['acquisition_duration'][()] == pytest.approx((timestamps.max() - timestamps[0]) * unit, rel=1e-12)


def test_t1_histograms_equal_the_parsed_text(tmp_path):
    files = synth(tmp_path, 'T1', 'RB9531', '-r', '25', '--size=3M', '--files=2', '--seed=3')
    text, f, _ = converted(files[0])
    stored = {f'{b[-1]}/{c[8:]}': g for b, board in f['histograms'].items() for c, g in board.items()}
    shown = re.findall(r'Board ([A-D]), Channel (\d+): MAX @(\d+)ps\nTime\(ps\)\tCount\n((?:\d+\t\d+\n)*)', text)
    assert len(stored) == 7 and len(shown) == sum(g['counts'][:].argmax() > 0 for g in stored.values())
    for board, channel, max_ps, lines in shown:
        rows = np.array(lines.split(), dtype=np.uint64).reshape(-1, 2)
        g = stored[f'{"ABCD".index(board)}/{channel}']
        counts, bins = g['counts'][:], np.arange(len(g['time_ns']))
        same(counts[:-1], rows[:, 1])  # the text stops before the last bin
        same(rows[:, 0], bins[:-1] * 25)
        same(np.rint(g['time_ns'][:] * 1000), bins * 25)
        assert int(max_ps) == counts.argmax() * 25
    assert f.attrs['format_name'] == b'Kestrun-HDF5' and f['identity/software'][()] == b'Kestrun'


@pytest.mark.parametrize('kind, board', [('ITTR_T', 0), ('ITTR_M', 5)])
def test_ittr_intensities_equal_the_parsed_text(tmp_path, kind, board):
    files = synth(tmp_path, kind, 'KR77A5', '--size=3M', '--files=2', f'--board={board}',
                  '--faults=serial-gap,lead-gap,overflow-gap,junk')
    text, f, _ = converted(files[0])
    rows, lead, mode = [], None, None
    for line in text.split('\n'):
        while m := re.match(r'\d+\t(\d+)\t(\d+)\t(\d+)\t', line):  # a lead without intensity leaves its line open
            lead, line = m, line[m.end():]
        if line.startswith('Mode: 0x'):
            mode = int(line[6:].split(',')[0], 16)
        elif lead and line.isdigit():
            rows.append((int(lead[2]), int(lead[3]), int(lead[1]), int(line), mode >> 16 & 15))
    rows, g, user = np.array(rows), f['intensities'], f['user/kestrun']
    same(np.stack([g[c][:] for c in ('serial_synced', 'serial', 'channel', 'intensity', 'board')], 1), rows)
    assert g.attrs['mode_word'] == mode and mode & 1 == (kind == 'ITTR_M') and rows[0, 4] == board
    assert user['ittr_errors'][()] == 3 and user['events'][()] == len(rows)
    assert user['time_decreases'][()] == np.count_nonzero(rows[1:, 0] < rows[:-1, 0])


def test_full_disk_fails_and_leaves_nothing(tmp_path):
    files, disk = synth(tmp_path, 'T2', 'QZ48', '--size=3M'), tmp_path / 'disk'
    disk.mkdir()
    if os.geteuid() != 0 or subprocess.run(['mount', '-t', 'tmpfs', '-o', 'size=1m', 'tmpfs', disk]).returncode:
        pytest.skip('cannot mount a 1 MiB tmpfs to fill (needs root)')
    try:
        run, left = convert('--hdf5', '--no-parsed', '-o', disk, files[0]), list(disk.iterdir())
    finally:
        subprocess.run(['umount', disk], check=True)
    assert (run.returncode, left) == (1, []) and f'Could Not Write HDF5 File: {disk}' in run.stderr, run.stderr


def partial_bytes(folder):  # of the outputs being written, one of which may take its final name meanwhile
    sizes = []
    for path in folder.glob('*.partial'):
        try:
            sizes.append(path.stat().st_size)
        except FileNotFoundError:
            pass
    return sum(sizes)


def test_stopped_run_keeps_the_records_of_what_it_read(tmp_path):
    [big] = synth(tmp_path, 'T2', 'KR77A5', '--size=300M')
    run = subprocess.Popen([CLI, '--hdf5', '--no-parsed', '-q', big], stderr=subprocess.PIPE, text=True)
    deadline = time.time() + 20
    # Signalled once its records reach the file (blocks have been read), not after a fixed time, which a
    # fast machine may need for the whole input.
    while time.time() < deadline and partial_bytes(tmp_path) < 1 << 20:
        time.sleep(0.01)
    run.send_signal(signal.SIGINT)
    assert run.wait(60) == 130, run.stderr.read()
    hdf5, size = outputs(big)[2], os.path.getsize(big)
    assert check(hdf5) == [] and not list(tmp_path.glob('*.partial'))
    with h5py.File(hdf5, 'r') as f:
        read = f['user/kestrun/input_bytes'][()]
        assert f['user/kestrun/stopped'][()] == 1 and 0 < read < size
        assert f'the first {read} of {size} input bytes' in f['description'][()].decode()
        stopped = [f[name][:] for name in ('photon_data/timestamps', 'photon_data/detectors')]
    os.remove(hdf5)
    os.truncate(big, read)  # the same records as a conversion of the bytes it read
    assert convert('--hdf5', '--no-parsed', '-q', big).returncode == 0
    with h5py.File(hdf5, 'r') as f:
        same([f[name][:] for name in ('photon_data/timestamps', 'photon_data/detectors')], stopped)
    for path in (big, hdf5):  # hundreds of MB that pytest would keep
        os.remove(path)


@pytest.mark.parametrize('inputs, args, status, message, written', [
    (['b1'], ['--hdf5'], 2, '--sync-rate', []),
    (['b1'], ['--hdf5-compress'], 2, '--sync-rate', []),
    (['a1'], ['--hdf5', '-o', 'missing/dir'], 1, 'Could Not Open Output Directory', []),
    (['a1'], ['--hdf5', '-o', 'a-file'], 1, 'Could Not Open Output File', []),
    (['a1', 'b1'], ['--hdf5', '--sync-rate', RATE], 0, '', ['a1', 'b1']),
    (['a2', 'b1', 'a1'], ['--hdf5', '--sync-rate', RATE], 0, '', ['a2', 'b1']),  # a series twice: by its first name
    (['b1', 'missing'], ['--hdf5', '--sync-rate', RATE], 1, '', ['b1']),
])
def test_several_inputs_and_refused_runs(tmp_path, inputs, args, status, message, written):
    a = synth(tmp_path / 'a', 'T2', 'KR77A5', '--size=256K', '--files=2')
    b = synth(tmp_path / 'b', 'T3', 'QZ48', '--size=256K')
    (tmp_path / 'a-file').write_text('')
    paths = {'a1': a[0], 'a2': a[1], 'b1': b[0], 'missing': str(tmp_path / 'c' / os.path.basename(a[0]))}
    run = convert(*args, *(paths[name] for name in inputs), cwd=tmp_path)
    assert run.returncode == status and message in run.stderr, run.stderr
    made = [out for name in written for out in outputs(paths[name])[::2]]  # parsed text, HDF5 file
    left = sorted(str(p) for p in tmp_path.rglob('*') if p.is_file())
    assert left == sorted(a + b + made + [str(tmp_path / 'a-file')])
    assert all(check(out) == [] for out in made[1::2])
