"""Types and documentation of the compiled core, ``skeinlab._core``.

Every function is re-exported by :mod:`skeinlab` as the very same object.
"""
from collections.abc import Iterator, Sequence
from typing import Any, Literal, TypedDict

import numpy as np
import numpy.typing as npt

Array = npt.NDArray[np.float64]
#: A trajectory: the path of an XYZ file, or a float64 array of shape (N, 3)
#: (one frame) or (F, N, 3). Arrays are read through their strides; other
#: element types and lists are refused.
InputData = str | Array
ChainType = Literal["ring", "open"]

class InternalError(BaseException):
    """A broken internal invariant of the core, which no input is known to reach.

    Derived from BaseException (like KeyboardInterrupt): it ends the whole call,
    even when raised on a worker thread.
    """

def knot_type(input_data: InputData, chain_type: ChainType = "ring", threads: int | None = None) -> list[str]:
    """The knot name of every frame, in frame order.

    Parameters
    ----------
    input_data
        An XYZ path, or a float64 array of shape (N, 3) or (F, N, 3). A point
        with a NaN or infinite coordinate (padding, a missing atom) is left
        out: the chain of the other points, in order, is typed.
    chain_type
        "ring" (the last point joins the first) or "open" (closed through two
        far points outside the convex hull, pushed out from the ends).
    threads
        None: the process-wide pool, one worker per processor; n: a pool of its
        own with min(n, 65535, frames) workers.

    Returns
    -------
    list of str
        "1" for the unknot, a table name such as "3_1", or the text of an
        Alexander polynomial the table does not hold, e.g. "1-2*t+3*t^2-...".

    Raises
    ------
    ValueError
        "threads must be >= 1" for threads=0 (checked first).
    OverflowError
        A negative thread count.
    TypeError
        Arguments of the wrong type ("argument 'chain_type': ...").
    FileNotFoundError
        "Cannot open file: {path}", or "Alexander table file not found: {path}".
    RuntimeError
        A bad array shape, a malformed XYZ or table file, "Invalid chain_type.
        Expected 'ring' or 'open'.", or a system error "... (os error N)".
    MemoryError, InternalError
        A frame that runs out of memory; a broken invariant.

    Example
    -------
    >>> skeinlab.knot_type("examples/rings.xyz")[:4]
    ['3_1', '4_1', '5_1', '1']
    """

def knot_identify(input_data: InputData, chain_type: ChainType = "ring", threads: int | None = None) -> list[str]:
    """The knot of every frame named from its HOMFLY-PT polynomial, in frame order.

    Each frame is closed and reduced as knot_type does it, projected (by a
    rotation, never a reflection, so that handedness is kept), and its planar
    diagram simplified by Reidemeister moves (a seeded search: the same chain
    gives the same diagram everywhere) and cut into the connected summands it
    shows. Every summand whose Alexander polynomial is that of a table knot
    gets its HOMFLY-PT polynomial (by a skein tree up to 12 crossings, by a
    sweep over the crossings whose cost grows with the diagram's width
    beyond) and is looked up in a table of the prime knots up to 12
    crossings (2,977 knots, both chiralities).

    Parameters
    ----------
    input_data, chain_type, threads
        As for knot_type.

    Returns
    -------
    list of str
        "1" for the unknot. A prime knot is its table name (KnotInfo's) with
        its chirality: "+" for the chirality of KnotInfo's diagram (the
        right-handed trefoil, three positive crossings, is "+3_1"), "-" for
        the mirror image, no sign for a knot that is its own mirror image
        ("4_1") or whose polynomial equals its mirror image's. Knots sharing
        a polynomial are listed as alternatives in table order,
        "(+5_1|-10_132)", only those of crossing number at most the
        summand's diagram's (a 5-crossing diagram is "-5_1"). Knots of 13 to
        15 crossings have the names of the Hoste-Thistlethwaite-Weeks
        enumeration, "+13n_1609". A summand whose diagram has more crossings
        than the enumeration's knots (15) is never named by its polynomial
        alone: its candidates come with the larger knot it may be,
        "(+12a_307|?16)". A summand that is no knot of up to 15 crossings,
        or whose diagram is too wide for the sweep, is "?" and its crossings
        after simplification ("?17").
        Summands are joined by "#": known ones in table order ("+" before
        "-"), then unknown ones ("+3_1#-3_1" is the square knot,
        "+3_1#+3_1" the granny knot).

    Raises
    ------
    As knot_type, for the same arguments and failures.

    Example
    -------
    >>> skeinlab.knot_identify(np.stack([right_trefoil, right_trefoil * [1, 1, -1]]))
    ['+3_1', '-3_1']
    """
    ...

