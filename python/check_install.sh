#!/bin/sh
# The Python package as a user installs it, offline: a new virtual
# environment over the system's packages, `pip install --no-build-isolation`
# of the source tree, then vorn imported there, the codec found through its
# entry point, and a round trip.
# Usage: check_install.sh PYTHON SOURCE_DIR
set -eu
python=$1
src=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

"$python" -m venv --system-site-packages "$work/venv"
if ! "$work/venv/bin/pip" install --no-build-isolation --no-cache-dir "$src" >"$work/pip.log" 2>&1; then
  tail -40 "$work/pip.log"
  echo "pip install of the source tree failed"
  exit 1
fi
cd "$work"
"$work/venv/bin/python" - <<'PY'
import importlib.metadata
import vorn

data = b"the installed vorn package " * 1000
assert vorn.decompress(vorn.compress(data)) == data
assert vorn.__version__ == importlib.metadata.version("vorn"), vorn.__version__
assert vorn.__file__.startswith(__import__("sys").prefix), vorn.__file__
try:
    import numcodecs
except ImportError:
    print("numcodecs is not installed: the codec's entry point is not checked")
else:
    codec = numcodecs.get_codec({"id": "vorn"})
    assert type(codec).__module__ == "vorn.codec", codec
    assert bytes(codec.decode(codec.encode(data))) == data
print("installed: vorn", vorn.__version__, "on libvorn", vorn.LIBRARY_VERSION)
PY
