/* vorn._vorn: libvorn for Python, as the bz2 module's C part is for
 * libbz2. The one-shot calls, a compressor and a decompressor object with
 * the interface of bz2's, and the reader of concatenated streams that the
 * file object (vorn/_file.py) reads through.
 *
 * The interpreter lock is released around every call of the library, so
 * other Python threads run while a stream is coded; each object holds a
 * lock of its own, taken for the whole of a method, so that an object
 * shared between threads sees one call at a time. Output goes into one
 * bytes object grown in place, never into pieces joined at the end, so a
 * result is held once. */
#define PY_SSIZE_T_CLEAN
#include <Python.h>
#include <pythread.h>

#include <limits.h>
#include <string.h>

#include "vorn.h"

static PyObject* VornError;

/* ---- failures -------------------------------------------------------------- */

/* Raises what a failed status means to a Python caller: the input ended
 * inside a stream or before one (EOFError, as the bz2 module raises it), no
 * memory (MemoryError), anything else VornError carrying the status. */
static void raisestatus(int status)
{
    PyObject *error, *code;
    if (status == VORN_E_NOMEMORY) {
        PyErr_NoMemory();
        return;
    }
    if (status == VORN_E_TRUNCATED || status == VORN_E_EMPTY) {
        PyErr_SetString(PyExc_EOFError, "Compressed data ended before the end-of-stream marker was reached");
        return;
    }
    error = PyObject_CallFunction(VornError, "s", vorn_strerror(status));
    if (error == NULL) return;
    code = PyLong_FromLong(status);
    if (code == NULL || PyObject_SetAttrString(error, "status", code) < 0) {
        Py_XDECREF(code);
        Py_DECREF(error);
        return;
    }
    Py_DECREF(code);
    PyErr_SetObject(VornError, error);
    Py_DECREF(error);
}

static int checkthreads(int threads)
{
    if (threads >= 0 && threads <= 2) return 0;
    PyErr_Format(PyExc_ValueError, "threads must be 0, 1 or 2, not %d", threads);
    return -1;
}

/* compresslevel is taken where bz2 takes it, so that code written for bz2
 * runs unchanged; vorn has one level, and the value changes nothing. */
static int checklevel(PyObject* level)
{
    long v;
    if (level == NULL || level == Py_None) return 0;
    v = PyLong_AsLong(level);
    if (v == -1 && PyErr_Occurred()) return -1;
    if (v < 1 || v > 9) {
        PyErr_SetString(PyExc_ValueError, "compresslevel must be between 1 and 9");
        return -1;
    }
    return 0;
}

/* ---- output ---------------------------------------------------------------- */

/* A bytes object written from its start and grown as it fills; bytes past
 * len are not yet written (and, never touched, take no memory). max bounds
 * len (-1: no bound). */
typedef struct {
    PyObject* bytes;
    size_t len;
    size_t cap;
    Py_ssize_t max;
} outbuf;

static int outbuf_start(outbuf* o, size_t guess, Py_ssize_t max)
{
    if (guess < 4096) guess = 4096;
    if (guess > (size_t)PY_SSIZE_T_MAX) guess = (size_t)PY_SSIZE_T_MAX;
    if (max >= 0 && guess > (size_t)max) guess = (size_t)max;
    o->bytes = PyBytes_FromStringAndSize(NULL, (Py_ssize_t)guess);
    o->len = 0;
    o->cap = guess;
    o->max = max;
    return o->bytes == NULL ? -1 : 0;
}

static unsigned char* outbuf_at(const outbuf* o) { return (unsigned char*)PyBytes_AS_STRING(o->bytes) + o->len; }

static size_t outbuf_room(const outbuf* o) { return o->cap - o->len; }

/* Whether the output has reached its bound. */
static int outbuf_full(const outbuf* o) { return o->max >= 0 && o->len >= (size_t)o->max; }

