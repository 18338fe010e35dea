"""The numcodecs codec: found by its id, and a Zarr array written and read
by Dask on a cluster of worker processes."""
import subprocess
import sys

import pytest

numcodecs = pytest.importorskip("numcodecs")
np = pytest.importorskip("numpy")

import vorn  # noqa: E402


def test_codec_by_id_and_config():
    # In a fresh interpreter, as a Dask worker finds it: by the entry point.
    code = "import numcodecs; c = numcodecs.get_codec({'id': 'vorn'}); print(type(c).__module__, c.get_config())"
    out = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True, check=True).stdout
    assert out.strip() == "vorn.codec {'id': 'vorn', 'threads': 1}"
    codec = numcodecs.get_codec({"id": "vorn", "threads": 2})
    assert isinstance(codec, vorn.Vorn) and codec.threads == 2


def test_codec_round_trips_into_out():
    codec = vorn.Vorn()
    a = np.arange(300000, dtype="<i4").reshape(600, 500) % 977
    enc = codec.encode(a)
    assert enc == vorn.compress(a.tobytes())
    assert np.frombuffer(codec.decode(enc), dtype="<i4").reshape(a.shape).tolist() == a.tolist()
    out = np.empty_like(a)
    assert codec.decode(enc, out=out) is out and (out == a).all()
    with pytest.raises(ValueError):
        codec.decode(enc, out=np.empty(10, dtype="<i4"))
    with pytest.raises(ValueError):
        vorn.Vorn(threads=5)


def test_zarr_array_by_dask_on_worker_processes(tmp_path):
    zarr = pytest.importorskip("zarr")
    da = pytest.importorskip("dask.array")
    distributed = pytest.importorskip("distributed")
    rng = np.random.default_rng(4)
    data = (rng.integers(0, 50, size=(400, 300)) * rng.integers(0, 2, size=(400, 300))).astype("u2")
    url = str(tmp_path / "array.zarr")
    with distributed.LocalCluster(n_workers=2, threads_per_worker=1, processes=True, dashboard_address=None) as cluster:
        with distributed.Client(cluster) as client:
            assert len(client.scheduler_info()["workers"]) == 2
            da.from_array(data, chunks=(100, 100)).to_zarr(url, compressor=vorn.Vorn())
            back = da.from_zarr(url).compute()
    assert (back == data).all()
    z = zarr.open(url, mode="r")
    assert z.compressor.codec_id == "vorn" and (z[:] == data).all()