class SummandInvariants(TypedDict):
    name: str
    crossings: int
    alexander: str
    homfly: str | None
    jones: str | None


class KnotInvariants(TypedDict):
    name: str
    alexander: str
    determinant: int
    homfly: str | None
    jones: str | None
    crossings: int
    summands: list[SummandInvariants]


PdCode = list[tuple[int, int, int, int]]

def pd_code(input_data: InputData, chain_type: ChainType = "ring", threads: int | None = None) -> list[PdCode]:
    """The PD code of the simplified diagram knot_identify names, per frame.

    Parameters
    ----------
    input_data : str or ndarray
        An XYZ file path, or an array (N, 3) or (F, N, 3) of any float or
        integer dtype, as for knot_identify.
    chain_type : str
        "ring" or "open" (closed as knot_identify closes it).
    threads : int or None
        Worker threads; None uses all processors.

    Returns
    -------
    list of list of tuple
        Per frame, the crossings (i, j, k, l) of the diagram in KnotInfo's
        convention: edges numbered from 1 along the knot, i the incoming under
        strand, j, k and l counterclockwise. Ready for KnotInfo, SnapPy
        (``snappy.Link(code)``) or Regina; ``identify_pd`` names it as
        knot_identify names the chain. [] for a frame with no crossing left.

    Raises
    ------
    RuntimeError, FileNotFoundError, ValueError
        As knot_identify raises them (a bad chain_type or input, a missing
        file, threads below 1).

    Example
    -------
    >>> code = skeinlab.pd_code(chain)[0]
    >>> skeinlab.identify_pd([code]) == skeinlab.knot_identify(chain)
    True
    """

def lasso_frames(input_data: InputData, bridges: Sequence[tuple[int, int]], threads: int | None = None
                 ) -> list[list[tuple[tuple[int, int], str, list[tuple[int, str]], list[tuple[int, str]], float]]]:
    """The lassos of every frame for each bridge (i, j), as tuples ((i, j), name,
    N-tail piercings, C-tail piercings, area); skeinlab.lasso_type documents them."""

def lasso_surface(chain: InputData, i: int, j: int) -> tuple[Array, npt.NDArray[np.int64]]:
    """The minimal surface lasso_type spans the loop i..j of a chain with, as
    (vertices (V, 3), triangles (T, 3)); skeinlab.plot.lasso draws it."""

def identify_pd(codes: Sequence[str | Sequence[Sequence[int]]], threads: int | None = None) -> list[str]:
    """Names PD codes as knot_identify names chains.

    Parameters
    ----------
    codes : list
        PD codes, each a str as KnotInfo writes them ("[[1,5,2,4],[3,1,4,6],
        [5,3,6,2]]"; SnapPy's and Regina's "PD[X[1,5,2,4], ...]" are read too)
        or a sequence of crossings of four ints; [] is the unknot.
    threads : int or None
        Worker threads; None uses all processors.

    Returns
    -------
    list of str
        One name per code, in knot_identify's grammar (chirality, summands,
        alternatives, "?N").

    Raises
    ------
    ValueError
        "code {k}: PD code: ..." for a code that is not one knot's planar
        diagram (edges not numbered 1 to 2n, each twice; more than one
        component; not planar) or does not read; "threads must be >= 1".
    TypeError
        A str given as the list (``[code]`` names one code).

    Example
    -------
    >>> skeinlab.identify_pd(["[[1,5,2,4],[3,1,4,6],[5,3,6,2]]", [(4, 2, 5, 1), (8, 6, 1, 5), (6, 3, 7, 4), (2, 7, 3, 8)]])
    ['+3_1', '4_1']
    """