/* Doubles the room, within the bound (with the interpreter lock held). */
static int outbuf_grow(outbuf* o)
{
    size_t cap = o->cap <= (size_t)PY_SSIZE_T_MAX / 2 ? 2 * o->cap : (size_t)PY_SSIZE_T_MAX;
    if (o->max >= 0 && cap > (size_t)o->max) cap = (size_t)o->max;
    if (cap <= o->cap) {
        PyErr_NoMemory();
        return -1;
    }
    if (_PyBytes_Resize(&o->bytes, (Py_ssize_t)cap) < 0) return -1;
    o->cap = cap;
    return 0;
}

static PyObject* outbuf_finish(outbuf* o)
{
    PyObject* result;
    if (o->len != o->cap && _PyBytes_Resize(&o->bytes, (Py_ssize_t)o->len) < 0) return NULL;
    result = o->bytes;
    o->bytes = NULL;
    return result;
}

static void outbuf_drop(outbuf* o) { Py_CLEAR(o->bytes); }

/* ---- one-shot calls -------------------------------------------------------- */

/* The whole of src through an encoder or decoder, finished, into out. */
static int wholestream(vorn_encoder* e, vorn_decoder* d, const unsigned char* src, size_t srclen, outbuf* out)
{
    size_t at = 0;
    for (;;) {
        size_t used = 0, made = 0;
        int status;
        Py_BEGIN_ALLOW_THREADS
        status = e != NULL ? vorn_encode(e, src + at, srclen - at, &used, outbuf_at(out), outbuf_room(out), &made, 1)
                           : vorn_decode(d, src + at, srclen - at, &used, outbuf_at(out), outbuf_room(out), &made, 1);
        Py_END_ALLOW_THREADS
        at += used;
        out->len += made;
        if (status == VORN_OK) return 0;
        /* Bytes that begin no stream after complete streams are ignored, as
         * bz2.decompress ignores them. */
        if (status == VORN_E_TRAILING) return 0;
        if (status < 0) {
            raisestatus(status);
            return -1;
        }
        if (outbuf_room(out) == 0 && outbuf_grow(out) < 0) return -1;
    }
}

static PyObject* vornmodule_compress(PyObject* module, PyObject* args, PyObject* kwargs)
{
    static char* keywords[] = {"data", "threads", "compresslevel", NULL};
    Py_buffer data;
    int threads = 0, rc;
    PyObject* level = NULL;
    vorn_encoder* e;
    outbuf out;
    (void)module;
    if (!PyArg_ParseTupleAndKeywords(args, kwargs, "y*|i$O:compress", keywords, &data, &threads, &level)) return NULL;
    if (checkthreads(threads) < 0 || checklevel(level) < 0) {
        PyBuffer_Release(&data);
        return NULL;
    }
    e = vorn_encoder_new(threads);
    if (e == NULL) {
        PyBuffer_Release(&data);
        return PyErr_NoMemory();
    }
    /* Room for what most data compresses to; random bytes need a little
     * more, and one doubling gives it. */
    rc = outbuf_start(&out, (size_t)data.len + (size_t)data.len / 16 + 64, -1);
    if (rc == 0) rc = wholestream(e, NULL, data.buf, (size_t)data.len, &out);
    vorn_encoder_free(e);
    PyBuffer_Release(&data);
    if (rc < 0) {
        outbuf_drop(&out);
        return NULL;
    }
    return outbuf_finish(&out);
}

