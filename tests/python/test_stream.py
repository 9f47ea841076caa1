"""iter_xyz: the frames of read_xyz in chunks, with the same errors."""
import numpy as np
import pytest

import skeinlab

GOOD = (
    "\n3\nfirst\nC 0 0 0\nC 1 0 0\nC 1 1 0\n\n"  # blank lines before and between frames
    "2\n\nC 5 5 5\nC 6 6 6\n"
    "4\nlonger\nC 0 0 1\nC 1 0 1\nC 1 1 1\nC 0 1 1\n"
    "1\nshort\nC 9 9 9\n\n"
)


def chunks(path, chunk):
    return list(skeinlab.iter_xyz(str(path), chunk))


@pytest.mark.parametrize("chunk", [1, 2, 3, 4, 1000])
def test_chunks_hold_the_frames_of_read_xyz(tmp_path, chunk):
    path = tmp_path / "good.xyz"
    path.write_text(GOOD)
    whole = skeinlab.read_xyz(str(path))
    parts = chunks(path, chunk)
    assert [p.shape[0] for p in parts] == [min(chunk, 4 - i) for i in range(0, 4, chunk)]
    # Each chunk is padded to its own longest frame, with NaN as read_xyz pads.
    for i, part in enumerate(parts):
        expected = whole[i * chunk:(i + 1) * chunk]
        width = part.shape[1]
        np.testing.assert_array_equal(part, expected[:, :width])
        assert np.isnan(expected[:, width:]).all()
        assert part.dtype == np.float64 and part.flags.c_contiguous


def test_empty_file_yields_nothing(tmp_path):
    path = tmp_path / "empty.xyz"
    path.write_text("\n\n")
    assert chunks(path, 10) == [] and skeinlab.read_xyz(str(path)).shape == (0, 0, 3)


BAD_FRAMES = [
    ("2\nc\nC 0 0 0\nC 1 x 0\n", "bad y at line 4: invalid float literal", 0, 4),
    ("2\nc\nC 0 0 0\nC 1 1 0\n\n3\nc\nC 0 0 0\n", "unexpected EOF in XYZ data line 2", 1, 8),
    ("2\nc\nC 0 0 0\nC 1 1 0\nthree\n", "invalid point count: invalid digit found in string", 1, 5),
    ("1\nc\nC 0 0 0\n1\nc\nC 0 0\n", "line 3: expected 'type x y z', got 'C 0 0'", 1, 6),
    ("1\nc\nC 0 0 0\n1\n", "unexpected EOF after XYZ point count", 1, 4),
]


@pytest.mark.parametrize("text, message, frame, line", BAD_FRAMES)
def test_errors_are_those_of_read_xyz_with_frame_and_line(tmp_path, text, message, frame, line):
    path = tmp_path / "bad.xyz"
    path.write_text(text)
    with pytest.raises(RuntimeError) as whole:
        skeinlab.read_xyz(str(path))
    assert str(whole.value) == "failed to parse data: " + message
    stream = skeinlab.iter_xyz(str(path), 1)
    for _ in range(frame):  # the complete frames before the bad one come first
        assert next(stream).shape[0] == 1
    with pytest.raises(RuntimeError) as streamed:
        next(stream)
    assert str(streamed.value) == f"{whole.value} (frame {frame}, line {line} of {path})"
    with pytest.raises(StopIteration):
        next(stream)


def test_invalid_utf8_and_missing_files(tmp_path):
    path = tmp_path / "latin1.xyz"
    path.write_bytes(b"1\n\xe9\nC 0 0 0\n")
    with pytest.raises(RuntimeError, match=r"stream did not contain valid UTF-8 \(frame 0, line 2 of "):
        chunks(path, 5)
    with pytest.raises(FileNotFoundError, match="Cannot open file: /no/such.xyz"):
        skeinlab.iter_xyz("/no/such.xyz")
    with pytest.raises(ValueError, match="chunk must be >= 1"):
        skeinlab.iter_xyz(str(path), 0)


def test_unicode_lines_and_long_lines(tmp_path):
    # Non-ASCII white space separates fields; lines longer than the read buffer are whole.
    comment = "x" * 1_000_000
    path = tmp_path / "wide.xyz"
    path.write_text(f"2\n{comment}\nC\u00a01\u20032 3\nC 4 5 6 {'y' * 600_000}\n", encoding="utf-8")
    [part] = chunks(path, 3)
    np.testing.assert_array_equal(part, [[[1, 2, 3], [4, 5, 6]]])
    np.testing.assert_array_equal(part, skeinlab.read_xyz(str(path)))


def test_position_grows_to_the_file_size(tmp_path):
    path = tmp_path / "good.xyz"
    path.write_text(GOOD)
    stream = skeinlab.iter_xyz(str(path), 1)
    positions = [stream.tell() for _ in stream]
    assert positions == sorted(positions) and stream.tell() == path.stat().st_size


@pytest.mark.parametrize("reader", ["read_xyz", "iter_xyz"])
def test_lines_longer_than_one_mebibyte_are_refused_with_their_number(tmp_path, reader):
    path = tmp_path / "long.xyz"
    path.write_text("1\nc\nC 0 0 0\n1\n" + "x" * (1 << 20) + "\nC 0 0 0\n")
    with pytest.raises(RuntimeError, match="failed to parse data: line 5 is longer than 1048576 bytes"):
        if reader == "read_xyz":
            skeinlab.read_xyz(str(path))
        else:
            list(skeinlab.iter_xyz(str(path)))


def test_a_file_without_line_breaks_is_refused_at_once():
    with pytest.raises(RuntimeError, match="line 1 is longer than 1048576 bytes"):
        skeinlab.read_xyz("/dev/zero")
