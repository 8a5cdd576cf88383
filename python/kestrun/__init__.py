"""Read the files of TDC photon-counting instruments (T1, T2, T3, ITTR_T, ITTR_M) into NumPy arrays.

A file and the rest of its numbered series (run_1.dat, run_2.dat, ...) are decoded by Kestrun's engine,
the one behind kestrun-cli, with the same name rules, the same integrity checks and the same report.
"""

import os
import tempfile
import warnings as _warnings
from dataclasses import dataclass, field

import numpy as np

from . import _kestrun

__version__ = _kestrun.version
__all__ = ["read", "iter_read", "convert", "Recording", "Chunk", "Reader", "KestrunWarning"]

TYPES = {"T1": 1, "T2": 2, "T3": 3, "ITTR_T": 4, "ITTR_M": 5}
DEVICES = {"KR77A5": 1, "RB9531": 64, "QZ48": 3}
_TYPE_NAMES = {code: name for name, code in TYPES.items()}
_DEVICE_NAMES = {1: "KR77A5", 4: "KR77A5", 8: "KR77A5", 64: "RB9531", 3: "QZ48"}

# Rows as the engine lays them out: packed little-endian fields.
_ITTR_DTYPE = np.dtype([("serial_synced", "<u8"), ("serial", "<u2"), ("channel", "u1"), ("intensity", "<u4"),
                        ("board", "u1")])
EVENT_DTYPES = {
    2: np.dtype([("time", "<u8"), ("channel", "u1")]),
    3: np.dtype([("sync", "<u8"), ("dtime", "<u2"), ("channel", "u1")]),
    4: _ITTR_DTYPE,
    5: _ITTR_DTYPE,
}
MARKER_DTYPE = np.dtype([("position", "<u8"), ("mask", "u1")])


class KestrunWarning(UserWarning):
    """A doubt about the data that ends no run: settings that do not fit it, files that changed."""


@dataclass
class Chunk:
    """Records of one piece of a series, in stream order. A marker's `position` counts the events of the
    whole series before it."""
    events: np.ndarray
    markers: np.ndarray
    histograms: dict = field(default_factory=dict)


@dataclass
class Recording:
    """A whole series: its settings, its records and its integrity report."""
    type: str
    device: str
    resolution_ps: int
    files: list
    events: np.ndarray
    markers: np.ndarray
    histograms: dict
    report: str
    integrity: dict
    warnings: list

    def time_ps(self, sync_rate_hz=None):
        """Photon times in ps: T2 exactly (uint64); T3 from the sync pulse number at `sync_rate_hz`
        plus the delay (float64)."""
        return _time_ps(self.type, self.events, self.resolution_ps, sync_rate_hz)

    def dtime_ps(self):
        """T3 delay after the sync pulse in ps (uint64)."""
        return _dtime_ps(self.type, self.events, self.resolution_ps)


def _time_ps(type_name, events, resolution_ps, sync_rate_hz):
    if type_name == "T2":
        return events["time"] * np.uint64(resolution_ps)
    if type_name == "T3":
        if not sync_rate_hz or sync_rate_hz <= 0:
            raise ValueError("T3 times need the sync rate: pass sync_rate_hz (the laser's repetition rate in Hz)")
        return events["sync"] * (1e12 / sync_rate_hz) + events["dtime"] * float(resolution_ps)
    raise ValueError(f"{type_name} data have no photon times")


def _dtime_ps(type_name, events, resolution_ps):
    if type_name != "T3":
        raise ValueError(f"{type_name} data have no delay times")
    return events["dtime"].astype(np.uint64) * np.uint64(resolution_ps)


def _session(path, collect, *, type, device, resolution_ps, range, output_dir, outputs=None, chunk_events=0):
    path = os.path.abspath(os.fspath(path))
    if not os.path.exists(path):
        raise FileNotFoundError(2, "No such file", path)
    if type is not None and type not in TYPES:
        raise ValueError(f"type must be one of {', '.join(TYPES)}, not {type!r}")
    if device is not None and device not in DEVICES:
        raise ValueError(f"device must be one of {', '.join(DEVICES)}, not {device!r}")
    if resolution_ps is not None and (int(resolution_ps) != resolution_ps or not 0 < resolution_ps < 2**31):
        raise ValueError(f"resolution_ps must be a whole number of picoseconds above 0, not {resolution_ps!r}")
    first, last = 0, 2**31 - 1
    if range is not None:
        first, last = range
        if not (0 <= first < 2**31 and 0 <= last < 2**31):
            raise ValueError("range takes (first, last): two series indexes from 0")
    if output_dir is None:
        output_dir = os.path.dirname(path) if collect == "none" else tempfile.gettempdir()
    defaults = dict(parsed=False, report=False, overflow=False, packet_info=False, hdf5=False, hdf5_compress=False,
                    sync_rate=0.0, description="")
    defaults.update(outputs or {})
    session = _kestrun.Session(path, os.path.abspath(os.fspath(output_dir)), TYPES.get(type), DEVICES.get(device),
                               resolution_ps, first, last, defaults, collect, chunk_events)
    if session.missing == "type":
        raise ValueError("the data type is not given and the file name does not tell it; pass type=")
    if session.missing == "resolution":
        raise ValueError("Resolution Not Specified! (pass resolution_ps=)")
    return session


