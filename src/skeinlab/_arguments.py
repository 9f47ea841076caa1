"""The command line's options for choosing the chains of files (chains, molecules, atom types, topology,
selection, frames) and their checks, shared by every command that reads chains."""
from __future__ import annotations

import argparse
import sys
from collections.abc import Callable

from ._inputs import InputError, Selection, is_lammps, is_md
from .topology import GROUPINGS


def positive(text: str) -> int:
    value = int(text)
    if value < 1:
        raise argparse.ArgumentTypeError(f"must be at least 1, got {value}")
    return value


def add_chain_options(sub: argparse.ArgumentParser, frame_step_short: bool = True) -> None:
    """The options that choose a file's chains and frames; `frame_step_short` gives --frame-step its short
    name --step (fingerprint's --step is its grid spacing)."""
    sub.add_argument("--chain", action="append", metavar="ID",
                     help="only this chain of a structure (repeatable; default: every polymer chain)")
    sub.add_argument("--molecule", action="append", type=int, metavar="ID",
                     help="only this molecule of a LAMMPS dump, or this chain (from 1) of an XYZ frame "
                          "cut by --chain-length (repeatable; default: all)")
    sub.add_argument("--chain-length", type=positive, metavar="N",
                     help="cut every frame into chains of N atoms (in id order for LAMMPS dumps) instead of "
                          "one chain per molecule (LAMMPS) or per frame (XYZ)")
    sub.add_argument("--type", dest="atom_types", action="append", metavar="T",
                     help="LAMMPS dumps and MD trajectories: keep only atoms of this type (a number, or a "
                          "name: an MD topology's type, a data file's type label), e.g. a bottlebrush's "
                          "backbone (repeatable; default: all)")
    sub.add_argument("--topology", metavar="FILE",
                     help="the atoms, bonds and molecules of the trajectories: a LAMMPS data file for a "
                          "dump (read by skeinlab), or for MD trajectories through MDAnalysis (pip install "
                          "skeinlab[md]) a .tpr, .psf, .gro, .pdb, .data ... file; .xtc, .trr, .dcd, .gsd, "
                          ".nc, .gro files are read through MDAnalysis anyway")
    sub.add_argument("--select", metavar="SELECTION",
                     help="MD trajectories and LAMMPS dumps with a data file: type the chains of these "
                          "atoms, in MDAnalysis' selection language (e.g. 'name CA', 'type 1', "
                          "'backbone and segid A'); bonds between them decide the chains")
    sub.add_argument("--by", choices=GROUPINGS,
                     help="MD trajectories: chains are the selected atoms of each molecule, fragment, "
                          "segment, chain or residue, in index order (default: the bonds decide; protein "
                          "alpha carbons by segment)")
    sub.add_argument("--start", dest="frame_start", type=int, metavar="N",
                     help="trajectories: the first frame to read (from 0; negative: from the end), as Python "
                          "slices frames")
    sub.add_argument("--stop", dest="frame_stop", type=int, metavar="N",
                     help="trajectories: the frame to stop before (negative: from the end)")
    steps = ["--step", "--frame-step"] if frame_step_short else ["--frame-step"]
    sub.add_argument(*steps, dest="frame_step", type=positive, metavar="N",
                     help="trajectories: read every N-th frame")
    sub.add_argument("-v", "--verbose", action="store_true",
                     help="show the warnings of the MD readers (hidden otherwise)")


def print_notes(path: str, notes: list[str]) -> None:
    """What a file's chains left out and why, in one line."""
    if notes:
        print(f"skeinlab: note: {path}: {'; '.join(notes)}", file=sys.stderr)


def selection_of(args: argparse.Namespace, path: str, notes: Callable[[str, list[str]], None],
                 chain_type: str | None, whole_frames: bool = False) -> Selection:
    """The chains of `path` the options ask for; options that do not fit the file are an InputError."""
    simulation = is_lammps(path) or is_md(path, args.topology)
    if args.atom_types and not simulation:
        raise InputError(f"{path}: --type needs a LAMMPS dump or an MD trajectory, which have atom types")
    if args.molecule and not simulation and args.chain_length is None:
        raise InputError(f"{path}: --molecule needs a LAMMPS dump, an MD trajectory, or --chain-length "
                         "for an XYZ file")
    if args.chain_length is not None and is_md(path, args.topology):
        raise InputError(f"{path}: --chain-length is for LAMMPS dumps and XYZ files; MD trajectories "
                         "are cut by molecule")
    if (args.select or args.by) and not simulation:
        raise InputError(f"{path}: --select and --by are for MD trajectories and LAMMPS dumps")
    if args.by and not is_md(path, args.topology):
        raise InputError(f"{path}: --by is for MD trajectories; a LAMMPS dump's chains are its molecules, "
                         "or the bonds of its data file")
    return Selection(chain_type, args.chain_length, args.molecule, args.atom_types,  # type: ignore[arg-type]
                     args.topology, whole_frames=whole_frames, select=args.select, by=args.by,
                     frames=(args.frame_start, args.frame_stop, args.frame_step), verbose=args.verbose, notes=notes)
