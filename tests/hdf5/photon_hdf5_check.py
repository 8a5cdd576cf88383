"""The Photon-HDF5 0.5 rules its validator and readers hold a file to: check(path) lists what breaks them."""
import fnmatch
import re

import h5py
import numpy as np

FIELDS = {  # the names each group may hold, outside /user
    '': 'acquisition_duration description photon_data setup identity provenance sample user',
    'photon_data': 'timestamps detectors nanotimes particles timestamps_specs nanotimes_specs measurement_specs',
    'photon_data/timestamps_specs': 'timestamps_unit',
    'photon_data/nanotimes_specs': 'tcspc_unit tcspc_num_bins tcspc_range',
    'photon_data/measurement_specs': 'measurement_type laser_repetition_rate alex_* detectors_specs',
    'photon_data/measurement_specs/detectors_specs': 'spectral_ch[1-4] polarization_ch[12] split_ch[12]',
    'setup': 'num_pixels num_spots num_spectral_ch num_polarization_ch num_split_ch modulated_excitation lifetime '
             'excitation_alternated excitation_wavelengths excitation_cw excitation_polarizations '
             'excitation_input_powers excitation_intensity detection_wavelengths detection_polarizations '
             'detection_split_ch_ratios laser_repetition_rates detectors',
    'setup/detectors': 'id id_hardware label counts module position dcr afterpulsing spot tcspc_units tcspc_num_bins',
    'identity': 'author author_affiliation creator creator_affiliation url doi filename filename_full creation_time '
                'software software_version format_name format_version format_url funding license',
    'provenance': 'filename filename_full creation_time modification_time software software_version',
    'sample': 'num_dyes dye_names buffer_name sample_name',
}
ARRAYS = ('photon_data/timestamps', 'photon_data/detectors', 'photon_data/nanotimes', 'photon_data/particles',
          'photon_data/measurement_specs/detectors_specs/*', 'setup/excitation_*', 'setup/detection_*',
          'setup/laser_repetition_rates', 'setup/detectors/*')  # every other dataset is a scalar
REQUIRED = ('description', 'acquisition_duration', 'provenance/filename', 'identity/creation_time',
            'identity/format_url', 'photon_data/timestamps', 'photon_data/timestamps_specs/timestamps_unit',
            'photon_data/measurement_specs/detectors_specs', 'setup/detectors/id', 'setup/detectors/counts',
            'setup/lifetime', 'setup/excitation_cw')
LIFETIME = ('photon_data/nanotimes_specs/tcspc_unit', 'photon_data/nanotimes_specs/tcspc_num_bins',
            'photon_data/nanotimes_specs/tcspc_range', 'photon_data/measurement_specs/laser_repetition_rate',
            'setup/laser_repetition_rates')
TEXTS = {'identity/software': b'Kestrun', 'identity/format_name': b'Photon-HDF5', 'identity/format_version': b'0.5',
         'photon_data/measurement_specs/measurement_type': b'generic'}


def check(path):
    problems = []
    bad = problems.append
    with h5py.File(path, 'r') as f:
        problems += [f'root attribute {a}: {f.attrs.get(a)!r}, not {want!r}' for a, want in
                     (('format_name', b'Photon-HDF5'), ('format_version', b'0.5')) if f.attrs.get(a) != want]
        names = []
        f.visit(names.append)
        for name in (n for n in names if n.split('/')[0] != 'user'):
            parent, _, leaf = name.rpartition('/')
            if not any(fnmatch.fnmatchcase(leaf, p) for p in FIELDS.get(parent, '').split()):
                bad(f'{name}: not a Photon-HDF5 field')
            node = f[name]
            if not isinstance(node, h5py.Dataset):
                continue
            kind, array = node.dtype.kind, any(fnmatch.fnmatchcase(name, p) for p in ARRAYS)
            if kind in 'OUVb' or kind == 'S' and node.shape != ():
                bad(f'{name}: {node.dtype} {node.shape}; text is a scalar fixed-length byte string, a flag an integer')
            elif node.ndim < 1 if array else node.shape != ():
                bad(f'{name}: shape {node.shape}, must be {"an array" if array else "a scalar"}')
        missing = [f'{name}: missing' for name in REQUIRED + tuple(TEXTS) if name not in f]
        if missing:
            return problems + missing

        problems += [f'{n} is {f[n][()]!r}, not {want!r}' for n, want in TEXTS.items() if f[n][()] != want]
        created = f['identity/creation_time'][()]
        if not re.fullmatch(rb'\d{4}-\d\d-\d\d \d\d:\d\d:\d\d', created):
            bad(f'identity/creation_time {created!r}: not YYYY-MM-DD HH:MM:SS')
        data, lengths = f['photon_data'], set()
        for column, want in ('timestamps', 'int64'), ('detectors', 'uint8'), ('nanotimes', 'uint16'), ('particles', ''):
            if column in data:
                lengths.add(len(data[column]))
                if want and data[column].dtype != want:
                    bad(f'photon_data/{column}: {data[column].dtype}, must be {want}')
        if len(lengths) > 1:
            bad(f'photon_data columns differ in length: {sorted(lengths)}')

        ids, counts, total = f['setup/detectors/id'][:], f['setup/detectors/counts'][:], len(data['timestamps'])
        seen = np.bincount(data['detectors'][:] if 'detectors' in data else [0] * total, minlength=256)
        if set(np.flatnonzero(seen)) - set(ids.tolist()):
            bad(f'detectors missing from setup/detectors/id: {sorted(set(np.flatnonzero(seen)) - set(ids))}')
        if ids.shape != counts.shape or counts.sum() != total or (seen[ids] != counts).any():
            bad(f'setup/detectors/counts {counts.tolist()} do not count the detectors {ids.tolist()}')

        lifetime = f['setup/lifetime'][()]
        if lifetime != ('nanotimes' in data):
            bad(f'setup/lifetime is {lifetime}, nanotimes are {"in" if "nanotimes" in data else "not"} there')
        if 'nanotimes' in data:
            problems += [f'{n}: missing with nanotimes' for n in LIFETIME if n not in f]
            if all(n in f for n in LIFETIME[:3]):
                unit, bins, span = (f[n][()] for n in LIFETIME[:3])
                if not np.isclose(span, unit * bins, rtol=1e-12, atol=0):
                    bad(f'tcspc_range {span} is not tcspc_unit x tcspc_num_bins ({unit} x {bins})')
            if f['setup/excitation_cw'][:].tolist() != [0]:
                bad('excitation_cw must be [0] with nanotimes')
    return problems
