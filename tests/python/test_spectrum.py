"""knot_spectrum and knot_fingerprint: typing under random projections and closures."""
import pathlib

import numpy as np
import pytest

import skeinlab
from conftest import figure_eight, torus_knot, with_tails

DATA = pathlib.Path(__file__).resolve().parents[3] / "shared" / "data"

# Stick polygons with integer coordinates, placed along the axes. In this
# special position the first projection puts crossings on vertices, where the
# crossing test loses them; knot_type then types them in another projection
# (it typed the trefoil as the unknot and the 5_1 as a trefoil when it kept
# the first one).
STICK_KNOTS = {
    "3_1": [[4, 1, 1], [-1, 1, -1], [-1, -4, 1], [2, 1, -1], [-3, 3, 1], [0, -2, -1]],
    "4_1": [[-4, -4, -2], [6, 2, 2], [-10, 2, -1], [6, -4, -1], [-3, 4, 2], [1, -9, -2], [3, 9, 2]],
    "5_1": [[3, 2, 1], [-1, 3, -1], [-2, 0, 1], [0, -4, -1], [2, 0, 1], [2, 4, 0], [-1, 1, 0],
            [-3, -3, 1], [1, -2, -1]],
}


@pytest.mark.parametrize("name", sorted(STICK_KNOTS))
def test_stick_polygons_in_special_position_are_typed_in_another_projection(name):
    assert skeinlab.knot_type(np.array(STICK_KNOTS[name], float)) == [name]


@pytest.mark.parametrize("seed", [0, 1, 2])
@pytest.mark.parametrize("name", sorted(STICK_KNOTS))
def test_spectrum_of_stick_polygons_is_dominated_by_their_knot(name, seed):
    [spectrum] = skeinlab.knot_spectrum(np.array(STICK_KNOTS[name], float), samples=50, seed=seed)
    assert next(iter(spectrum)) == name
    assert spectrum[name] > 0.5


@pytest.mark.parametrize(
    "chain, chain_type, name, share",
    [
        (torus_knot(2, 3), "ring", "3_1", 1.0),
        (torus_knot(2, 5), "ring", "5_1", 1.0),
        (figure_eight(), "ring", "4_1", 1.0),
        # A closure may thread the knot when it leaves along a tail.
        (with_tails(torus_knot(2, 3)), "open", "3_1", 0.9),
        (with_tails(figure_eight()), "open", "4_1", 0.9),
    ],
)
def test_spectrum_of_smooth_knots(chain, chain_type, name, share):
    [spectrum] = skeinlab.knot_spectrum(chain, chain_type, samples=40)
    assert next(iter(spectrum)) == name and spectrum[name] >= share


def random_polygons(frames, points, seed):
    """Points drawn uniformly in a cube, joined in order: mostly knotted rings."""
    return np.random.default_rng(seed).uniform(size=(frames, points, 3))


def test_spectrum_format_and_order():
    frames = random_polygons(4, 30, 4)
    spectra = skeinlab.knot_spectrum(frames, samples=64, seed=3)
    assert len(spectra) == 4
    for spectrum in spectra:
        fractions = list(spectrum.values())
        assert fractions == sorted(fractions, reverse=True)
        assert sum(fractions) == pytest.approx(1.0)
        assert all((f * 64).is_integer() for f in fractions)
    # Names are what knot_type prints, polynomial texts of unnamed knots included.
    names = skeinlab.knot_type(frames)
    assert names[0].startswith("2-12*t+")
    assert [next(iter(s)) for s in spectra] == names


def test_ties_follow_the_table_order():
    # Equal shares: the unknot first, then by crossing number.
    frames = np.stack([torus_knot(2, 3, n=80), torus_knot(2, 5, n=80)])
    spectra = skeinlab.knot_spectrum(frames, samples=8)
    assert [list(s) for s in spectra] == [["3_1"], ["5_1"]]


@pytest.mark.parametrize("chain_type", ["ring", "open"])
def test_results_do_not_depend_on_threads_or_repetition(chain_type):
    frames = random_polygons(5, 40, 5)
    first = skeinlab.knot_spectrum(frames, chain_type, samples=30, seed=11, threads=1)
    assert skeinlab.knot_spectrum(frames, chain_type, samples=30, seed=11) == first
    assert skeinlab.knot_spectrum(frames, chain_type, samples=30, seed=11, threads=7) == first
    # Frame f draws from (seed, f, k): a frame typed alone at index 0 is frame 0's spectrum.
    assert skeinlab.knot_spectrum(frames[:1], chain_type, samples=30, seed=11) == first[:1]
    if chain_type == "open":  # a ring's knot does not depend on the projection
        assert skeinlab.knot_spectrum(frames, chain_type, samples=30, seed=12) != first


def test_fingerprint_rows():
    chain = with_tails(torus_knot(2, 3, n=60), tail_points=10, tail_length=8.0)
    fp = skeinlab.knot_fingerprint(chain, step=4, samples=12, seed=1)
    n = len(chain)
    grid = sorted(set(range(0, n, 4)) | {n - 1})
    expected = [(i, j) for i in grid for j in grid if j - i >= 4]
    assert fp.dtype.names == ("start", "end", "knot", "fraction")
    assert fp["start"].dtype == np.int64 and fp["fraction"].dtype == np.float64
    assert list(zip(fp["start"].tolist(), fp["end"].tolist())) == expected
    whole = fp[(fp["start"] == 0) & (fp["end"] == n - 1)]
    assert whole["knot"].tolist() == ["3_1"] and whole["fraction"].tolist() == [1.0]
    assert set(fp["knot"][fp["end"] - fp["start"] < 8].tolist()) == {"1"}
    # One-frame trajectories are accepted; the same seed gives the same rows.
    again = skeinlab.knot_fingerprint(chain[None], step=4, samples=12, seed=1, threads=1)
    np.testing.assert_array_equal(again, fp)


