"""VornFile and open(): files of vorn streams, as bz2.BZ2File and bz2.open.

Reading restores every stream of the file in turn and ignores bytes after
the last one that begin no stream (zero padding among them); a file that
ends inside a stream, or holds nothing, raises EOFError. Writing makes one stream; mode "a"
appends one to what the file holds. Seeking is emulated: forward by
reading, backward by reading again from the start.
"""
import builtins
import io
import os

from vorn import _vorn

_MODE_CLOSED = 0
_MODE_READ = 1
_MODE_WRITE = 3

# What the reader reads of the compressed file at a time.
_CHUNK = 1 << 20


def _integer(size):
    """A size as an int, from anything with __index__."""
    if isinstance(size, int):
        return size
    if not hasattr(size, "__index__"):
        raise TypeError("Integer argument expected")
    return size.__index__()


class _Reader(io.RawIOBase):
    """The restored bytes of a file of vorn streams, as a raw stream."""

    def __init__(self, fp, threads):
        self._fp = fp
        self._threads = threads
        self._pos = 0  # restored bytes handed out so far
        self._size = -1  # all of them, once known
        self._start()

    def _start(self):
        self._stream = _vorn.StreamReader(self._threads)
        self._finished = False  # the file has been read to its end

    def readable(self):
        return True

    def seekable(self):
        return self._fp.seekable()

    def readinto(self, b):
        with memoryview(b) as view, view.cast("B") as out:
            data = self.read(len(out))
            out[: len(data)] = data
        return len(data)

    def read(self, size=-1):
        if size < 0:
            return self.readall()
        if size == 0 or self._stream.eof:
            return b""
        while True:
            if self._stream.needs_input and not self._finished:
                block = self._fp.read(_CHUNK)
                self._finished = not block
            else:
                block = b""
            data = self._stream.decompress(block, size, self._finished)
            if data or self._stream.eof:
                break
        if not data:
            self._size = self._pos
            return b""
        self._pos += len(data)
        return data

    def readall(self):
        parts = []
        while True:
            data = self.read(io.DEFAULT_BUFFER_SIZE * 64)
            if not data:
                return b"".join(parts)
            parts.append(data)

    def _rewind(self):
        self._fp.seek(0)
        self._pos = 0
        self._start()

    def seek(self, offset, whence=io.SEEK_SET):
        if whence == io.SEEK_SET:
            pass
        elif whence == io.SEEK_CUR:
            offset = self._pos + offset
        elif whence == io.SEEK_END:
            if self._size < 0:
                while self.read(io.DEFAULT_BUFFER_SIZE * 64):
                    pass
            offset = self._size + offset
        else:
            raise ValueError(f"Invalid value for whence: {whence}")
        if offset < self._pos:
            self._rewind()
        else:
            offset -= self._pos
        while offset > 0:
            data = self.read(min(io.DEFAULT_BUFFER_SIZE * 64, offset))
            if not data:
                break
            offset -= len(data)
        return self._pos

    def tell(self):
        return self._pos

    def close(self):
        self._stream = None
        return super().close()


