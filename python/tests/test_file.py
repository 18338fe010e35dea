"""VornFile and vorn.open, side by side with bz2.BZ2File and bz2.open."""
import bz2
import io
import os

import pytest

import vorn

LINES = b"".join(b"line %d of the text\n" % i for i in range(200000))  # several MiB: blocks
MODULES = [(bz2, bz2.BZ2File), (vorn, vorn.VornFile)]


@pytest.fixture(params=MODULES, ids=["bz2", "vorn"])
def kind(request):
    return request.param


def test_read_as_bz2(kind, tmp_path):
    mod, File = kind
    path = tmp_path / "f"
    path.write_bytes(mod.compress(LINES[:3000000]) + mod.compress(LINES[3000000:]))
    with File(path) as f:
        assert f.readable() and not f.writable() and f.seekable()
        assert f.read(5) == LINES[:5]
        assert f.peek(1)[:1] == LINES[5:6]
        assert f.readline() == LINES[5 : LINES.index(b"\n") + 1]
        assert f.tell() == LINES.index(b"\n") + 1
        assert f.read1(100) and f.tell() <= LINES.index(b"\n") + 101
        f.seek(1234567)
        assert f.read(10) == LINES[1234567:1234577]
        f.seek(-10, io.SEEK_CUR)
        assert f.read(10) == LINES[1234567:1234577]
        f.seek(100)
        buf = bytearray(50)
        assert f.readinto(buf) == 50 and bytes(buf) == LINES[100:150]
        assert f.seek(-7, io.SEEK_END) == len(LINES) - 7
        assert f.read() == LINES[-7:] and f.read() == b""
        assert isinstance(f.fileno(), int)
    assert f.closed
    for call in (f.read, f.readline, f.fileno, lambda: f.seek(0), f.tell):
        with pytest.raises(ValueError):
            call()
    f.close()


def test_write_append_and_text(kind, tmp_path):
    mod, File = kind
    path = tmp_path / "f"
    with File(path, "w") as f:
        assert f.writable() and f.write(LINES[:1000]) == 1000
        f.write(memoryview(LINES)[1000:2000])
        with pytest.raises(io.UnsupportedOperation):
            f.read()
    with File(path, "a") as f:
        f.writelines([LINES[2000:3000], LINES[3000:4000]])
    assert mod.decompress(path.read_bytes()) == LINES[:4000]
    with pytest.raises(FileExistsError):
        File(path, "x")
    with mod.open(path, "wt", encoding="utf-8") as t:
        t.write("zwölf\nlines\n")
    with mod.open(path, "rt", encoding="utf-8") as t:
        assert t.readlines() == ["zwölf\n", "lines\n"]
    with pytest.raises(ValueError):
        mod.open(path, "rb", encoding="utf-8")
    with pytest.raises(ValueError):
        File(path, "rw")
    with pytest.raises(TypeError):
        File(42.0)


def test_file_objects_and_bad_files(kind, tmp_path):
    mod, File = kind
    stream = mod.compress(LINES[:50000])
    with File(io.BytesIO(stream + b"garbage after it")) as f:
        assert f.read() == LINES[:50000]  # bytes that begin no stream are ignored
    for cut in (b"", stream[:-1]):
        with pytest.raises(EOFError):
            File(io.BytesIO(cut)).read()
    with pytest.raises(OSError):
        File(io.BytesIO(b"not a stream at all" * 10)).read()
    out = io.BytesIO()
    with File(out, "wb") as f:
        f.write(b"into a file object")
    assert mod.decompress(out.getvalue()) == b"into a file object"


def test_vorn_file_reads_the_programs_streams_and_padding(tmp_path):
    stream = vorn.compress(LINES)
    path = tmp_path / "p.vn"
    path.write_bytes(stream + b"\0" * 512)  # as a tape or dd conv=sync pads it
    with vorn.open(path) as f:
        assert f.read() == LINES
    with vorn.open(os.fsencode(path), threads=1) as f:
        assert f.read(3) == LINES[:3]
