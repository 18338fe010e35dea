"""The module's functions and objects: the streams of the programs, and the
behaviour of bz2's, checked against bz2 itself where the two should agree."""
import bz2
import random
import threading

import pytest

import vorn
from conftest import golden, program

BIG = bytes(random.Random(1).randrange(256) for _ in range(100000)) * 25  # two blocks and more


@pytest.mark.parametrize("name", ["grammar.lsp", "alice29.txt"])
def test_golden_streams_both_ways(name):
    plain, stream = golden(name), golden(name + ".vn")
    assert vorn.compress(plain) == stream
    assert vorn.decompress(stream) == plain
    assert vorn.decompress(memoryview(bytearray(stream))) == plain


def test_same_bytes_as_the_programs():
    for data in (b"", b"a", b"banana", BIG):
        stream = vorn.compress(data, 2)
        assert stream == program("vorn", data)
        assert vorn.decompress(program("vorn", data)) == data
        assert program("unvorn", stream) == data


@pytest.mark.parametrize("mod", [bz2, vorn])
def test_one_shot_calls_as_bz2(mod):
    """The same calls give the same kinds of result in both modules."""
    stream = mod.compress(b"abc" * 1000)
    assert mod.decompress(b"") == b""
    assert mod.decompress(stream + stream) == b"abc" * 2000
    assert mod.decompress(stream + b"\0" * 100) == b"abc" * 1000  # trailing bytes ignored
    with pytest.raises(TypeError):
        mod.compress("text")
    with pytest.raises(TypeError):
        mod.decompress(42)
    with pytest.raises(OSError):
        mod.decompress(b"\xff" * 50)


def test_failures_raise_as_documented(packed):
    with pytest.raises(EOFError):
        vorn.decompress(packed[:-1])
    with pytest.raises(vorn.VornError) as damaged:
        vorn.decompress(packed[:1] + b"\x01" + packed[2:])
    assert damaged.value.status == -5 and isinstance(damaged.value, OSError)
    for bad in ([3, 7], 1.5, object()):
        with pytest.raises(TypeError):
            vorn.decompress(bad)
    for threads in (-1, 3):
        with pytest.raises(ValueError):
            vorn.compress(b"x", threads)
        with pytest.raises(ValueError):
            vorn.VornDecompressor(threads)
    with pytest.raises(ValueError):
        vorn.compress(b"x", compresslevel=0)
    assert vorn.compress(b"x", compresslevel=9) == vorn.compress(b"x")


@pytest.mark.parametrize("mod,comp", [(bz2, bz2.BZ2Compressor), (vorn, vorn.VornCompressor)])
def test_compressor_as_bz2(mod, comp):
    c = comp()
    out = b"".join(c.compress(BIG[i : i + 70001]) for i in range(0, len(BIG), 70001)) + c.flush()
    assert mod.decompress(out) == BIG
    with pytest.raises(ValueError):
        c.compress(b"more")
    with pytest.raises(ValueError):
        c.flush()


@pytest.mark.parametrize("mod,decomp", [(bz2, bz2.BZ2Decompressor), (vorn, vorn.VornDecompressor)])
def test_decompressor_as_bz2(mod, decomp):
    stream = mod.compress(BIG)
    d = decomp()
    out, at = [], 0
    # Pieces of varying size, output bounded: what comes out in all is the
    # whole input, and needs_input says when input must come.
    sizes = random.Random(2)
    while not d.eof:
        if d.needs_input:
            piece = stream[at : at + sizes.randrange(1, 50000)]
            at += len(piece)
        else:
            piece = b""
        chunk = d.decompress(piece, max_length=sizes.randrange(0, 300000))
        out.append(chunk)
    assert b"".join(out) == BIG
    assert d.unused_data == b"" and not d.needs_input
    with pytest.raises(EOFError):
        d.decompress(b"x")

    d = decomp()
    assert d.decompress(stream + b"rest") == BIG and d.eof
    assert d.unused_data == b"rest"
    d = decomp()
    part = d.decompress(stream[:-1])
    assert not d.eof
    assert part + d.decompress(stream[-1:] + stream) == BIG and d.eof
    assert d.unused_data == stream


def test_decompressor_hands_out_a_stream_without_more_input(packed, text):
    d = vorn.VornDecompressor()
    assert d.decompress(packed) == text and d.eof


def test_objects_shared_between_threads():
    """A compressor used by several threads at once gives, under its lock,
    one valid stream of all that was given."""
    c = vorn.VornCompressor(threads=1)
    pieces = [bytes([i]) * 30000 for i in range(8)]
    out, lock = [], threading.Lock()

    def work(piece):
        data = c.compress(piece)
        with lock:
            out.append(data)

    threads = [threading.Thread(target=work, args=(p,)) for p in pieces]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    restored = vorn.decompress(b"".join(out) + c.flush())
    assert sorted(restored[i : i + 30000] for i in range(0, len(restored), 30000)) == pieces

    results = {}

    def roundtrip(i):
        data = BIG[i * 1000 :]
        results[i] = vorn.decompress(vorn.compress(data, 1), 1) == data

    threads = [threading.Thread(target=roundtrip, args=(i,)) for i in range(4)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    assert results == {0: True, 1: True, 2: True, 3: True}


def test_garbage_never_crashes(packed):
    rng = random.Random(3)
    for trial in range(300):
        data = bytearray(packed[: rng.randrange(1, len(packed))])
        for _ in range(rng.randrange(0, 4)):
            data[rng.randrange(len(data))] = rng.randrange(256)
        for call in (vorn.decompress, lambda b: vorn.VornDecompressor().decompress(b, 5000)):
            try:
                call(bytes(data))
            except (vorn.VornError, EOFError):
                pass


def test_versions():
    import importlib.metadata

    assert vorn.__version__ == importlib.metadata.version("vorn")
    major, minor = vorn.__version__.split(".")[:2]
    assert vorn.LIBRARY_VERSION == f"{int(major)}.{int(minor):02d}"