static PyObject* vornmodule_decompress(PyObject* module, PyObject* args, PyObject* kwargs)
{
    static char* keywords[] = {"data", "threads", NULL};
    Py_buffer data;
    int threads = 0, rc;
    vorn_decoder* d;
    outbuf out;
    size_t guess;
    (void)module;
    if (!PyArg_ParseTupleAndKeywords(args, kwargs, "y*|i:decompress", keywords, &data, &threads)) return NULL;
    if (checkthreads(threads) < 0) {
        PyBuffer_Release(&data);
        return NULL;
    }
    if (data.len == 0) {
        PyBuffer_Release(&data);
        return PyBytes_FromStringAndSize(NULL, 0);
    }
    d = vorn_decoder_new(threads);
    if (d == NULL) {
        PyBuffer_Release(&data);
        return PyErr_NoMemory();
    }
    /* Most data restores to less than eight times its stream; the pages of
     * a guess that was too large are never touched. */
    guess = (size_t)data.len <= (size_t)PY_SSIZE_T_MAX / 8 ? 8 * (size_t)data.len : (size_t)PY_SSIZE_T_MAX;
    rc = outbuf_start(&out, guess, -1);
    if (rc == 0) rc = wholestream(NULL, d, data.buf, (size_t)data.len, &out);
    vorn_decoder_free(d);
    PyBuffer_Release(&data);
    if (rc < 0) {
        outbuf_drop(&out);
        return NULL;
    }
    return outbuf_finish(&out);
}

/* Restores data straight into out, a writable buffer that must take the
 * whole result: for callers that know the size, as a numcodecs codec
 * does. Returns the length. */
static PyObject* vornmodule_decompress_into(PyObject* module, PyObject* args)
{
    Py_buffer data, out;
    size_t len = 0;
    int status;
    (void)module;
    if (!PyArg_ParseTuple(args, "y*w*:decompress_into", &data, &out)) return NULL;
    Py_BEGIN_ALLOW_THREADS
    status = vorn_decompress(out.buf, (size_t)out.len, &len, data.buf, (size_t)data.len);
    Py_END_ALLOW_THREADS
    PyBuffer_Release(&data);
    PyBuffer_Release(&out);
    /* As decompress(): trailing bytes are ignored, and nothing restores to
     * nothing. */
    if (status == VORN_E_TRAILING || (status == VORN_E_EMPTY && len == 0)) status = VORN_OK;
    if (status == VORN_E_DSTSIZE) {
        PyErr_SetString(PyExc_ValueError, "the output buffer is too small for the restored data");
        return NULL;
    }
    if (status < 0) {
        raisestatus(status);
        return NULL;
    }
    return PyLong_FromSize_t(len);
}

/* ---- the objects' lock ------------------------------------------------------ */

/* Takes an object's lock, letting other threads run while it waits. */
static void takelock(PyThread_type_lock lock)
{
    if (!PyThread_acquire_lock(lock, 0)) {
        Py_BEGIN_ALLOW_THREADS
        PyThread_acquire_lock(lock, 1);
        Py_END_ALLOW_THREADS
    }
}

/* ---- VornCompressor ------------------------------------------------------- */

typedef struct {
    PyObject_HEAD
    vorn_encoder* e;
    int flushed;
    PyThread_type_lock lock;
} Compressor;

/* Objects are set up whole when made (not by __init__, which a caller
 * could run again while another thread uses the object). */
static PyObject* Compressor_new(PyTypeObject* type, PyObject* args, PyObject* kwargs)
{
    static char* keywords[] = {"threads", "compresslevel", NULL};
    int threads = 0;
    PyObject* level = NULL;
    Compressor* self;
    if (!PyArg_ParseTupleAndKeywords(args, kwargs, "|i$O:VornCompressor", keywords, &threads, &level)) return NULL;
    if (checkthreads(threads) < 0 || checklevel(level) < 0) return NULL;
    self = (Compressor*)type->tp_alloc(type, 0);
    if (self == NULL) return NULL;
    self->lock = PyThread_allocate_lock();
    self->e = vorn_encoder_new(threads);
    if (self->lock == NULL || self->e == NULL) {
        Py_DECREF(self);
        return PyErr_NoMemory();
    }
    return (PyObject*)self;
}

static void Compressor_dealloc(Compressor* self)
{
    vorn_encoder_free(self->e);
    if (self->lock != NULL) PyThread_free_lock(self->lock);
    Py_TYPE(self)->tp_free((PyObject*)self);
}

