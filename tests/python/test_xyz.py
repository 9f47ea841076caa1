import os
import pathlib

import numpy as np
import pytest

import skeinlab

INPUT_KIND = r"^Expected input to be XYZ filename or NumPy array with shape \(N, 3\) / \(F, N, 3\)\.$"
LAST_DIM = r"^Expected array with shape \(N, 3\) or \(F, N, 3\)\.$"


def write(path, text, mode="w"):
    with open(path, mode) as f:
        f.write(text)
    return str(path)


def test_read_pads_ragged_frames(tmp_path):
    path = write(tmp_path / "t.xyz", "3\nA\nC 0 0 0\nC 1 1 1\nC 2 2 2\n\n\n5\n\n" + "C 1 2 3\n" * 5)
    frames = skeinlab.read_xyz(path)
    assert frames.shape == (2, 5, 3) and frames.dtype == np.float64
    assert np.isnan(frames[0, 3:]).all()
    assert frames[0, 3:].copy().view(np.uint64).tolist() == [[0x7FF8000000000000] * 3] * 2
    np.testing.assert_array_equal(frames[1], [[1, 2, 3]] * 5)


@pytest.mark.parametrize("text", ["", "\n \n\t\n"])
def test_empty_files_give_no_frames(tmp_path, text):
    assert skeinlab.read_xyz(write(tmp_path / "e.xyz", text)).shape == (0, 0, 3)


@pytest.mark.parametrize(
    "text, message",
    [
        ("0", "unexpected EOF after XYZ point count"),
        ("-3\n\n", "invalid point count: invalid digit found in string"),
        ("18446744073709551616\n\n", "invalid point count: number too large to fit in target type"),
        ("3\n\nC 1 2 3\nC 1 2 3", "unexpected EOF in XYZ data line 3"),
        ("2\n\nC 1 2 3\nC 1 2\n", "line 4: expected 'type x y z', got 'C 1 2'"),
        ("1\n\nC 1 y 3\n", "bad y at line 3: invalid float literal"),
        ("1\n\nC 1 2 nan(7)\n", "bad z at line 3: invalid float literal"),
    ],
)
def test_read_messages(tmp_path, text, message):
    with pytest.raises(RuntimeError) as info:
        skeinlab.read_xyz(write(tmp_path / "bad.xyz", text))
    assert str(info.value) == "failed to parse data: " + message


def test_read_file_errors(tmp_path):
    missing = str(tmp_path / "missing.xyz")
    with pytest.raises(FileNotFoundError) as info:
        skeinlab.read_xyz(missing)
    assert str(info.value) == "Cannot open file: " + missing
    with pytest.raises(RuntimeError) as info:
        skeinlab.read_xyz(str(tmp_path))
    assert str(info.value) == "I/O error: Is a directory (os error 21)"
    bad = tmp_path / "latin1.xyz"
    bad.write_bytes(b"1\ncaf\xe9\nC 1 2 3\n")
    with pytest.raises(RuntimeError) as info:
        skeinlab.read_xyz(str(bad))
    assert str(info.value) == "I/O error: stream did not contain valid UTF-8"


@pytest.mark.skipif(os.geteuid() == 0, reason="root reads unreadable files")
def test_read_permission_denied(tmp_path):
    path = write(tmp_path / "locked.xyz", "1\n\nC 1 2 3\n")
    os.chmod(path, 0)
    with pytest.raises(RuntimeError, match=r"^Permission denied \(os error 13\)$"):
        skeinlab.read_xyz(path)


def test_write_format_and_round_trip(tmp_path):
    path = str(tmp_path / "out.xyz")
    data = np.array([[1.5, -1.25, 1e6], [np.nan, np.inf, -np.inf], [-0.0, 0.123456, 2.0]])
    assert skeinlab.write_xyz(path, data) is None
    with open(path) as f:
        text = f.read()
    assert text == (
        "3\n\n"
        "1\t   1.50000\t  -1.25000\t1000000.00000\n"
        "1\t       NaN\t       inf\t      -inf\n"
        "1\t  -0.00000\t   0.12346\t   2.00000\n"
    )
    back = skeinlab.read_xyz(path)
    np.testing.assert_array_equal(back[0], np.round(data, 5))


