"""Knot types, knot names and knotted cores of polymer chains and protein backbones.

The functions are those of the compiled core, :mod:`skeinlab._core`, exposed
here unchanged; their documentation is in the type stubs and the README.
"""
from importlib.metadata import PackageNotFoundError, version as _version

from ._core import (
    InternalError,
    identify_pd,
    iter_xyz,
    kmt,
    knot_fingerprint,
    knot_identify,
    knot_invariants,
    knot_size,
    knot_spectrum,
    knot_type,
    pd_code,
    read_pdb,
    read_xyz,
    write_xyz,
)

from .links import (Clusters, LinkedPairs, LinkedRingPairs, Sublink, LinkType, link_type, linked_clusters,
                    linking_matrix, linking_pairs)
from .lassos import Lasso, lasso_type
from .simulation import SimulationFrame, iter_lammps, read_lammps
from .structures import Chains, read_chains

try:
    __version__ = _version("skeinlab")
except PackageNotFoundError:  # run from a source tree without installing
    __version__ = "0+unknown"

__all__ = [
    "Chains",
    "Clusters",
    "InternalError",
    "Lasso",
    "LinkedPairs",
    "SimulationFrame",
    "__version__",
    "identify_pd",
    "iter_lammps",
    "iter_xyz",
    "kmt",
    "knot_fingerprint",
    "knot_identify",
    "knot_invariants",
    "knot_size",
    "knot_spectrum",
    "knot_type",
    "lasso_type",
    "linked_clusters",
    "link_type",
    "LinkedRingPairs",
    "Sublink",
    "LinkType",
    "linking_matrix",
    "linking_pairs",
    "pd_code",
    "read_chains",
    "read_lammps",
    "read_pdb",
    "read_xyz",
    "write_xyz",
]
