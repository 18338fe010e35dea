"""The numcodecs codec "vorn": Zarr arrays compressed by vorn, chunk by chunk.

Registered under the entry point group numcodecs.codecs, so that
numcodecs.get_codec({"id": "vorn"}) finds it wherever the package is
installed, in Dask's worker processes too.
"""
from numcodecs.abc import Codec
from numcodecs.compat import ensure_contiguous_ndarray

from vorn import _vorn


class Vorn(Codec):
    """Compresses each chunk into one vorn stream.

    threads: as vorn.compress; 1 by default, since Zarr and Dask already
    work on several chunks at once.
    """

    codec_id = "vorn"

    def __init__(self, threads=1):
        if threads not in (0, 1, 2):
            raise ValueError(f"threads must be 0, 1 or 2, not {threads!r}")
        self.threads = threads

    def encode(self, buf):
        return _vorn.compress(ensure_contiguous_ndarray(buf), self.threads)

    def decode(self, buf, out=None):
        buf = ensure_contiguous_ndarray(buf)
        if out is None:
            return _vorn.decompress(buf, self.threads)
        target = ensure_contiguous_ndarray(out)
        n = _vorn.decompress_into(buf, target.view("u1").reshape(-1))
        if n != target.nbytes:
            raise ValueError(f"restored {n} bytes into a buffer of {target.nbytes}")
        return out

    def get_config(self):
        return {"id": self.codec_id, "threads": self.threads}

    def __repr__(self):
        return f"Vorn(threads={self.threads})"