def knot_invariants(
    input_data: InputData, chain_type: ChainType = "ring", threads: int | None = None
) -> list[KnotInvariants]:
    """The evidence behind knot_identify's names, one dict per frame.

    Parameters
    ----------
    input_data, chain_type, threads
        As for knot_type.

    Returns
    -------
    list of dict
        "name": knot_identify's name of the frame; "alexander": its Alexander
        polynomial (normalized as knot_type writes polynomials: equal to
        knot_type's text when the table has no name for it); "determinant":
        |Alexander(-1)|; "homfly" and "jones": the HOMFLY-PT polynomial in v
        and z (v^-1 P(L+) - v P(L-) = z P(L0)) and the Jones polynomial in t,
        None unless every summand has one; "crossings": crossings of the
        simplified diagram; "summands": one dict per summand, in the order of
        the name, with its "name", "crossings", "alexander", "homfly" and
        "jones" (None for summands whose diagram is too wide for the sweep).

    Raises
    ------
    As knot_type, for the same arguments and failures.

    Example
    -------
    >>> skeinlab.knot_invariants(right_trefoil)[0]["homfly"]
    '2*v^2-v^4+v^2*z^2'
    """
    ...


def knot_size(
    input_data: InputData, chain_type: ChainType = "ring", threads: int | None = None
) -> tuple[list[str], list[list[int]]]:
    """Knot names and knotted cores of every frame.

    Returns
    -------
    (names, cores)
        names as knot_type returns them; cores one [start, end, length] per
        frame: the shortest window of points (both ends included) that still
        carries the knot, or [-1, -1, 0] for the unknot, a polynomial text or a
        frame without a core. For a ring a core may run across the first point
        (end < start, length = (end - start) mod n + 1). Missing points (NaN or
        infinite coordinates) are left out of the search: start and end are
        positions in the frame as given and length counts the points the core
        holds, so a padded frame gives the core of the frame unpadded.

    Raises
    ------
    As knot_type.

    Example
    -------
    >>> skeinlab.knot_size(skeinlab.read_pdb("examples/knotted_backbone.pdb", "ca"), "open")
    (['3_1', '3_1'], [[37, 103, 67], [35, 104, 70]])
    """

def knot_spectrum(
    input_data: InputData,
    chain_type: ChainType = "ring",
    samples: int = 100,
    seed: int = 0,
    threads: int | None = None,
    frame_offset: int = 0,
    invariant: Literal["alexander", "homfly"] = "alexander",
) -> list[dict[str, float]]:
    """Knot spectrum of every frame over random projections and closures.

    Sample k of frame f rotates the chain uniformly at random and, for an open
    chain, closes it through a far point in a uniformly random direction, all
    drawn from (seed, frame_offset + f, k) alone; the closed chain is typed as
    a ring. Chunks of a trajectory typed with frame_offset set to their first
    frame's number get the spectra of the whole trajectory typed at once.
    invariant="alexander" names each sample as knot_type does; "homfly" as
    knot_identify does ("+3_1", "-3_1", "+3_1#-3_1", ...).

    Returns
    -------
    list of dict
        One dict per frame, name -> fraction of samples, in decreasing fraction
        (ties: "1", then by crossing number and index, then polynomial texts).

    Raises
    ------
    ValueError
        "samples must be >= 1", "threads must be >= 1", "invariant must be
        'alexander' or 'homfly'".
    OverflowError
        "seed must fit in 64 bits" (seeds from -2**63 to 2**64 - 1 are taken).
    TypeError, FileNotFoundError, RuntimeError, MemoryError, InternalError
        As knot_type.

    Example
    -------
    >>> skeinlab.knot_spectrum(trace, "open", samples=200)
    [{'3_1': 0.97, '1': 0.03}]
    """

def knot_fingerprint(
    chain: InputData,
    step: int = 1,
    samples: int = 50,
    seed: int = 0,
    threads: int | None = None,
    invariant: Literal["alexander", "homfly"] = "alexander",
) -> np.ndarray:
    """Dominant knot of every window of an open chain.

    Windows [start, end] have both ends on the grid 0, step, 2*step, ... (the
    last index always included) and end - start >= 4; each is typed by
    knot_spectrum's method as an open chain, sample k drawn from
    (seed, start, end, k), each sample named by `invariant` as in knot_spectrum.

    Returns
    -------
    numpy structured array
        One row per window, ordered by start then end, with fields start
        (int64), end (int64), knot (str) and fraction (float64);
        pandas.DataFrame(result) loads it as a table.

    Raises
    ------
    ValueError
        "step must be >= 1", "samples must be >= 1", "threads must be >= 1",
        "knot_fingerprint takes one chain, got F frames", "invariant must be
        'alexander' or 'homfly'".
    OverflowError, TypeError, FileNotFoundError, RuntimeError, MemoryError, InternalError
        As knot_spectrum.

    Example
    -------
    >>> fp = skeinlab.knot_fingerprint(trace, step=2)
    >>> fp[(fp["knot"] == "3_1") & (fp["fraction"] >= 0.5)][:2]
    array([(0, 106, '3_1', 0.6 ), (0, 108, '3_1', 0.74)],
          dtype=[('start', '<i8'), ('end', '<i8'), ('knot', '<U3'), ('fraction', '<f8')])
    """

