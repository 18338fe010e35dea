"""vorn: lossless block-sorting compression, with the interface of bz2.

    compress(data, threads=0) / decompress(data, threads=0)
    VornCompressor(threads=0), VornDecompressor(threads=0)
    VornFile(filename, mode="r"), open(filename, mode="rb", ...)
    VornError: a damaged stream (an OSError, with the library's status)
    Vorn: the numcodecs codec "vorn", for Zarr and Dask

The streams are those of the vorn and unvorn programs, byte for byte.
threads: 1 or 2 (a second thread sorts or restores one block while the
caller's thread codes the next), or 0 for two where the process may run on
two processors. The interpreter lock is released while the library works.
"""
from vorn._vorn import (
    LIBRARY_VERSION,
    VornCompressor,
    VornDecompressor,
    VornError,
    __version__,
    compress,
    decompress,
)
from vorn._file import VornFile, open

__all__ = [
    "LIBRARY_VERSION",
    "Vorn",
    "VornCompressor",
    "VornDecompressor",
    "VornError",
    "VornFile",
    "compress",
    "decompress",
    "open",
]


def __getattr__(name):
    # The codec needs numcodecs, which plain compression does not.
    if name == "Vorn":
        from vorn.codec import Vorn

        return Vorn
    raise AttributeError(f"module 'vorn' has no attribute {name!r}")
