"""read_chains through gemmi, the command line on structures, and the plots."""
import gzip
import pathlib

import numpy as np
import pytest

import skeinlab
from skeinlab import cli

gemmi = pytest.importorskip("gemmi")

EXAMPLE = pathlib.Path(__file__).resolve().parents[2] / "examples" / "knotted_backbone.pdb"


def atom(serial, name, residue, chain, x, y, z, altloc=" ", icode=" ", record="ATOM  ", resname="ALA",
         occupancy=1.0):
    return (f"{record}{serial:5d} {name:^4s}{altloc}{resname:>3s} {chain}{residue:4d}{icode}   "
            f"{x:8.3f}{y:8.3f}{z:8.3f}{occupancy:6.2f}  0.00           C\n")


def small_structure(tmp_path):
    """Two chains, a gap in chain A, alternate locations, an insertion code, two models, water."""
    models = []
    for m, shift in ((1, 0.0), (2, 0.5)):
        lines = [f"MODEL     {m:4d}\n"]
        serial = 1
        for i, residue in enumerate([1, 2, 3, 7, 8]):  # residues 4 to 6 are missing: a gap of 4 * 3.8
            x = 3.8 * (i if residue < 7 else i + 3) + shift
            lines.append(atom(serial, "CA", residue, "A", x, 0, 0)); serial += 1
        lines.append(atom(serial, "CA", 8, "A", 99, 99, 99, altloc="B", occupancy=0.4).replace(" 8    ", " 8    ", 1))
        serial += 1
        for i, (residue, icode) in enumerate([(10, " "), (10, "A"), (11, " ")]):
            lines.append(atom(serial, "CA", residue, "B", 3.8 * i, 5 + shift, 0, icode=icode)); serial += 1
        lines.append(atom(serial, "O", 101, "B", 1, 1, 1, record="HETATM", resname="HOH")); serial += 1
        lines.append("ENDMDL\n")
        models += lines
    path = tmp_path / "small.pdb"
    path.write_text("".join(models) + "END\n")
    return path


def to_mmcif(pdb, target):
    structure = gemmi.read_structure(str(pdb))
    structure.setup_entities()
    structure.make_mmcif_document().write_file(str(target))
    return target


def test_example_as_pdb_mmcif_and_gzip_equals_read_pdb(tmp_path):
    expected = skeinlab.read_pdb(str(EXAMPLE), "ca")
    cif = to_mmcif(EXAMPLE, tmp_path / "example.cif")
    gz = tmp_path / "example.cif.gz"
    gz.write_bytes(gzip.compress(cif.read_bytes()))
    for path in (EXAMPLE, cif, gz):
        chains = skeinlab.read_chains(str(path))
        assert list(chains) == ["A"]
        np.testing.assert_array_equal(chains["A"], expected)
        assert chains.residues["A"] == [str(i) for i in range(1, 141)]
    one = skeinlab.read_chains(str(cif), model=1)
    np.testing.assert_array_equal(one["A"], expected[1:])


def test_chains_gaps_alternate_locations_insertion_codes_and_models(tmp_path):
    for path in (small_structure(tmp_path), to_mmcif(small_structure(tmp_path), tmp_path / "small.cif")):
        chains = skeinlab.read_chains(str(path))
        assert list(chains) == ["A", "B"]  # no water
        assert chains["A"].shape == (2, 5, 3) and chains["B"].shape == (2, 3, 3)
        assert chains.residues["A"] == ["1", "2", "3", "7", "8"]
        assert chains.residues["B"] == ["10", "10A", "11"]
        assert chains.breaks == {"A": [3], "B": []}
        np.testing.assert_allclose(chains["A"][1, :, 0] - chains["A"][0, :, 0], 0.5)  # the second model
        assert chains["A"][0, 4, 0] == pytest.approx(3.8 * 7)  # the first location, not the one at 99


def test_errors(tmp_path):
    with pytest.raises(FileNotFoundError, match="Cannot open file: /no/such.cif"):
        skeinlab.read_chains("/no/such.cif")
    with pytest.raises(ValueError, match="model 5 is not in"):
        skeinlab.read_chains(str(EXAMPLE), model=5)


@pytest.mark.parametrize("name, text, message", [
    ("empty.cif", "", "the file is empty"),
    ("empty.pdb", "", "the file is empty"),
    ("header_only.cif", "data_x\n#\n", "no atoms"),
    ("header_only.pdb", "HEADER    NOTHING\nEND\n", "no atoms"),
])
def test_empty_and_truncated_files_are_errors_naming_the_file(tmp_path, name, text, message):
    path = tmp_path / name
    path.write_text(text)
    with pytest.raises(RuntimeError, match=f"{path}: .*{message}|{path}: {message}"):
        skeinlab.read_chains(str(path))


def test_command_line_reports_cores_in_residue_numbers(tmp_path, capsys):
    cif = to_mmcif(EXAMPLE, tmp_path / "example.cif")
    assert cli.main(["size", str(cif), "--chain", "A", "-f", "jsonl"]) == 0
    rows = [eval(line.replace("null", "None")) for line in capsys.readouterr().out.splitlines()]
    names, cores = skeinlab.knot_size(skeinlab.read_pdb(str(EXAMPLE), "ca"), "open")
    assert [(r["chain"], r["knot"], r["start"], r["first_residue"], r["last_residue"]) for r in rows] == [
        ("A", n, c[0], str(c[0] + 1), str(c[1] + 1)) for n, c in zip(names, cores)]
    assert cli.main(["type", str(cif), "--chain", "Z"]) == 1
    assert "no polymer chain Z" in capsys.readouterr().err


def test_each_chain_is_typed_on_its_own_with_break_warnings(tmp_path, capsys):
    path = small_structure(tmp_path)
    assert cli.main(["type", str(path), "-f", "csv"]) == 0
    out, err = capsys.readouterr()
    assert [line.split(",")[1:3] for line in out.splitlines()[1:]] == [["A", "0"], ["A", "1"], ["B", "0"], ["B", "1"]]
    assert "chain A: 1 chain break(s)" in err and "between residues 3-7" in err


def png_size(path):
    data = pathlib.Path(path).read_bytes()
    assert data[:8] == b"\x89PNG\r\n\x1a\n"
    return len(data)


def test_plots_render(tmp_path):
    pytest.importorskip("matplotlib")
    from skeinlab import plot

    trace = skeinlab.read_pdb(str(EXAMPLE), "ca")
    fingerprint = skeinlab.knot_fingerprint(trace[0], step=4, samples=8)
    names, cores = skeinlab.knot_size(trace, "open")
    figures = {
        "fingerprint": plot.fingerprint(fingerprint),
        "cores": plot.cores(names, cores, trace.shape[1]),
        "ring cores": plot.cores(["3_1", "1", "3_1"], [[70, 10, 21], [-1, -1, 0], [5, 40, 36]], 80),
        "chain": plot.chain(trace[0], cores[0]),
    }
    for name, figure in figures.items():
        target = tmp_path / f"{name}.png"
        figure.savefig(target, dpi=60)
        assert png_size(target) > 5000, name


def test_command_line_plots(tmp_path):
    pytest.importorskip("matplotlib")
    for command, extra in (("size", []), ("fingerprint", ["--step", "10", "--samples", "4"])):
        target = tmp_path / f"{command}.png"
        assert cli.main([command, str(EXAMPLE), *extra, "-o", str(tmp_path / "rows.txt"), "--plot", str(target)]) == 0
        assert png_size(target) > 5000
