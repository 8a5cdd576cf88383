"""Every snippet of docs/PYTHON.md runs, in order, in one namespace, on the data its first block makes."""
import re
import subprocess
from pathlib import Path

from kestrun_testing import SYNTH

DOC = Path(__file__).resolve().parents[2] / 'docs' / 'PYTHON.md'


def test_every_snippet_runs(tmp_path, monkeypatch):
    blocks = re.findall(r'```(bash|python)\n(.*?)```', DOC.read_text(), re.S)
    monkeypatch.chdir(tmp_path)
    namespace = {}
    for language, code in blocks:
        if language == 'bash':
            for line in code.strip().split('\n'):
                subprocess.run([SYNTH, *line.split()[1:]], check=True, capture_output=True)
        else:
            exec(compile(code, str(DOC), 'exec'), namespace)
    assert len(blocks) == 8 and (tmp_path / 'python-example.png').stat().st_size > 10_000