def _check(session, result):
    """Raises the run's first failure as the Python exception that fits it; warns of its doubts."""
    for text in result["warnings"]:
        _warnings.warn(text, KestrunWarning, stacklevel=3)
    if result["out_of_memory"]:
        raise MemoryError("Out Of Memory! (the records do not fit in memory: use iter_read)")
    if not result["failures"]:
        return
    status, message = result["failures"][0]
    if message.startswith(("No Input File Found", "Could Not Create OutputFile", "Could Not Open Input File",
                           "Could Not Open Output Directory")):
        raise FileNotFoundError(message)
    if status in (1, 2) or message.startswith(("Sync Rate Not Specified", "HDF5 Output Is Not Available")):
        raise ValueError(message)
    if status == 6:
        raise MemoryError(message) if message.startswith("Out Of Memory") else RuntimeError(message)
    raise OSError(message)


def _settings(session):
    return (_TYPE_NAMES[session.data_type], _DEVICE_NAMES.get(session.device, "Unknown"), session.resolution_ps)


def _events(data_type, raw):
    return raw.view(EVENT_DTYPES[data_type]) if data_type in EVENT_DTYPES else np.empty(0, EVENT_DTYPES[2])


def read(path, *, type=None, device=None, resolution_ps=None, range=None, progress=None):
    """Reads the series of `path` into a Recording. What is not given comes from the file name, as in
    kestrun-cli. `range` = (first, last) series indexes, inclusive; `progress(percent)` is called as
    the input is read. Ctrl+C stops the read after the current block (KeyboardInterrupt)."""
    session = _session(path, "all", type=type, device=device, resolution_ps=resolution_ps, range=range,
                       output_dir=None)
    expected = sum(size for _, size in session.files())
    session.start(expected)
    session.wait(progress)
    result = session.result()
    _check(session, result)
    events, markers = session.records()
    type_name, device_name, resolution = _settings(session)
    return Recording(type_name, device_name, resolution, result["files"], _events(session.data_type, events),
                     markers.view(MARKER_DTYPE), session.histograms(), result["report"].decode("utf-8", "replace"),
                     result["integrity"], result["warnings"])


class Reader:
    """Iterates over the records of a series in Chunks of at most `chunk_events` events, in constant
    memory. `report`, `integrity` and `warnings` are set once the last chunk has been read."""

    def __init__(self, session, progress):
        self._session = session
        self._progress = progress
        self.type, self.device, self.resolution_ps = _settings(session)
        self.files = session.files()
        self.report = None
        self.integrity = None
        self.warnings = None
        session.start(0)

    def __iter__(self):
        return self

    def __next__(self):
        if self._session is None:
            raise StopIteration
        try:
            batch = self._session.wait(self._progress)
        except BaseException:
            self.close()
            raise
        if batch is not None:
            events, markers = batch
            return Chunk(_events(self._session.data_type, events), markers.view(MARKER_DTYPE))
        session, self._session = self._session, None
        result = session.result()
        self.files, self.warnings = result["files"], result["warnings"]
        self.report, self.integrity = result["report"].decode("utf-8", "replace"), result["integrity"]
        _check(session, result)
        histograms = session.histograms()
        if histograms:
            return Chunk(np.empty(0, EVENT_DTYPES[2]), np.empty(0, MARKER_DTYPE), histograms)
        raise StopIteration

    def close(self):
        """Stops the run after its current block; the records not read are dropped."""
        if self._session is not None:
            self._session.stop()
            self._session = None

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()


def iter_read(path, *, type=None, device=None, resolution_ps=None, range=None, chunk_events=1_000_000,
              progress=None):
    """Like read, chunk by chunk: returns a Reader that yields Chunks of at most `chunk_events` events
    (T1: one Chunk with the histograms at the end)."""
    if int(chunk_events) < 1:
        raise ValueError("chunk_events must be 1 or more")
    session = _session(path, "chunks", type=type, device=device, resolution_ps=resolution_ps, range=range,
                       output_dir=None, chunk_events=int(chunk_events))
    return Reader(session, progress)


def convert(path, *, output_dir=None, parsed=True, report=False, hdf5=False, hdf5_compress=False, sync_rate=None,
            description="", overflow=False, packet_info=False, type=None, device=None, resolution_ps=None,
            range=None, progress=None):
    """Does what kestrun-cli does: writes <name>_parsed.txt, <name>_report.txt and <name>.hdf5 as asked
    into `output_dir` (default: the input's directory). Returns the paths written, by kind."""
    if not (parsed or report or hdf5 or hdf5_compress):
        raise ValueError('Please Select "Gen Parsed File" or "Gen Report"! (parsed=False needs report or hdf5)')
    if sync_rate is not None and not 0 < sync_rate < float("inf"):
        raise ValueError("sync_rate takes a rate in Hz above 0, such as 40e6")
    outputs = dict(parsed=parsed, report=report, hdf5=hdf5 or hdf5_compress, hdf5_compress=hdf5_compress,
                   sync_rate=float(sync_rate or 0), description=description, overflow=overflow,
                   packet_info=packet_info)
    session = _session(path, "none", type=type, device=device, resolution_ps=resolution_ps, range=range,
                       output_dir=output_dir, outputs=outputs)
    if outputs["hdf5"] and session.data_type == 3 and not sync_rate:
        raise ValueError("T3 data in Photon-HDF5 need the sync rate: pass sync_rate= (the laser's repetition rate)")
    session.start(0)
    session.wait(progress)
    result = session.result()
    _check(session, result)
    written = {"parsed": parsed, "report": report, "hdf5": outputs["hdf5"]}
    return {kind: result[kind + "_path"] for kind, wanted in written.items() if wanted}