def test_write_append_truncate_and_empty(tmp_path):
    path = str(tmp_path / "traj.xyz")
    frames = np.arange(2 * 4 * 3, dtype=float).reshape(2, 4, 3)
    skeinlab.write_xyz(path, frames)
    skeinlab.write_xyz(path, frames[:1], append=True)
    skeinlab.write_xyz(path, frames[:1], np.True_)
    assert skeinlab.read_xyz(path).shape == (4, 4, 3)
    skeinlab.write_xyz(filename=path, input_data=np.zeros((0, 4, 3)), append=True)
    assert skeinlab.read_xyz(path).shape == (4, 4, 3)
    skeinlab.write_xyz(path, np.zeros((0, 4, 3)))
    assert os.path.getsize(path) == 0
    skeinlab.write_xyz(path, np.zeros((1, 0, 3)))
    with open(path) as f:
        assert f.read() == "0\n\n"


def test_write_creates_with_umask_and_reports_os_errors(tmp_path):
    old = os.umask(0o027)
    try:
        path = tmp_path / "new.xyz"
        skeinlab.write_xyz(str(path), np.zeros((1, 3)))
        assert path.stat().st_mode & 0o777 == 0o640
    finally:
        os.umask(old)
    with pytest.raises(RuntimeError, match=r"^No such file or directory \(os error 2\)$"):
        skeinlab.write_xyz(str(tmp_path / "no" / "such.xyz"), np.zeros((1, 3)))


def test_write_checks_input_before_touching_the_file(tmp_path):
    path = tmp_path / "keep.xyz"
    path.write_text("precious")
    with pytest.raises(RuntimeError, match=INPUT_KIND):
        skeinlab.write_xyz(str(path), [[0.0, 0.0, 0.0]])
    with pytest.raises(TypeError, match="^argument 'append'"):
        skeinlab.write_xyz(str(path), np.zeros((1, 3)), append="yes")
    assert path.read_text() == "precious"


def test_write_from_an_xyz_path(tmp_path):
    src = write(tmp_path / "src.xyz", "2\n\nC 1 2 3\nC 4 5 6\n")
    dst = str(tmp_path / "dst.xyz")
    skeinlab.write_xyz(dst, src)
    np.testing.assert_array_equal(skeinlab.read_xyz(dst), skeinlab.read_xyz(src))


@pytest.mark.parametrize(
    "data",
    [
        np.zeros((4, 3), np.float32),
        np.zeros((4, 3), np.int64),
        [[0.0, 0.0, 0.0]],
        np.zeros((2, 2, 4, 3)),
        np.zeros(3),
        np.zeros((4, 3)).astype(">f8"),
        pathlib.Path("x.xyz"),
    ],
    ids=["float32", "int", "list", "4d", "1d", "byteswapped", "pathobj"],
)
def test_trajectory_input_kinds_refused(tmp_path, data):
    with pytest.raises(RuntimeError, match=INPUT_KIND):
        skeinlab.write_xyz(str(tmp_path / "x.xyz"), data)


@pytest.mark.parametrize("shape", [(5, 4), (2, 5, 2), (4, 3, 1)])
def test_trajectory_last_dimension_checked(tmp_path, shape):
    with pytest.raises(RuntimeError, match=LAST_DIM):
        skeinlab.write_xyz(str(tmp_path / "x.xyz"), np.zeros(shape))


def test_trajectory_views_are_read_through_strides(tmp_path):
    base = np.arange(60, dtype=float).reshape(5, 4, 3)
    for view in (base[::-1], base[:, ::2], np.asfortranarray(base), base.transpose(1, 0, 2)):
        path = str(tmp_path / "v.xyz")
        skeinlab.write_xyz(path, view)
        np.testing.assert_array_equal(skeinlab.read_xyz(path), view)
    path = str(tmp_path / "t.xyz")
    skeinlab.write_xyz(path, np.arange(12, dtype=float).reshape(3, 4).T)
    assert skeinlab.read_xyz(path).shape == (1, 4, 3)


def test_unaligned_views_are_read(tmp_path):
    packed = np.zeros(5, dtype=[("tag", "u1"), ("xyz", "<f8", (3,))])
    packed["xyz"] = np.arange(15, dtype=float).reshape(5, 3)
    view = packed["xyz"]
    assert not view.flags.aligned
    path = str(tmp_path / "u.xyz")
    skeinlab.write_xyz(path, view)
    np.testing.assert_array_equal(skeinlab.read_xyz(path)[0], view)
    np.testing.assert_array_equal(skeinlab.kmt(view, "open")[0], view[0])


def test_paths_with_nul_bytes_name_no_file(tmp_path):
    with pytest.raises(FileNotFoundError, match="^Cannot open file: "):
        skeinlab.read_xyz(str(tmp_path) + "\0x")
    with pytest.raises(RuntimeError, match="^file name contained an unexpected NUL byte$"):
        skeinlab.write_xyz(str(tmp_path / "a\0b"), np.zeros((1, 3)))