/* Codes what src holds, finished or not, into a new bytes object. */
static PyObject* encodesome(Compressor* self, const unsigned char* src, size_t srclen, int finish)
{
    outbuf out;
    size_t at = 0;
    if (outbuf_start(&out, srclen / 4 + 4096, -1) < 0) return NULL;
    for (;;) {
        size_t used = 0, made = 0;
        int status;
        Py_BEGIN_ALLOW_THREADS
        status = vorn_encode(self->e, src + at, srclen - at, &used, outbuf_at(&out), outbuf_room(&out), &made, finish);
        Py_END_ALLOW_THREADS
        at += used;
        out.len += made;
        if (status == VORN_OK) break;
        if (status < 0) {
            raisestatus(status);
            outbuf_drop(&out);
            return NULL;
        }
        if (outbuf_room(&out) == 0 && outbuf_grow(&out) < 0) {
            outbuf_drop(&out);
            return NULL;
        }
    }
    return outbuf_finish(&out);
}

static PyObject* Compressor_compress(Compressor* self, PyObject* args)
{
    Py_buffer data;
    PyObject* result = NULL;
    if (!PyArg_ParseTuple(args, "y*:compress", &data)) return NULL;
    takelock(self->lock);
    if (self->flushed)
        PyErr_SetString(PyExc_ValueError, "Compressor has been flushed");
    else
        result = encodesome(self, data.buf, (size_t)data.len, 0);
    PyThread_release_lock(self->lock);
    PyBuffer_Release(&data);
    return result;
}

static PyObject* Compressor_flush(Compressor* self, PyObject* unused)
{
    PyObject* result = NULL;
    (void)unused;
    takelock(self->lock);
    if (self->flushed) {
        PyErr_SetString(PyExc_ValueError, "Repeated call to flush()");
    } else {
        self->flushed = 1;
        result = encodesome(self, NULL, 0, 1);
    }
    PyThread_release_lock(self->lock);
    return result;
}

static PyMethodDef Compressor_methods[] = {
    {"compress", (PyCFunction)Compressor_compress, METH_VARARGS,
     "compress(data) -> bytes\n\nGives data to the compressor; returns the compressed bytes ready so far,\n"
     "which may be none. Call flush() once all data is given."},
    {"flush", (PyCFunction)Compressor_flush, METH_NOARGS,
     "flush() -> bytes\n\nEnds the stream and returns the rest of the compressed data; the\n"
     "compressor takes no more data afterwards."},
    {NULL, NULL, 0, NULL},
};

static PyTypeObject CompressorType = {
    PyVarObject_HEAD_INIT(NULL, 0).tp_name = "vorn.VornCompressor",
    .tp_basicsize = sizeof(Compressor),
    .tp_dealloc = (destructor)Compressor_dealloc,
    .tp_flags = Py_TPFLAGS_DEFAULT | Py_TPFLAGS_BASETYPE,
    .tp_doc = "VornCompressor(threads=0)\n\nCompresses data incrementally into one stream. threads: 1 or 2, or 0 for\n"
              "two where the process may run on two processors.",
    .tp_methods = Compressor_methods,
    .tp_new = Compressor_new,
};

/* ---- VornDecompressor and the stream reader ------------------------------ */

/* Both restore input given in pieces, keeping what the library has not yet
 * taken. A VornDecompressor restores one stream and stops at its end, as
 * bz2's does; the reader of concatenated streams restores every stream of
 * a file and ignores what follows them, and is told where the input ends. */
typedef struct {
    PyObject_HEAD
    vorn_decoder* d;
    PyThread_type_lock lock;
    unsigned char* input;  /* given but not yet taken by the library */
    size_t inputlen;
    char eof;
    char needs_input;
    char oneatatime;       /* stops at the end of a stream */
    PyObject* unused_data;
} Decompressor;

