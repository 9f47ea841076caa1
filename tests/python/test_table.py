import os

import numpy as np
import pytest

import skeinlab
from conftest import torus_knot

TREFOIL = torus_knot(2, 3)


def default_file(home):
    path = home / ".local" / "share" / "ropelore" / "table_knot_skeinlab.txt"
    path.parent.mkdir(parents=True, exist_ok=True)
    return path


def test_builtin_table_without_files():
    assert skeinlab.knot_type(TREFOIL) == ["3_1"]


def test_default_file_renames_and_is_read_every_call(isolated_table_env):
    path = default_file(isolated_table_env)
    path.write_text("trefoil 1-t+t^2\n")
    assert skeinlab.knot_type(TREFOIL) == ["trefoil"]
    assert skeinlab.knot_size(TREFOIL)[0] == ["trefoil"]
    path.write_text("")
    assert skeinlab.knot_type(TREFOIL) == ["3_1"]
    path.write_text("10_1 1-t+t^2\n3_1\t-1+t-t^2\n")
    assert skeinlab.knot_type(TREFOIL) == ["3_1"]


def test_variable_wins_over_default_file(isolated_table_env, monkeypatch, tmp_path):
    default_file(isolated_table_env).write_text("trefoil 1-t+t^2\n")
    own = tmp_path / "own.txt"
    own.write_text("\n  tref\t1-t+t^2  \r\n")
    monkeypatch.setenv("LOOMCRAFT_ALEXANDER_TABLE", str(own))
    assert skeinlab.knot_type(TREFOIL) == ["tref"]


@pytest.mark.parametrize("value", ["missing-table.txt", ""])
def test_variable_naming_a_missing_file(isolated_table_env, monkeypatch, value):
    default_file(isolated_table_env).write_text("trefoil 1-t+t^2\n")
    monkeypatch.setenv("LOOMCRAFT_ALEXANDER_TABLE", value)
    with pytest.raises(FileNotFoundError) as info:
        skeinlab.knot_type(TREFOIL)
    assert str(info.value) == "Alexander table file not found: " + value


@pytest.mark.parametrize(
    "text, message",
    [
        ("3_1\n", "failed to parse data: line 1: expected 'knot_name polynomial', got '3_1'"),
        ("\n\nok 1\n# knots\n", "failed to parse polynomial: bad coefficient 'kno': invalid digit found in string"),
        ("big 1+t^99999999999\n", None),
    ],
)
def test_malformed_default_file(isolated_table_env, text, message):
    default_file(isolated_table_env).write_text(text)
    for fn in (skeinlab.knot_type, skeinlab.knot_size):
        with pytest.raises(RuntimeError) as info:
            fn(TREFOIL)
        if message:
            assert str(info.value) == message
        else:
            assert str(info.value).startswith("failed to parse polynomial: bad exponent: 99999999999")


def test_unreadable_table_files(isolated_table_env, monkeypatch, tmp_path):
    monkeypatch.setenv("LOOMCRAFT_ALEXANDER_TABLE", str(tmp_path))
    with pytest.raises(RuntimeError, match=r"^I/O error: Is a directory \(os error 21\)$"):
        skeinlab.knot_type(TREFOIL)
    bad = tmp_path / "bad.txt"
    bad.write_bytes(b"tr\xe8fle 1-t+t^2\n")
    monkeypatch.setenv("LOOMCRAFT_ALEXANDER_TABLE", str(bad))
    with pytest.raises(RuntimeError, match=r"^I/O error: stream did not contain valid UTF-8$"):
        skeinlab.knot_type(TREFOIL)


def test_table_errors_come_after_input_errors(isolated_table_env):
    default_file(isolated_table_env).write_text("broken\n")
    with pytest.raises(RuntimeError, match="^Expected input"):
        skeinlab.knot_type([1, 2, 3])


def test_home_unset_uses_builtin(monkeypatch):
    monkeypatch.delenv("HOME")
    assert skeinlab.knot_type(TREFOIL) == ["3_1"]


def composite_ring():
    """A connected sum of a trefoil and a 5_1: its polynomial is in no table row."""
    left = torus_knot(2, 3, 150) + [-4.5, 0, 0]
    right = torus_knot(2, 5, 200) + [4.5, 0, 0]
    cut_left, cut_right = np.argmax(left[:, 0]), np.argmin(right[:, 0])
    return np.vstack([np.roll(left, -cut_left - 1, axis=0), np.roll(right, -cut_right - 1, axis=0)])


def test_missing_polynomial_is_reported_as_text(isolated_table_env):
    text = "1-2*t+3*t^2-3*t^3+3*t^4-2*t^5+t^6"
    assert skeinlab.knot_type(composite_ring()) == [text]
    assert skeinlab.knot_size(composite_ring()) == ([text], [[-1, -1, 0]])
    default_file(isolated_table_env).write_text("3_1#5_1 " + text + "\n")
    assert skeinlab.knot_type(composite_ring()) == ["3_1#5_1"]
