import numpy as np
import pytest

import skeinlab
from conftest import torus_knot, with_tails


def atom(serial, name, x, y, z, record="ATOM  ", resname="ALA"):
    """One fixed-column ATOM or HETATM record."""
    name = name if len(name) == 4 else f" {name:<3s}"
    return f"{record}{serial:5d} {name} {resname:>3s} A{serial:4d}    {x:8.3f}{y:8.3f}{z:8.3f}  1.00  0.00\n"


def write(tmp_path, text, name="s.pdb"):
    path = tmp_path / name
    path.write_bytes(text.encode() if isinstance(text, str) else text)
    return str(path)


def test_columns_are_where_the_format_puts_them():
    line = atom(1, "CA", 1.5, -2.25, 300.125)
    assert line[12:16] == " CA " and line[30:38] == "   1.500" and line[46:54] == " 300.125"


def test_without_models_one_frame_in_file_order(tmp_path):
    text = "HEADER    TEST\n" + atom(1, "N", 0, 0, 0) + atom(2, "CA", 1, 0, 0) + "TER\n"
    text += atom(3, "CA", 2, 0, 0, record="HETATM") + "END\n"
    frames = skeinlab.read_pdb(write(tmp_path, text))
    np.testing.assert_array_equal(frames, [[[0, 0, 0], [1, 0, 0], [2, 0, 0]]])
    np.testing.assert_array_equal(skeinlab.read_pdb(write(tmp_path, text), "CA"), [[[1, 0, 0], [2, 0, 0]]])


def test_models_choose_and_create_frames(tmp_path):
    text = (
        "MODEL        0\n" + atom(1, "CA", 0, 0, 0) + "ENDMDL\n"
        "MODEL        1\n" + atom(2, "CA", 1, 0, 0) + "ENDMDL\n"
        "MODEL        2\n" + atom(3, "CA", 2, 0, 0) + "ENDMDL\n" + atom(4, "CA", 3, 0, 0)
        + "MODEL        1\n" + atom(5, "CA", 4, 0, 0)
        + "MODEL\n" + atom(6, "CA", 5, 0, 0)
        + "MODEL  x\n" + atom(7, "CA", 6, 0, 0)
    )
    frames = skeinlab.read_pdb(write(tmp_path, text))
    assert frames.shape == (4, 3, 3)
    np.testing.assert_array_equal(frames[0, :, 0], [0, 1, 4])
    np.testing.assert_array_equal(frames[1, :2, 0], [2, 3])
    assert np.isnan(frames[1, 2]).all()
    assert frames[2, 0, 0] == 5 and frames[3, 0, 0] == 6


def test_lone_model_three_pads_empty_frames(tmp_path):
    frames = skeinlab.read_pdb(write(tmp_path, "MODEL        3\n" + atom(1, "CA", 1, 2, 3)))
    assert frames.shape == (3, 1, 3)
    assert np.isnan(frames[:2]).all()
    np.testing.assert_array_equal(frames[2, 0], [1, 2, 3])


def test_absurd_model_number_is_refused(tmp_path):
    with pytest.raises(RuntimeError, match=r"MODEL number at PDB line 2 "):
        skeinlab.read_pdb(write(tmp_path, atom(1, "CA", 1, 2, 3) + "MODEL 99999999999\n" + atom(2, "CA", 1, 2, 3)))


