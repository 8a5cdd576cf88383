"""Builds the kestrun package's compiled module with the project's own CMake build, then packages it.

    python3 -m venv --system-site-packages env && env/bin/pip install --no-build-isolation ./python
"""
import os
import re
import shutil
import subprocess
import sys
from pathlib import Path

from setuptools import Extension, setup
from setuptools.command.build_ext import build_ext

ROOT = Path(__file__).resolve().parent.parent
VERSION = re.search(r"project\(Kestrun VERSION ([\d.]+)", (ROOT / "CMakeLists.txt").read_text()).group(1)


class CMakeBuild(build_ext):
    def build_extension(self, ext):
        build = Path(self.build_temp).resolve() / "cmake"
        subprocess.run(["cmake", "-S", str(ROOT), "-B", str(build), "-DCMAKE_BUILD_TYPE=Release",
                        f"-DPython3_EXECUTABLE={sys.executable}", "-DKESTRUN_BUILD_UI=OFF",
                        "-DKESTRUN_BUILD_BENCH=OFF", "-DKESTRUN_BUILD_TESTS=OFF"]
                       + (["-G", "Ninja"] if shutil.which("ninja") else []), check=True)
        subprocess.run(["cmake", "--build", str(build), "--target", "_kestrun"], check=True)
        built = next((build / "python" / "kestrun").glob("_kestrun*"))
        target = Path(self.get_ext_fullpath(ext.name))
        target.parent.mkdir(parents=True, exist_ok=True)
        shutil.copy2(built, target)


setup(
    name="kestrun",
    version=VERSION,
    description="Reads TDC photon-counting files (T1, T2, T3, ITTR) into NumPy arrays",
    packages=["kestrun"],
    ext_modules=[Extension("kestrun._kestrun", sources=[])],
    cmdclass={"build_ext": CMakeBuild},
    install_requires=["numpy"],
    python_requires=">=3.9",
    zip_safe=False,
)