def kmt(input_data: Array, chain_type: ChainType = "ring") -> Array:
    """The KMT reduction of one chain: the remaining points, in input order.

    Parameters
    ----------
    input_data
        A float64 array of shape (N, 3).
    chain_type
        "ring" or "open" (an open chain keeps its two end points).

    Returns
    -------
    numpy.ndarray
        A new float64 array of shape (M, 3), M <= N; points with a NaN or
        infinite coordinate are left out before the reduction.

    Raises
    ------
    RuntimeError
        "kmt expects a NumPy array with shape (N, 3)." for anything else, or an
        invalid chain_type.
    TypeError
        A chain_type that is not a str.

    Example
    -------
    >>> skeinlab.kmt(skeinlab.read_xyz("examples/rings.xyz")[0]).shape
    (7, 3)
    """

def read_xyz(filename: str) -> Array:
    """Read XYZ file into a NumPy array with shape `(frames, atoms, 3)`.

    If frames have different atom counts, shorter frames are padded with `NaN`.
    A file without frames gives shape (0, 0, 3).

    Raises
    ------
    FileNotFoundError
        "Cannot open file: {filename}".
    RuntimeError
        "failed to parse data: ..." naming the problem and its line (counted
        from the frame's count line), or a system error "... (os error N)".
    TypeError
        A filename that is not a str.

    Example
    -------
    >>> skeinlab.read_xyz("examples/rings.xyz").shape
    (120, 80, 3)
    """

class XyzChunks(Iterator[Array]):
    """Chunks of frames of an XYZ file, as iter_xyz yields them."""

    def __next__(self) -> Array: ...
    def tell(self) -> int:
        """Bytes of the file read so far (through the frames yielded, and at most one chunk more)."""

class LammpsFrames(Iterator[tuple[Any, ...]]):
    """Frames of a LAMMPS dump, as lammps_frames yields them."""

    def __next__(self) -> tuple[Any, ...]: ...
    def tell(self) -> int:
        """Bytes of the file read so far."""

Layout = tuple[npt.NDArray[np.int64], npt.NDArray[np.int64], npt.NDArray[np.int64], npt.NDArray[np.bool_], int]

def lammps_frames(filename: str, chain_type: ChainType = "ring", chain_length: int | None = None,
                  types: Sequence[int] | None = None, molecules: Sequence[int] | None = None,
                  layout: Layout | None = None, check_gaps: bool = False, ragged: bool = False) -> LammpsFrames:
    """The chains of every frame of a LAMMPS text dump, one frame at a time, as
    tuples (timestep, chains, molecules, winding, box), or with ragged=True
    (timestep, points, offsets, molecules, winding, box, gaps); a layout (atoms
    by id, offsets, labels, rings, topology atoms) gives the chains;
    skeinlab.iter_lammps gives the frames as SimulationFrame records and documents them."""

def read_lammps_data(filename: str) -> dict[str, Any]:
    """The atoms and bonds of a LAMMPS data file, as a dict: style, ids, molecules
    (None for a style without them), types, positions, type_labels, bonds (B, 2)
    as atom indices; skeinlab.iter_lammps reads its topology with it."""

def bonded_chains(atoms: int, bonds: npt.ArrayLike, min_atoms: int = 4, keep: npt.ArrayLike | None = None
                  ) -> tuple[npt.NDArray[np.int64], npt.NDArray[np.int64], npt.NDArray[np.bool_], dict[str, int]]:
    """The chains a bond graph draws, as (atoms, offsets, rings, skipped): its
    connected components ordered along their bonds, rings and paths; components
    of fewer than min_atoms atoms and branched ones counted in skipped."""

def gather_chains(positions: npt.ArrayLike, layout: Layout, box: Array | None = None, check_gaps: bool = False
                  ) -> tuple[Array, npt.NDArray[np.int64], npt.NDArray[np.int64], npt.NDArray[np.bool_], Array]:
    """A frame's chains by a layout of position indices, unwrapped across the box,
    as (points, offsets, labels, winding, gaps)."""

