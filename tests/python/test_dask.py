"""skeinlab.dask on a LocalCluster with two worker processes, against the local functions."""
import pathlib

import numpy as np
import pytest

import skeinlab

dask = pytest.importorskip("dask")
distributed = pytest.importorskip("distributed")
da = pytest.importorskip("dask.array")
from skeinlab import dask as skdask  # noqa: E402

EXAMPLES = pathlib.Path(__file__).resolve().parents[2] / "examples"


@pytest.fixture(scope="module")
def client():
    # Worker processes start from a fork server: "spawn" would run the test runner's main module again.
    with dask.config.set({"distributed.worker.multiprocessing-method": "forkserver"}), \
            distributed.LocalCluster(n_workers=2, threads_per_worker=1, processes=True, dashboard_address=None) \
            as cluster, distributed.Client(cluster) as client:
        yield client


@pytest.fixture(scope="module")
def files(tmp_path_factory):
    folder = tmp_path_factory.mktemp("runs")
    rng = np.random.default_rng(3)
    paths = [str(EXAMPLES / "rings.xyz")]
    for k in range(3):  # generated trajectories of different lengths, one empty
        path = folder / f"run{k}.xyz"
        frames = np.cumsum(rng.normal(size=(7 * k, 60, 3)), axis=1) * 0.3
        path.write_text("")
        if len(frames):
            skeinlab.write_xyz(str(path), frames)
        paths.append(str(path))
    return paths


def local_rows(command, paths, **options):
    rows = []
    for path in paths:
        frames = skeinlab.read_xyz(path)
        if command == "type":
            names = skeinlab.knot_type(frames) if len(frames) else []
            rows += [(path, f, n) for f, n in enumerate(names)]
        elif command == "size":
            names, cores = skeinlab.knot_size(frames) if len(frames) else ([], [])
            rows += [(path, f, n, *c) for f, (n, c) in enumerate(zip(names, cores))]
        else:
            spectra = skeinlab.knot_spectrum(frames, **options) if len(frames) else []
            rows += [(path, f, next(iter(s)), next(iter(s.values()))) for f, s in enumerate(spectra)]
    return rows


def test_files_give_the_local_rows(client, files):
    typed = skdask.knot_type(files, chunk=25).compute()
    assert list(typed.itertuples(index=False, name=None)) == local_rows("type", files)
    sized = skdask.knot_size(files, chunk=50).compute()
    assert list(sized.itertuples(index=False, name=None)) == local_rows("size", files)
    spectra = skdask.knot_spectrum(files, samples=6, seed=4, chunk=9).compute()
    got = list(spectra[["file", "frame", "knot", "fraction"]].itertuples(index=False, name=None))
    assert got == local_rows("spectrum", files, samples=6, seed=4)


def test_dask_arrays_chunked_along_frames(client):
    frames = skeinlab.read_xyz(str(EXAMPLES / "rings.xyz"))
    array = da.from_array(frames, chunks=(17, 40, 3))
    typed = skdask.knot_type(array).compute()
    assert typed["frame"].tolist() == list(range(len(frames))) and typed["file"].isna().all()
    assert typed["knot"].tolist() == skeinlab.knot_type(frames)
    spectra = skdask.knot_spectrum(array, samples=5, seed=2).compute()
    assert spectra["spectrum"].tolist() == skeinlab.knot_spectrum(frames, samples=5, seed=2)
    identified = skdask.knot_identify(array).compute()
    assert identified["knot"].tolist() == skeinlab.knot_identify(frames)
    spectra = skdask.knot_spectrum(array, samples=3, seed=2, invariant="homfly").compute()
    assert spectra["spectrum"].tolist() == skeinlab.knot_spectrum(frames, samples=3, seed=2, invariant="homfly")


def test_a_bad_file_fails_with_its_name_and_line(client, tmp_path):
    bad = tmp_path / "bad.xyz"
    bad.write_text("2\nc\nC 0 0 0\nC 1 0 0\n2\nc\nC 0 0 0\nC 1 q 0\n")
    with pytest.raises(RuntimeError, match=rf"bad y at line 4: invalid float literal \(frame 1, line 8 of {bad}\)"):
        skdask.knot_type([str(EXAMPLES / "rings.xyz"), str(bad)]).compute()


def test_links_of_dumps_and_arrays_give_the_local_rows(client):
    dump = str(EXAMPLES / "ring_melt.lammpstrj")
    rows = skdask.linked_pairs([dump], chunk=1).compute()
    expected = []
    for f, frame in enumerate(skeinlab.iter_lammps(dump)):
        keep = ~frame.winding
        ids = frame.molecules[keep]
        clusters, (pairs, values, names) = skeinlab.linked_clusters(frame.chains[keep])
        expected += [(dump, f, ids[i], ids[j], v, n) for (i, j), v, n in zip(pairs.tolist(), values.tolist(), names)]
    assert [tuple(r) for r in rows.itertuples(index=False)] == expected and expected
    # An array of frames of rings, in blocks of frames: the link of each frame.
    t = np.linspace(0, 2 * np.pi, 40, endpoint=False)
    hopf = np.stack([np.stack([np.cos(t), np.sin(t), 0 * t], 1), np.stack([1 + np.cos(t), 0 * t, np.sin(t)], 1)])
    frames = np.stack([hopf, hopf * np.array([1.0, 1.0, -1.0]), hopf + np.array([[[0.0]], [[9.0]]]) * [1, 0, 0]])
    links = skdask.link_type(da.from_array(frames, chunks=(2, 2, 40, 3))).compute()
    assert links["link"].tolist() == [t.name for t in skeinlab.link_type(frames)] and links["frame"].tolist() == [0, 1, 2]
    assert links["link"].tolist()[2] == "1 U 1"
