"""Typical uses of the public API, checked with mypy --strict against the stubs."""
import numpy as np
import numpy.typing as npt

import skeinlab


def typed_uses(path: str) -> None:
    frames: npt.NDArray[np.float64] = skeinlab.read_xyz(path)
    names: list[str] = skeinlab.knot_type(frames, "ring", threads=2)
    identified: list[str] = skeinlab.knot_identify(path, chain_type="open", threads=1)
    sizes: tuple[list[str], list[list[int]]] = skeinlab.knot_size(path, chain_type="open")
    spectra: list[dict[str, float]] = skeinlab.knot_spectrum(frames, samples=10, seed=-1)
    fingerprint: np.ndarray = skeinlab.knot_fingerprint(frames[0], step=2)
    reduced: npt.NDArray[np.float64] = skeinlab.kmt(frames[0], "open")
    trace = skeinlab.read_pdb(path, atom_filter="ca")
    skeinlab.write_xyz(path, trace, append=True)
    chunks = skeinlab.iter_xyz(path, chunk=100)
    for chunk in chunks:
        total: int = chunk.shape[0] + chunks.tell()
    for frame in skeinlab.iter_lammps(path, "ring", chain_length=100, types=[1], molecules=None):
        timestep: int = frame.timestep
        kept: npt.NDArray[np.float64] = frame.chains[~frame.winding]
        print(timestep, skeinlab.knot_type(kept), frame.molecules[0], frame.box.shape)
    melt: list[skeinlab.SimulationFrame] = skeinlab.read_lammps(path, "open")
    links = skeinlab.linking_matrix(melt[0].chains, "ring", threads=1)
    clusters = skeinlab.linked_clusters([melt[0].chains, melt[-1].chains])
    print(links, clusters)
    version: str = skeinlab.__version__
    try:
        skeinlab.knot_type(path)
    except skeinlab.InternalError as error:
        message: str = str(error)
    print(names, identified, sizes, spectra, fingerprint, reduced, total, version, message, melt)