static PyObject* decompressor_new(PyTypeObject* type, PyObject* args, PyObject* kwargs, int oneatatime)
{
    static char* keywords[] = {"threads", NULL};
    int threads = 0;
    Decompressor* self;
    if (!PyArg_ParseTupleAndKeywords(args, kwargs, "|i", keywords, &threads) || checkthreads(threads) < 0)
        return NULL;
    self = (Decompressor*)type->tp_alloc(type, 0);
    if (self == NULL) return NULL;
    self->needs_input = 1;
    self->oneatatime = (char)oneatatime;
    self->unused_data = PyBytes_FromStringAndSize(NULL, 0);
    self->lock = PyThread_allocate_lock();
    self->d = vorn_decoder_new(threads);
    if (self->unused_data == NULL || self->lock == NULL || self->d == NULL ||
        (oneatatime && vorn_decoder_stop_at_end(self->d) != VORN_OK)) {
        Py_DECREF(self);
        return PyErr_NoMemory();
    }
    return (PyObject*)self;
}

static PyObject* Decompressor_new(PyTypeObject* type, PyObject* args, PyObject* kwargs)
{
    return decompressor_new(type, args, kwargs, 1);
}

static PyObject* Reader_new(PyTypeObject* type, PyObject* args, PyObject* kwargs)
{
    return decompressor_new(type, args, kwargs, 0);
}

static void Decompressor_dealloc(Decompressor* self)
{
    vorn_decoder_free(self->d);
    PyMem_Free(self->input);
    Py_XDECREF(self->unused_data);
    if (self->lock != NULL) PyThread_free_lock(self->lock);
    Py_TYPE(self)->tp_free((PyObject*)self);
}

/* Keeps the n bytes at p, which the library has not taken, for the next
 * call. */
static int keepinput(Decompressor* self, const unsigned char* p, size_t n)
{
    unsigned char* kept = NULL;
    if (n > 0) {
        kept = PyMem_Malloc(n);
        if (kept == NULL) {
            PyErr_NoMemory();
            return -1;
        }
        memcpy(kept, p, n);
    }
    PyMem_Free(self->input);
    self->input = kept;
    self->inputlen = n;
    return 0;
}

/* What the library takes of src, and the output it gives, up to max bytes
 * (-1: all there is), with the interpreter lock released around each call.
 * Sets eof, needs_input and unused_data as bz2's decompressor does. */
static PyObject* decodesome(Decompressor* self, const unsigned char* src, size_t srclen, Py_ssize_t max, int finish)
{
    outbuf out;
    size_t at = 0;
    int status = VORN_OK, ended;
    size_t guess = srclen <= (size_t)PY_SSIZE_T_MAX / 8 ? 8 * srclen : (size_t)PY_SSIZE_T_MAX;
    if (outbuf_start(&out, guess, max) < 0) return NULL;
    for (;;) {
        size_t used = 0, made = 0;
        Py_BEGIN_ALLOW_THREADS
        status = vorn_decode(self->d, src + at, srclen - at, &used, outbuf_at(&out), outbuf_room(&out), &made, finish);
        Py_END_ALLOW_THREADS
        at += used;
        out.len += made;
        if (status != VORN_MORE) break;
        if (outbuf_full(&out)) break;
        if (outbuf_room(&out) == 0 && outbuf_grow(&out) < 0) goto failed;
    }
    /* The reader: bytes after complete streams that begin no stream are
     * ignored, as bz2's files ignore them. */
    ended = status == VORN_END || (status == VORN_OK && finish) || status == VORN_E_TRAILING;
    if (status == VORN_E_TRAILING) at = srclen;
    if (status < 0 && !ended) {
        raisestatus(status);
        goto failed;
    }
    if (ended) {
        self->eof = 1;
        self->needs_input = 0;
        Py_XSETREF(self->unused_data, PyBytes_FromStringAndSize((const char*)src + at, (Py_ssize_t)(srclen - at)));
        if (self->unused_data == NULL || keepinput(self, NULL, 0) < 0) goto failed;
    } else {
        self->needs_input = status == VORN_OK;
        if (keepinput(self, src + at, srclen - at) < 0) goto failed;
    }
    return outbuf_finish(&out);
failed:
    outbuf_drop(&out);
    return NULL;
}