def test_line_lengths_and_columns(tmp_path):
    full = atom(1, "CA", 1, 2, 3)
    exact = full[:54].rstrip("\n")[:53] + "\n"  # 53 characters and the newline
    assert skeinlab.read_pdb(write(tmp_path, exact))[0, 0, 2] == 3.0
    with pytest.raises(RuntimeError, match=r"^Invalid z at PDB line 1: cannot parse float from empty string$"):
        skeinlab.read_pdb(write(tmp_path, full[:52] + "\n"))
    with pytest.raises(RuntimeError, match=r"^Invalid y at PDB line 2: cannot parse float from empty string$"):
        skeinlab.read_pdb(write(tmp_path, "REMARK\n" + full[:40] + "\n"))
    bad_x = full[:30] + "   1.2.3" + full[38:]
    with pytest.raises(RuntimeError, match=r"^Invalid x at PDB line 1: invalid float literal$"):
        skeinlab.read_pdb(write(tmp_path, bad_x))
    # A multi-byte character across a column boundary empties that field.
    shifted = full[:29] + "\u00e9" + full[31:]
    with pytest.raises(RuntimeError, match=r"^Invalid x at PDB line 1: cannot parse float from empty string$"):
        skeinlab.read_pdb(write(tmp_path, shifted))


def test_records_are_case_sensitive(tmp_path):
    text = atom(1, "CA", 1, 2, 3).replace("ATOM", "atom")
    with pytest.raises(RuntimeError, match=r"^No ATOM/HETATM records found in PDB file\.$"):
        skeinlab.read_pdb(write(tmp_path, text))
    with pytest.raises(RuntimeError, match=r"^No ATOM/HETATM records found in PDB file\.$"):
        skeinlab.read_pdb(write(tmp_path, atom(1, "N", 1, 2, 3)), atom_filter="ca")


def test_calcium_hetatm_counts_as_alpha_carbon(tmp_path):
    text = atom(1, "CA", 1, 2, 3, record="HETATM", resname=" CA") + atom(2, "CB", 0, 0, 0)
    np.testing.assert_array_equal(skeinlab.read_pdb(write(tmp_path, text), "Ca"), [[[1, 2, 3]]])


def test_check_order_and_file_errors(tmp_path):
    missing = str(tmp_path / "missing.pdb")
    with pytest.raises(FileNotFoundError, match=r"^Cannot open file: .*missing\.pdb$"):
        skeinlab.read_pdb(missing, atom_filter="bogus")
    path = write(tmp_path, atom(1, "CA", 1, 2, 3))
    for bad in ("bogus", " ca", "c a"):
        with pytest.raises(ValueError, match=r"^Invalid atom_filter\. Expected 'all' or 'ca'\.$"):
            skeinlab.read_pdb(path, bad)
    with pytest.raises(RuntimeError, match=r"^Is a directory \(os error 21\)$"):
        skeinlab.read_pdb(str(tmp_path))
    # Invalid bytes in a record that is read fail the file; in a record that is not read they do not.
    with pytest.raises(RuntimeError, match=r"^stream did not contain valid UTF-8$"):
        skeinlab.read_pdb(write(tmp_path, atom(1, "CA", 1, 2, 3).encode()[:-2] + b"\xff\n"))
    np.testing.assert_array_equal(
        skeinlab.read_pdb(write(tmp_path, b"REMARK Fran\xe7ois\n" + atom(1, "CA", 1, 2, 3).encode())), [[[1, 2, 3]]])


def test_alpha_carbon_trace_types_and_sizes_as_open_chain(tmp_path):
    chain = with_tails(torus_knot(2, 3, 120), 40, 30.0)
    lines = []
    for model in (1, 2):
        lines.append(f"MODEL     {model:4d}\n")
        for i, (x, y, z) in enumerate(chain * 1.5 + model):
            lines.append(atom(2 * i + 1, "N", x + 0.5, y, z))
            lines.append(atom(2 * i + 2, "CA", x, y, z))
        lines.append("ENDMDL\n")
    trace = skeinlab.read_pdb(write(tmp_path, "".join(lines)), "ca")
    assert trace.shape == (2, len(chain), 3)
    assert skeinlab.knot_type(trace, "open") == ["3_1", "3_1"]
    names, cores = skeinlab.knot_size(trace, "open")
    assert names == ["3_1", "3_1"]
    for start, end, length in cores:
        assert 35 <= start < end <= 165 and length == end - start + 1 < len(chain) // 2 + 20
