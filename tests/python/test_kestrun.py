"""The kestrun package on kestrun-synth series: its arrays hold what the HDF5 file of the same run holds
(checked against the parsed text by the HDF5 tests), chunk by chunk as in one piece; its documentation runs."""
import os
import re
import signal
import subprocess
import sys
from pathlib import Path

import h5py
import numpy as np
import pytest

import kestrun
from kestrun_testing import RATE, SYNTH, same, synth

# The HDF5 dataset each field of `events` is written to, by data type.
PHOTONS = {'channel': 'photon_data/detectors'}
COLUMNS = {'T2': {'time': 'photon_data/timestamps', **PHOTONS},
           'T3': {'sync': 'photon_data/timestamps', 'dtime': 'photon_data/nanotimes', **PHOTONS},
           'ITTR': {name: f'intensities/{name}' for name in kestrun.EVENT_DTYPES[4].names}, 'T1': {}}


@pytest.mark.parametrize('kind, device, faults', [
    ('T2', 'KR77A5', 'sync-gap,junk'), ('T2', 'QZ48', 'serial-gap,length,sync-gap,junk'),
    ('T3', 'RB9531', 'sync-gap'), ('T3', 'QZ48', 'length'),
    ('ITTR_T', 'QZ48', 'serial-gap,lead-gap'), ('ITTR_M', 'KR77A5', 'overflow-gap,junk'), ('T1', 'RB9531', None),
])
def test_read_equals_the_hdf5_file_of_the_same_run(tmp_path, kind, device, faults):
    files = synth(tmp_path, kind, device, '--size=2M', '--files=2', *([f'--faults={faults}'] if faults else []))
    if kind == 'T2' and device == 'KR77A5':  # a marker after the last event, alone in its chunk of records
        with open(files[-1], 'ab') as f:
            f.write((0x80000000 | 3 << 25).to_bytes(4, 'big'))
    rec = kestrun.read(files[0])
    assert kind != 'T2' or device != 'KR77A5' or rec.markers[-1].tolist() == (len(rec.events), 3)
    written = kestrun.convert(files[0], parsed=False, report=True, hdf5=True, sync_rate=RATE)
    f = h5py.File(written['hdf5'], 'r')
    assert rec.report == open(written['report']).read()
    assert (rec.type, rec.device, rec.resolution_ps) == (kind, device, 16 if kind[0] == 'T' else rec.resolution_ps)
    assert [p for p, _ in rec.files] == files and rec.integrity['events'] == len(rec.events)
    for name, dataset in COLUMNS[kind[:4]].items():
        same(rec.events[name], f[dataset][:])
    for (board, channel), counts in rec.histograms.items():
        same(counts, f[f'histograms/board_{board}/channel_{channel}/counts'][:])
    assert len(rec.histograms) == (7 if kind == 'T1' else 0)
    if kind in ('T2', 'T3'):
        user = f['user/kestrun']
        for field in 'position', 'mask':
            same(rec.markers[field], user[f'markers/{field}'][:])
        assert sum(rec.integrity['event_counts'].values()) == rec.integrity['events']
        assert rec.integrity['markers'] == len(rec.markers) > 10
        assert rec.integrity['sync_continuity'] == (user['sync_errors'][()] == 0)
        if kind == 'T3':
            assert rec.time_ps(RATE)[-1] == rec.events['sync'][-1] * 12500.0 + rec.dtime_ps()[-1]
        else:
            same(rec.time_ps(), rec.events['time'] * np.uint64(16))
    elif kind != 'T1':
        assert rec.integrity['ittr_errors'] == f['user/kestrun/ittr_errors'][()] > 0
    # A chunk size that cuts the stream at a marker, and one larger than the series.
    cut = int(rec.markers['position'][len(rec.markers) // 2]) if len(rec.markers) else 999
    for chunk_events in (cut, 10**7):
        reader = kestrun.iter_read(files[0], chunk_events=chunk_events)
        chunks = list(reader)
        if kind != 'T1':
            same(np.concatenate([c.events for c in chunks]), rec.events)
            same(np.concatenate([c.markers for c in chunks]), rec.markers)
        assert {k for c in chunks for k in c.histograms} == rec.histograms.keys() and reader.report == rec.report


T2 = {'type': 'T2', 'resolution_ps': 16}


@pytest.mark.parametrize('call, path, options, error, text', [
    (kestrun.read, 'missing_T2_1.dat', {}, FileNotFoundError, 'missing_T2_1.dat'),
    (kestrun.read, 'empty/x.txt', T2, FileNotFoundError, 'No Input File Found'),
    (kestrun.read, 'plain.dat', {}, ValueError, 'pass type='),
    (kestrun.read, 'plain.dat', {'type': 'T2'}, ValueError, 'Resolution Not Specified'),
    (kestrun.read, 'plain.dat', {'type': 'T4'}, ValueError, 'type must be one of'),
    (kestrun.read, 'plain.dat', {**T2, 'resolution_ps': 0}, ValueError, 'resolution_ps'),
    (kestrun.iter_read, 'plain.dat', {**T2, 'chunk_events': 0}, ValueError, 'chunk_events'),
    (kestrun.convert, 'plain.dat', {'type': 'T3', 'resolution_ps': 16, 'hdf5': True}, ValueError, 'sync_rate'),
    (kestrun.convert, 'plain.dat', {**T2, 'parsed': False}, ValueError, 'Gen Report'),
    (kestrun.convert, 'plain.dat', {**T2, 'output_dir': 'no'}, FileNotFoundError, 'Could Not Open Output Directory'),
    (kestrun.convert, 'plain.dat', {**T2, 'output_dir': 'plain.dat'}, OSError, 'Could Not Open Output File'),
])
def test_errors(tmp_path, call, path, options, error, text):
    (tmp_path / 'plain.dat').write_bytes(b'\0' * 64)
    (tmp_path / 'empty').mkdir()
    (tmp_path / 'empty' / 'x.txt').write_text('')
    if 'output_dir' in options:
        options = {**options, 'output_dir': tmp_path / options['output_dir']}
    with pytest.raises(error, match=text):
        call(tmp_path / path, **options)
    assert sorted(p.name for p in tmp_path.rglob('*')) == ['empty', 'plain.dat', 'x.txt']


CHILD = '''
import kestrun, sys
def progress(percent):
    print(percent, flush=True)
    if sys.argv[2] == 'callback':  # at its first call: a loaded machine may have read the whole file by then
        raise KeyboardInterrupt
try:
    if sys.argv[2] == 'callback':
        kestrun.read(sys.argv[1], progress=progress)
    else:
        reader = kestrun.iter_read(sys.argv[1], chunk_events=1000, progress=progress)
        if sys.argv[2] == 'close':
            next(reader)
            reader.close()
            print('closed')
        else:  # a consumer of small chunks holds the run back: the signal comes before its end, however busy
            list(reader)
except KeyboardInterrupt:
    print('interrupted')
'''


@pytest.fixture(scope='module')
def big(tmp_path_factory):
    [path] = synth(tmp_path_factory.mktemp('big'), 'T2', 'QZ48', '--size=200M')
    yield path
    os.remove(path)  # hundreds of MB that pytest would keep


@pytest.mark.parametrize('how', ['signal', 'callback', 'close'])
def test_a_read_stops_after_its_block(big, how):
    child = subprocess.Popen([sys.executable, '-c', CHILD, big, how], stdout=subprocess.PIPE, text=True)
    if how == 'signal':
        while not child.stdout.readline().strip().isdigit():  # until the read has begun
            pass
        child.send_signal(signal.SIGINT)
    out, _ = child.communicate(timeout=60)
    lines = [line for line in out.split('\n') if line and not line.startswith('Package')]  # the engine's notes
    assert child.returncode == 0 and lines[-1] == ('closed' if how == 'close' else 'interrupted'), out
    if how == 'callback':
        assert len(lines) == 2, out  # no call after the one that raised
    else:  # a consumer of small chunks holds the run back: it stops well before the end of the file
        assert all(int(p) < 100 for p in lines[:-1]), out


def test_every_snippet_of_the_documentation_runs(tmp_path, monkeypatch):
    """Every snippet of docs/PYTHON.md, in order, in one namespace, on the data its first block makes."""
    doc = Path(__file__).resolve().parents[2] / 'docs' / 'PYTHON.md'
    blocks = re.findall(r'```(bash|python)\n(.*?)```', doc.read_text(), re.S)
    monkeypatch.chdir(tmp_path)
    namespace = {}
    for language, code in blocks:
        if language == 'bash':
            for line in code.strip().split('\n'):
                subprocess.run([SYNTH, *line.split()[1:]], check=True, capture_output=True)
        else:
            exec(compile(code, str(doc), 'exec'), namespace)
    assert len(blocks) == 8 and (tmp_path / 'python-example.png').stat().st_size > 10_000