def test_fingerprint_loads_into_pandas():
    pd = pytest.importorskip("pandas")
    fp = skeinlab.knot_fingerprint(torus_knot(2, 3, n=30), step=5, samples=4)
    frame = pd.DataFrame(fp)
    assert list(frame.columns) == ["start", "end", "knot", "fraction"]
    assert len(frame) == len(fp)


@pytest.mark.parametrize(
    "call, error, message",
    [
        (lambda c: skeinlab.knot_spectrum(c, samples=0), ValueError, "samples must be >= 1"),
        (lambda c: skeinlab.knot_spectrum(c, samples=-3), ValueError, "samples must be >= 1"),
        (lambda c: skeinlab.knot_spectrum(c, threads=0), ValueError, "threads must be >= 1"),
        (lambda c: skeinlab.knot_spectrum(c, seed=2**64), OverflowError, "seed must fit in 64 bits"),
        (lambda c: skeinlab.knot_spectrum(c, seed=-(2**63) - 1), OverflowError, "seed must fit in 64 bits"),
        (lambda c: skeinlab.knot_spectrum(c, samples="5"), TypeError, "argument 'samples'"),
        (lambda c: skeinlab.knot_spectrum(c, "loop"), RuntimeError, "Invalid chain_type"),
        (lambda c: skeinlab.knot_spectrum(c, 5), TypeError, "argument 'chain_type'"),
        (lambda c: skeinlab.knot_spectrum(c, bogus=1), TypeError, "unexpected keyword argument 'bogus'"),
        (lambda c: skeinlab.knot_spectrum("/no/such/file.xyz"), FileNotFoundError, "Cannot open file"),
        (lambda c: skeinlab.knot_fingerprint(c, step=0), ValueError, "step must be >= 1"),
        (lambda c: skeinlab.knot_fingerprint(c, samples=0), ValueError, "samples must be >= 1"),
        (lambda c: skeinlab.knot_fingerprint(np.stack([c, c])), ValueError, "one chain, got 2 frames"),
        (lambda c: skeinlab.knot_fingerprint(c, threads=0), ValueError, "threads must be >= 1"),
    ],
)
def test_argument_errors(call, error, message):
    with pytest.raises(error, match=message):
        call(torus_knot(2, 3, n=20))


@pytest.mark.parametrize("seed", [0, 2**63 - 1, 2**64 - 1, -1, -(2**63)])
def test_every_64_bit_seed_is_accepted(seed):
    [spectrum] = skeinlab.knot_spectrum(torus_knot(2, 3, n=40), samples=3, seed=seed)
    assert spectrum == {"3_1": 1.0}


def test_docstrings_document_the_new_functions():
    for f in (skeinlab.knot_spectrum, skeinlab.knot_fingerprint):
        assert "Returns" in f.__doc__ and "Raises" in f.__doc__ and "Example" in f.__doc__


needs_data = pytest.mark.skipif(not DATA.is_dir(), reason="shared data folder not present")


def protein_chain(entry):
    if entry == "1yve":  # four chains; the knot is in chain I
        rows = [line for line in open(DATA / "proteins" / "1yve.pdb")
                if line.startswith("ATOM") and line[12:16] == " CA " and line[21] == "I"]
        return np.array([[float(r[30:38]), float(r[38:46]), float(r[46:54])] for r in rows])
    return skeinlab.read_pdb(str(DATA / "proteins" / f"{entry}.pdb"), atom_filter="ca")[0]


@needs_data
@pytest.mark.parametrize("entry, name, step", [("2efv", "3_1", 2), ("1j85", "3_1", 3), ("1yve", "4_1", 12)])
def test_knotted_proteins(entry, name, step):
    chain = protein_chain(entry)
    [spectrum] = skeinlab.knot_spectrum(chain, "open", samples=100)
    assert next(iter(spectrum)) == name and spectrum[name] >= 0.5

    # The smallest window where the knot dominates sits where knot_size puts the core.
    _, [[start, end, _]] = skeinlab.knot_size(chain, "open")
    fp = skeinlab.knot_fingerprint(chain, step=step, samples=20)
    knotted = fp[(fp["knot"] == name) & (fp["fraction"] >= 0.5)]
    tightest = knotted[np.argmin(knotted["end"] - knotted["start"])]
    overlap = min(end, tightest["end"]) - max(start, tightest["start"])
    assert overlap >= 0.8 * max(end - start, tightest["end"] - tightest["start"])


def test_frame_offsets_give_chunks_the_spectra_of_the_whole():
    frames = random_polygons(6, 30, 8)
    whole = skeinlab.knot_spectrum(frames, "open", samples=12, seed=5)
    chunks = (skeinlab.knot_spectrum(frames[:2], "open", samples=12, seed=5)
              + skeinlab.knot_spectrum(frames[2:], "open", samples=12, seed=5, frame_offset=2))
    assert chunks == whole
    assert skeinlab.knot_spectrum(frames[2:], "open", samples=12, seed=5) != whole[2:]