/* The data of this call behind what earlier calls left, as one stretch. */
static PyObject* decodecall(Decompressor* self, Py_buffer* data, Py_ssize_t max, int finish)
{
    PyObject* result;
    unsigned char* joined;
    if (self->inputlen == 0) return decodesome(self, data->buf, (size_t)data->len, max, finish);
    if ((size_t)data->len > (size_t)PY_SSIZE_T_MAX - self->inputlen) return PyErr_NoMemory();
    joined = PyMem_Malloc(self->inputlen + (size_t)data->len + 1);
    if (joined == NULL) return PyErr_NoMemory();
    memcpy(joined, self->input, self->inputlen);
    memcpy(joined + self->inputlen, data->buf, (size_t)data->len);
    result = decodesome(self, joined, self->inputlen + (size_t)data->len, max, finish);
    PyMem_Free(joined);
    return result;
}

static PyObject* decompressmethod(Decompressor* self, PyObject* args, PyObject* kwargs, int reader)
{
    static char* keywords[] = {"data", "max_length", NULL};
    static char* readerkeywords[] = {"data", "max_length", "finish", NULL};
    Py_buffer data;
    Py_ssize_t max = -1;
    int finish = 0;
    PyObject* result = NULL;
    if (reader ? !PyArg_ParseTupleAndKeywords(args, kwargs, "y*|np:decompress", readerkeywords, &data, &max, &finish)
               : !PyArg_ParseTupleAndKeywords(args, kwargs, "y*|n:decompress", keywords, &data, &max))
        return NULL;
    takelock(self->lock);
    if (self->eof)
        PyErr_SetString(PyExc_EOFError, "End of stream already reached");
    else
        result = decodecall(self, &data, max, finish);
    PyThread_release_lock(self->lock);
    PyBuffer_Release(&data);
    return result;
}

static PyObject* Decompressor_decompress(Decompressor* self, PyObject* args, PyObject* kwargs)
{
    return decompressmethod(self, args, kwargs, 0);
}

static PyObject* Reader_decompress(Decompressor* self, PyObject* args, PyObject* kwargs)
{
    return decompressmethod(self, args, kwargs, 1);
}

static PyObject* Decompressor_unused_data(Decompressor* self, void* closure)
{
    PyObject* result;
    (void)closure;
    takelock(self->lock);
    result = self->unused_data != NULL ? self->unused_data : Py_None;
    Py_INCREF(result);
    PyThread_release_lock(self->lock);
    return result;
}

static PyObject* Decompressor_eof(Decompressor* self, void* closure)
{
    (void)closure;
    return PyBool_FromLong(self->eof);
}

static PyObject* Decompressor_needs_input(Decompressor* self, void* closure)
{
    (void)closure;
    return PyBool_FromLong(self->needs_input);
}

static PyGetSetDef Decompressor_getset[] = {
    {"eof", (getter)Decompressor_eof, NULL, "True once the end of the stream has been reached.", NULL},
    {"unused_data", (getter)Decompressor_unused_data, NULL, "Data found after the end of the stream.", NULL},
    {"needs_input", (getter)Decompressor_needs_input, NULL,
     "False when decompress() can give more output before it is given more input.", NULL},
    {NULL, NULL, NULL, NULL, NULL},
};

static PyMethodDef Decompressor_methods[] = {
    {"decompress", (PyCFunction)(void (*)(void))Decompressor_decompress, METH_VARARGS | METH_KEYWORDS,
     "decompress(data, max_length=-1) -> bytes\n\nGives data to the decompressor and returns what it restores, at most\n"
     "max_length bytes when that is not negative. Data after the end of the\n"
     "stream goes to unused_data; a call after the end raises EOFError."},
    {NULL, NULL, 0, NULL},
};