class VornFile(io.BufferedIOBase):
    """A file object of vorn streams, as bz2.BZ2File.

    filename: a path (str, bytes or os.PathLike), or a file object to read
    from or write to. mode: "r" (read), "w" (write, truncating), "x" (write a
    new file) or "a" (append a stream), with or without "b". threads: as
    vorn.compress. compresslevel is accepted as bz2 takes it and changes
    nothing: vorn has one level.
    """

    def __init__(self, filename, mode="r", *, threads=0, compresslevel=9):
        self._fp = None
        self._closefp = False
        self._mode = _MODE_CLOSED
        if not (1 <= compresslevel <= 9):
            raise ValueError("compresslevel must be between 1 and 9")
        if threads not in (0, 1, 2):
            raise ValueError(f"threads must be 0, 1 or 2, not {threads!r}")
        if mode in ("", "r", "rb"):
            mode, mode_code = "rb", _MODE_READ
        elif mode in ("w", "wb"):
            mode, mode_code = "wb", _MODE_WRITE
        elif mode in ("x", "xb"):
            mode, mode_code = "xb", _MODE_WRITE
        elif mode in ("a", "ab"):
            mode, mode_code = "ab", _MODE_WRITE
        else:
            raise ValueError(f"Invalid mode: {mode!r}")

        if isinstance(filename, (str, bytes, os.PathLike)):
            self._fp = builtins.open(filename, mode)
            self._closefp = True
        elif hasattr(filename, "read") or hasattr(filename, "write"):
            self._fp = filename
        else:
            raise TypeError("filename must be a str, bytes, file or PathLike object")
        self._mode = mode_code

        if mode_code == _MODE_READ:
            self._buffer = io.BufferedReader(_Reader(self._fp, threads))
            self._pos = 0
        else:
            self._compressor = _vorn.VornCompressor(threads)
            self._pos = 0

    def close(self):
        """Flushes and closes the file; a closed file may be closed again."""
        if self._mode == _MODE_CLOSED:
            return
        try:
            if self._mode == _MODE_READ:
                self._buffer.close()
            elif self._mode == _MODE_WRITE:
                self._fp.write(self._compressor.flush())
                self._compressor = None
        finally:
            try:
                if self._closefp:
                    self._fp.close()
            finally:
                self._fp = None
                self._closefp = False
                self._mode = _MODE_CLOSED
                self._buffer = None

    @property
    def closed(self):
        return self._mode == _MODE_CLOSED

    def fileno(self):
        self._check_not_closed()
        return self._fp.fileno()

    def seekable(self):
        return self.readable() and self._buffer.seekable()

    def readable(self):
        self._check_not_closed()
        return self._mode == _MODE_READ

    def writable(self):
        self._check_not_closed()
        return self._mode == _MODE_WRITE

    def peek(self, n=0):
        """Restored bytes ahead, without taking them: at least one unless
        at the end, and maybe more or fewer than n."""
        self._check_can_read()
        return self._buffer.peek(n)

    def read(self, size=-1):
        """Up to size restored bytes (all the rest when size is negative or
        None); b"" at the end of the file."""
        self._check_can_read()
        return self._buffer.read(size)

    def read1(self, size=-1):
        """Up to size restored bytes, with at most one read of the file."""
        self._check_can_read()
        if size < 0:
            size = io.DEFAULT_BUFFER_SIZE
        return self._buffer.read1(size)

    def readinto(self, b):
        self._check_can_read()
        return self._buffer.readinto(b)

    def readline(self, size=-1):
        self._check_can_read()
        return self._buffer.readline(_integer(size))

    def readlines(self, size=-1):
        self._check_can_read()
        return self._buffer.readlines(_integer(size))

    def write(self, data):
        """Compresses data (a bytes-like object) into the file; returns the
        number of bytes taken."""
        self._check_can_write()
        if isinstance(data, (bytes, bytearray)):
            length = len(data)
        else:
            data = memoryview(data)
            length = data.nbytes
        self._fp.write(self._compressor.compress(data))
        self._pos += length
        return length

    def writelines(self, seq):
        return io.BufferedIOBase.writelines(self, seq)

    def seek(self, offset, whence=io.SEEK_SET):
        """Moves to a place in the restored bytes (emulated: may be slow)."""
        self._check_can_seek()
        return self._buffer.seek(offset, whence)

    def tell(self):
        self._check_not_closed()
        if self._mode == _MODE_READ:
            return self._buffer.tell()
        return self._pos

    def _check_not_closed(self):
        if self.closed:
            raise ValueError("I/O operation on closed file")

    def _check_can_read(self):
        if self._mode != _MODE_READ:
            self._check_not_closed()
            raise io.UnsupportedOperation("File not open for reading")

    def _check_can_write(self):
        if self._mode != _MODE_WRITE:
            self._check_not_closed()
            raise io.UnsupportedOperation("File not open for writing")

    def _check_can_seek(self):
        if self._mode != _MODE_READ:
            self._check_not_closed()
            raise io.UnsupportedOperation("Seeking is only supported on files open for reading")
        if not self._buffer.seekable():
            raise io.UnsupportedOperation("The underlying file object does not support seeking")


def open(filename, mode="rb", compresslevel=9, encoding=None, errors=None, newline=None, *, threads=0):
    """Opens a file of vorn streams in binary or text mode, as bz2.open.

    Binary modes ("r", "rb", "w", "wb", "x", "xb", "a", "ab") give a
    VornFile; text modes ("rt", "wt", "xt", "at") wrap it in an
    io.TextIOWrapper with the given encoding, errors and newline.
    """
    if "t" in mode:
        if "b" in mode:
            raise ValueError(f"Invalid mode: {mode!r}")
    else:
        if encoding is not None:
            raise ValueError("Argument 'encoding' not supported in binary mode")
        if errors is not None:
            raise ValueError("Argument 'errors' not supported in binary mode")
        if newline is not None:
            raise ValueError("Argument 'newline' not supported in binary mode")

    binary = VornFile(filename, mode.replace("t", ""), threads=threads, compresslevel=compresslevel)
    if "t" in mode:
        encoding = io.text_encoding(encoding)
        return io.TextIOWrapper(binary, encoding, errors, newline)
    return binary
