"""The build backend of the Python package vorn (PEP 517), in the tree.

pip installs the package from the source tree with nothing else: this
backend builds the C extension vorn._vorn through CMake, the one build of
the C and C++ code (python/CMakeLists.txt), for the interpreter that runs
it, and packs the wheel itself, so that neither setuptools nor wheel is
needed. The version is the one of the project() line of CMakeLists.txt.
"""
import base64
import csv
import hashlib
import io
import os
import re
import subprocess
import sys
import sysconfig
import tarfile
import tempfile
import zipfile
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
NAME = "vorn"


def _version():
    text = (ROOT / "CMakeLists.txt").read_text()
    return re.search(r"project\(vorn VERSION ([0-9.]+)", text).group(1)


def _metadata():
    summary = "Lossless block-sorting compression, with the interface of bz2, and a numcodecs codec"
    readme = (ROOT / "python" / "README.md").read_text()
    return (
        f"Metadata-Version: 2.1\nName: {NAME}\nVersion: {_version()}\nSummary: {summary}\n"
        f"Requires-Python: >=3.9\nDescription-Content-Type: text/markdown\n\n{readme}"
    )


def _tag():
    interpreter = f"cp{sys.version_info[0]}{sys.version_info[1]}"
    platform = re.sub(r"[-.]", "_", sysconfig.get_platform())
    return f"{interpreter}-{interpreter}-{platform}"


def _extension(build):
    """Builds vorn._vorn in the folder build; returns the module's path."""
    subprocess.check_call(
        [
            "cmake", "-S", str(ROOT), "-B", str(build), "--log-level=WARNING",
            "-DCMAKE_BUILD_TYPE=Release", "-DVORN_TESTS=OFF", "-DVORN_BENCH=OFF",
            f"-DPython3_EXECUTABLE={sys.executable}",
        ],
        stdout=sys.stderr,
    )
    jobs = str(os.cpu_count() or 2)
    subprocess.check_call(["cmake", "--build", str(build), "--target", "vorn_python", "-j", jobs], stdout=sys.stderr)
    suffix = sysconfig.get_config_var("EXT_SUFFIX")
    return build / "python" / "vorn" / f"_vorn{suffix}"


def _digest(data):
    return "sha256=" + base64.urlsafe_b64encode(hashlib.sha256(data).digest()).rstrip(b"=").decode()


def _distinfo():
    return f"{NAME}-{_version()}.dist-info"


def _distinfo_files():
    return {
        "METADATA": _metadata().encode(),
        "WHEEL": f"Wheel-Version: 1.0\nGenerator: vornbuild\nRoot-Is-Purelib: false\nTag: {_tag()}\n".encode(),
        "entry_points.txt": (ROOT / "python" / "entry_points.txt").read_bytes(),
    }


# ---- the hooks pip calls ----------------------------------------------------------


def get_requires_for_build_wheel(config_settings=None):
    return []


def get_requires_for_build_sdist(config_settings=None):
    return []


def prepare_metadata_for_build_wheel(metadata_directory, config_settings=None):
    folder = Path(metadata_directory) / _distinfo()
    folder.mkdir(parents=True, exist_ok=True)
    for name, data in _distinfo_files().items():
        (folder / name).write_bytes(data)
    return _distinfo()


def build_wheel(wheel_directory, config_settings=None, metadata_directory=None):
    files = {}
    for py in sorted((ROOT / "python" / NAME).glob("*.py")):
        files[f"{NAME}/{py.name}"] = py.read_bytes()
    with tempfile.TemporaryDirectory(prefix="vornbuild-") as build:
        module = _extension(Path(build))
        files[f"{NAME}/{module.name}"] = module.read_bytes()
    for name, data in _distinfo_files().items():
        files[f"{_distinfo()}/{name}"] = data

    record = io.StringIO()
    writer = csv.writer(record, lineterminator="\n")
    for path, data in files.items():
        writer.writerow([path, _digest(data), len(data)])
    writer.writerow([f"{_distinfo()}/RECORD", "", ""])
    files[f"{_distinfo()}/RECORD"] = record.getvalue().encode()

    wheel = f"{NAME}-{_version()}-{_tag()}.whl"
    with zipfile.ZipFile(Path(wheel_directory) / wheel, "w", zipfile.ZIP_DEFLATED) as z:
        for path, data in files.items():
            info = zipfile.ZipInfo(path, date_time=(2026, 1, 1, 0, 0, 0))
            info.external_attr = (0o755 if path.endswith(".so") else 0o644) << 16
            info.compress_type = zipfile.ZIP_DEFLATED
            z.writestr(info, data)
    return wheel


def build_sdist(sdist_directory, config_settings=None):
    """The source tree as git knows it (everything but builds and .git)."""
    base = f"{NAME}-{_version()}"
    sdist = f"{base}.tar.gz"
    skip = re.compile(r"^(\.git|build[^/]*|\.venv)(/|$)")
    with tarfile.open(Path(sdist_directory) / sdist, "w:gz") as tar:
        for path in sorted(ROOT.rglob("*")):
            rel = path.relative_to(ROOT).as_posix()
            if path.is_file() and not skip.match(rel) and "__pycache__" not in rel:
                tar.add(path, arcname=f"{base}/{rel}", recursive=False)
        info = tarfile.TarInfo(f"{base}/PKG-INFO")
        data = _metadata().encode()
        info.size = len(data)
        tar.addfile(info, io.BytesIO(data))
    return sdist