static PyMethodDef Reader_methods[] = {
    {"decompress", (PyCFunction)(void (*)(void))Reader_decompress, METH_VARARGS | METH_KEYWORDS,
     "decompress(data, max_length=-1, finish=False) -> bytes\n\nLike VornDecompressor.decompress, over every stream "
     "of the input in turn;\nfinish says that no input follows."},
    {NULL, NULL, 0, NULL},
};

static PyTypeObject DecompressorType = {
    PyVarObject_HEAD_INIT(NULL, 0).tp_name = "vorn.VornDecompressor",
    .tp_basicsize = sizeof(Decompressor),
    .tp_dealloc = (destructor)Decompressor_dealloc,
    .tp_flags = Py_TPFLAGS_DEFAULT | Py_TPFLAGS_BASETYPE,
    .tp_doc = "VornDecompressor(threads=0)\n\nRestores one stream given in pieces, as bz2.BZ2Decompressor does.",
    .tp_methods = Decompressor_methods,
    .tp_getset = Decompressor_getset,
    .tp_new = Decompressor_new,
};

static PyTypeObject ReaderType = {
    PyVarObject_HEAD_INIT(NULL, 0).tp_name = "vorn._vorn.StreamReader",
    .tp_basicsize = sizeof(Decompressor),
    .tp_dealloc = (destructor)Decompressor_dealloc,
    .tp_flags = Py_TPFLAGS_DEFAULT,
    .tp_doc = "StreamReader(threads=0)\n\nRestores every stream of an input given in pieces, for the file object.",
    .tp_methods = Reader_methods,
    .tp_getset = Decompressor_getset,
    .tp_new = Reader_new,
};

/* ---- the module ------------------------------------------------------------- */

static PyMethodDef module_methods[] = {
    {"compress", (PyCFunction)(void (*)(void))vornmodule_compress, METH_VARARGS | METH_KEYWORDS,
     "compress(data, threads=0) -> bytes\n\nCompresses data into one stream."},
    {"decompress", (PyCFunction)(void (*)(void))vornmodule_decompress, METH_VARARGS | METH_KEYWORDS,
     "decompress(data, threads=0) -> bytes\n\nRestores every stream of data, one after the other."},
    {"decompress_into", (PyCFunction)vornmodule_decompress_into, METH_VARARGS,
     "decompress_into(data, out) -> int\n\nRestores data into the writable buffer out, which must take all of it;\n"
     "returns the number of bytes written."},
    {NULL, NULL, 0, NULL},
};

static struct PyModuleDef vornmodule = {
    PyModuleDef_HEAD_INIT, "vorn._vorn", "libvorn, lossless block-sorting compression, for Python.", -1, module_methods,
    NULL, NULL, NULL, NULL,
};

static int addtype(PyObject* module, PyTypeObject* type, const char* name)
{
    if (PyType_Ready(type) < 0) return -1;
    Py_INCREF(type);
    if (PyModule_AddObject(module, name, (PyObject*)type) < 0) {
        Py_DECREF(type);
        return -1;
    }
    return 0;
}

PyMODINIT_FUNC PyInit__vorn(void)
{
    PyObject* module = PyModule_Create(&vornmodule);
    if (module == NULL) return NULL;
    VornError = PyErr_NewExceptionWithDoc("vorn.VornError",
                                          "A compressed stream that breaks the format, or a failure of the library;\n"
                                          "its status attribute is the library's status (VORN_E_*).",
                                          PyExc_OSError, NULL);
    if (VornError == NULL || PyModule_AddObject(module, "VornError", VornError) < 0 ||
        addtype(module, &CompressorType, "VornCompressor") < 0 ||
        addtype(module, &DecompressorType, "VornDecompressor") < 0 || addtype(module, &ReaderType, "StreamReader") < 0 ||
        PyModule_AddStringConstant(module, "LIBRARY_VERSION", vorn_version()) < 0 ||
        PyModule_AddStringConstant(module, "__version__", VORN_PY_VERSION) < 0) {
        Py_DECREF(module);
        return NULL;
    }
    Py_INCREF(VornError);
    return module;
}
