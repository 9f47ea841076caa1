"""The MD community's own test files (the package MDAnalysisTests, when it is installed): real GROMACS,
CHARMM/NAMD and LAMMPS files through the command line, the answers and messages a new user meets."""
import pytest

from test_lammps import command_rows

pytest.importorskip("MDAnalysis")
datafiles = pytest.importorskip("MDAnalysisTests.datafiles")

pytestmark = pytest.mark.filterwarnings("ignore::UserWarning", "ignore::DeprecationWarning",
                                      "ignore::PendingDeprecationWarning")


@pytest.mark.parametrize("topology, note", [
    (datafiles.GRO, "skipped 44,340 atoms in 11,088 residues (SOL, NA+): not protein"),
    (datafiles.TPR, "skipped 11,088 molecules of fewer than 4 atoms"),
])
def test_a_solvated_protein_gives_its_alpha_carbon_trace_and_skips_the_solvent(topology, note):
    status, rows, err = command_rows("type", datafiles.XTC, "--topology", topology)
    assert status == 0, err
    assert len(rows) == 10 and {r["knot"] for r in rows} == {"1"}
    assert note in err and err.count("\n") == 1


def test_a_dcd_with_its_psf_is_one_chain_a_frame_without_warnings():
    status, rows, err = command_rows("type", datafiles.DCD, "--topology", datafiles.PSF, "--step", "10")
    assert status == 0 and err == ""
    assert [r["frame"] for r in rows] == [str(f) for f in range(0, 98, 10)]


@pytest.mark.parametrize("arguments, message", [
    (lambda: [datafiles.XTC], "needs --topology (.gro, .tpr, .psf, .pdb or .data)"),
    (lambda: [datafiles.XTC, "--topology", datafiles.PSF], "has 47681 atoms, but the topology"),
    (lambda: [datafiles.LAMMPSDUMP_chain1, "--topology", datafiles.LAMMPS_chain], "no polymer chain: 22 atoms"),
    (lambda: [datafiles.LAMMPSDUMP_chain1], "the atoms are not one chain"),
    (lambda: [datafiles.LAMMPSDUMP_triclinic], "the atoms are not one chain"),
])
def test_what_is_not_a_chain_is_never_named(arguments, message):
    status, rows, err = command_rows("type", *arguments())
    assert status == 1 and rows == [] and message in err and err.count("skeinlab: error") == 1


def test_cobrotoxin_disulfides_close_loops_no_tail_crosses():
    pytest.importorskip("gemmi")
    status, rows, err = command_rows("lasso", datafiles.PDB_cobrotoxin if hasattr(datafiles, "PDB_cobrotoxin")
                                     else datafiles.__file__.replace("datafiles.py", "data/cobrotoxin.pdb"))
    assert status == 0, err
    # The three-finger toxin's four disulfides (from its SG atoms: the file has no SSBOND records).
    assert [(r["bridge"], r["lasso"]) for r in rows] == [("3-24", "L0"), ("17-41", "L0"), ("43-54", "L0"),
                                                         ("55-60", "L0")]
