"""What the Python tests share: the repository's test data and programs."""
import os
import pathlib
import subprocess

import pytest

HERE = pathlib.Path(__file__).resolve().parent
DATA = pathlib.Path(os.environ.get("VORN_DATA_DIR", HERE.parents[1] / "tests" / "data"))
BIN = pathlib.Path(os.environ.get("VORN_BIN_DIR", HERE.parents[1] / "build" / "programs"))


def golden(name):
    return (DATA / "golden" / name).read_bytes()


def program(name, data, *args):
    """The output of a built program (vorn or unvorn) given data."""
    if not (BIN / name).exists():
        pytest.skip(f"{BIN / name} is not built")
    return subprocess.run([str(BIN / name), "-q", *args], input=data, stdout=subprocess.PIPE, check=True).stdout


@pytest.fixture(scope="session")
def text():
    return golden("alice29.txt")


@pytest.fixture(scope="session")
def packed(text):
    return golden("alice29.txt.vn")