def linking_pairs(frames: Sequence[Array], chain_type: ChainType = "ring", threads: int | None = None
                  ) -> list[tuple[npt.NDArray[np.int64], Array, npt.NDArray[np.bool_]]]:
    """The linked pairs of the chains of every frame (a sequence of float64
    arrays (K, N, 3)), as (pairs (P, 2), values (P,), defined (P,)) per frame;
    skeinlab.linking_matrix and skeinlab.linked_clusters use it and document it."""

def linked_pairs(frames: Sequence[Array], threads: int | None = None
                 ) -> list[tuple[npt.NDArray[np.int64], npt.NDArray[np.int64], npt.NDArray[np.bool_], list[str]]]:
    """The linked pairs of the rings of every frame (non-zero linking numbers, and pairs of linking
    number 0 shown not split), as (pairs (P, 2), linking (P,), defined (P,), names) per frame;
    skeinlab.linked_clusters uses it and documents it."""

def link_types(frames: Sequence[Array], threads: int | None = None
               ) -> list[tuple[str, list[tuple[tuple[int, ...], str, int]], list[str]]]:
    """The link the rings of every frame form, as (name, sublinks, knots) per frame, sublinks as (rings, name,
    crossings); skeinlab.link_type documents it."""

def unwrap_chains(chains: Array, box: Array, chain_type: ChainType = "ring") -> tuple[Array, npt.NDArray[np.bool_]]:
    """Chains unwrapped across a periodic box by the minimum image of every bond,
    and which rings wind around it, as (chains (K, N, 3), winding (K,));
    skeinlab.md uses it and documents it."""

def iter_xyz(filename: str, chunk: int = 1000) -> XyzChunks:
    """Read an XYZ file in chunks of at most `chunk` frames.

    Yields float64 arrays of shape (frames, atoms, 3) in file order, reading the
    file once with memory bounded by the chunk. Frames are read as read_xyz
    reads them; within a chunk, shorter frames are padded with NaN to the
    longest frame of that chunk.

    Raises
    ------
    FileNotFoundError
        "Cannot open file: {filename}".
    RuntimeError
        The errors of read_xyz with " (frame F, line L of FILE)" added: the frame
        that failed (from 0) and its line in the file (from 1); the complete
        frames before it are yielded first.
    ValueError
        "chunk must be >= 1".

    Example
    -------
    >>> for frames in skeinlab.iter_xyz("run.xyz", chunk=500):
    ...     names = skeinlab.knot_type(frames)
    """

def write_xyz(filename: str, input_data: InputData, append: bool = False) -> None:
    """Write every frame of a trajectory to an XYZ file.

    Each frame is its point count, an empty comment line and one line
    "1<TAB>x<TAB>y<TAB>z" per point (five decimals, right-aligned in ten
    characters; "NaN", "inf", "-inf"). The file is replaced, or appended to
    with append=True; new files get mode 0o666 under the umask.

    Raises
    ------
    RuntimeError
        A bad input_data, or a system error "... (os error N)" (a file name
        with a NUL byte: "file name contained an unexpected NUL byte").
    FileNotFoundError
        input_data is the path of a missing XYZ file.
    TypeError
        Arguments of the wrong type.

    Example
    -------
    >>> skeinlab.write_xyz("copy.xyz", skeinlab.read_xyz("examples/rings.xyz"))
    """

def read_pdb(filename: str, atom_filter: Literal["all", "ca"] = "all") -> Array:
    """Read PDB file into a NumPy array with shape `(frames, atoms, 3)`.

    If frames have different atom counts, shorter frames are padded with `NaN`.
    ATOM and HETATM records, one frame per MODEL; atom_filter "ca" keeps the
    alpha carbons (any letter case).

    Raises
    ------
    ValueError
        "Invalid atom_filter. Expected 'all' or 'ca'."
    FileNotFoundError
        "Cannot open file: {filename}".
    RuntimeError
        A malformed coordinate ("Invalid z at PDB line 17: ..."), a MODEL
        number too far ahead, or a system error.

    Example
    -------
    >>> skeinlab.read_pdb("examples/knotted_backbone.pdb", atom_filter="ca").shape
    (2, 140, 3)
    """
