"""The skeinlab command against the API, on the shipped examples and generated files."""
import csv
import io
import json
import pathlib
import subprocess
import sys

import pytest

import skeinlab
from skeinlab import cli

EXAMPLES = pathlib.Path(__file__).resolve().parents[2] / "examples"
RINGS = str(EXAMPLES / "rings.xyz")
OPEN = str(EXAMPLES / "open_chains.xyz")
PDB = str(EXAMPLES / "knotted_backbone.pdb")


def run(*args):
    """Exit status, stdout and stderr of the command run in this process."""
    out, err = io.StringIO(), io.StringIO()
    old = sys.stdout, sys.stderr
    sys.stdout, sys.stderr = out, err
    try:
        status = cli.main(list(args))
    except SystemExit as exit_:
        status = exit_.code
    finally:
        sys.stdout, sys.stderr = old
    # Chain-break warnings (the synthetic example has gaps) are checked on their own.
    errors = "".join(line for line in err.getvalue().splitlines(keepends=True)
                     if not line.startswith("skeinlab: warning:"))
    return status, out.getvalue(), errors


def rows(fmt, text):
    if fmt == "csv":
        return list(csv.DictReader(io.StringIO(text)))
    if fmt == "json":
        return json.loads(text)
    return [json.loads(line) for line in text.splitlines()]


def expected_rows(command, path, chain_type):
    structure = path.endswith(".pdb")
    frames = skeinlab.read_pdb(path, "ca") if structure else skeinlab.read_xyz(path)
    chain = "A" if structure else ""  # the example PDB holds chain A (1 to 140)
    if command in ("type", "identify"):
        name_frames = skeinlab.knot_type if command == "type" else skeinlab.knot_identify
        return [{"file": path, "chain": chain, "frame": i, "knot": k}
                for i, k in enumerate(name_frames(frames, chain_type))]
    names, cores = skeinlab.knot_size(frames, chain_type)
    return [{"file": path, "chain": chain, "frame": i, "knot": k, "start": c[0], "end": c[1], "length": c[2],
             "first_residue": str(c[0] + 1) if structure and c[0] >= 0 else "",
             "last_residue": str(c[1] + 1) if structure and c[0] >= 0 else ""}
            for i, (k, c) in enumerate(zip(names, cores))]


@pytest.mark.parametrize("fmt", ["csv", "json", "jsonl"])
@pytest.mark.parametrize("command", ["type", "identify", "size"])
@pytest.mark.parametrize("path, flags, chain_type", [
    (RINGS, [], "ring"), (OPEN, ["--open"], "open"), (PDB, [], "open"), (PDB, ["--ring"], "ring"),
])
def test_rows_equal_the_api(command, fmt, path, flags, chain_type):
    status, out, err = run(command, path, *flags, "--chunk", "7", "-f", fmt)
    assert status == 0 and err == ""
    got = rows(fmt, out)
    want = expected_rows(command, path, chain_type)
    if fmt == "csv":  # CSV cells are text
        want = [{k: str(v) for k, v in row.items()} for row in want]
    assert got == want


def test_several_files_and_output_file(tmp_path):
    target = tmp_path / "out.csv"
    status, out, _ = run("type", RINGS, PDB, "-f", "csv", "-o", str(target))
    assert status == 0 and out == ""
    got = list(csv.DictReader(target.open()))
    assert len(got) == 120 + 2 and got[120]["file"] == PDB and got[121]["frame"] == "1"


def test_table_is_aligned_and_pandas_reads_csv_and_json():
    status, out, _ = run("size", PDB)
    lines = out.splitlines()
    assert status == 0 and lines[0].split() == cli.COLUMNS["size"]
    assert lines[1].split()[1:] == ["A", "0", "3_1", "37", "103", "67", "38", "104"]
    pd = pytest.importorskip("pandas")
    for fmt, read in (("csv", pd.read_csv), ("json", pd.read_json)):
        _, text, _ = run("size", PDB, "-f", fmt)
        frame = read(io.StringIO(text))
        assert list(frame.columns) == cli.COLUMNS["size"] and len(frame) == 2


def test_spectrum_and_fingerprint():
    status, out, _ = run("spectrum", PDB, "--samples", "40", "--seed", "3", "-f", "json")
    got = json.loads(out)
    api = skeinlab.knot_spectrum(skeinlab.read_pdb(PDB, "ca"), "open", samples=40, seed=3)
    assert status == 0 and [r["spectrum"] for r in got] == api
    assert [(r["knot"], r["fraction"]) for r in got] == [next(iter(s.items())) for s in api]

    status, out, _ = run("fingerprint", PDB, "--step", "35", "--samples", "4", "-f", "jsonl")
    got = rows("jsonl", out)
    trace = skeinlab.read_pdb(PDB, "ca")
    want = [(f, *row) for f in range(2) for row in skeinlab.knot_fingerprint(trace[f], step=35, samples=4).tolist()]
    assert status == 0 and [(r["frame"], r["start"], r["end"], r["knot"], r["fraction"]) for r in got] == want


def test_padded_frames_are_typed_without_their_padding(tmp_path):
    # Frames of different lengths in one chunk: each is typed as read, not padded.
    trefoil = skeinlab.read_xyz(RINGS)[0]
    path = tmp_path / "mixed.xyz"
    skeinlab.write_xyz(str(path), trefoil[None])
    skeinlab.write_xyz(str(path), trefoil[None, :60], append=True)
    _, out, _ = run("type", str(path), "-f", "jsonl")
    assert [r["knot"] for r in rows("jsonl", out)] == [
        skeinlab.knot_type(trefoil)[0], skeinlab.knot_type(trefoil[:60])[0]]


@pytest.mark.parametrize("text, frame, line", [
    ("2\nc\nC 0 0 0\nC 1 0 0\n2\nc\nC 0 0 0\nC 1 q 0\n", 1, 8),
    ("2\nc\nC 0 0 0\n", 0, 3),
])
def test_bad_file_is_one_line_with_file_frame_and_line(tmp_path, text, frame, line):
    path = tmp_path / "bad.xyz"
    path.write_text(text)
    status, out, err = run("type", str(path), "-f", "jsonl")
    assert status == 1
    assert err.count("\n") == 1 and err.startswith("skeinlab: error: ")
    assert f"(frame {frame}, line {line} of {path})" in err
    assert len(rows("jsonl", out)) == frame  # the frames before it are written


@pytest.mark.parametrize("fmt", ["table", "csv", "json", "jsonl"])
def test_no_header_when_the_first_frame_fails(tmp_path, fmt):
    path = tmp_path / "bad.xyz"
    path.write_text("2\nc\nC 0 0 0\n")
    assert run("type", str(path), "-f", fmt)[:2] == (1, "")
    # A later failure keeps the header and the rows before it.
    path.write_text("3\nc\nC 0 0 0\nC 1 0 0\nC 0 1 0\n2\nc\nC 0 0 0\n")
    status, out, _ = run("type", str(path), "-f", fmt)
    lines = out.splitlines()
    assert status == 1
    if fmt == "table":
        assert lines[0].split() == ["file", "chain", "frame", "knot"] and len(lines) == 2
    else:
        assert len(rows(fmt, out)) == 1


def test_an_empty_file_is_an_error(tmp_path):
    path = tmp_path / "empty.xyz"
    path.write_text("")
    status, out, err = run("type", str(path))
    assert (status, out) == (1, "") and err == f"skeinlab: error: {path}: no frames (an empty file)\n"


def test_a_pipe_closed_early_ends_quietly(tmp_path):
    path = tmp_path / "many.xyz"
    path.write_text("".join("3\nc\nC 0 0 0\nC 1 0 0\nC 0 1 0\n" for _ in range(20000)))
    command = subprocess.Popen([sys.executable, "-m", "skeinlab", "type", str(path), "-q", "--chunk", "10"],
                               stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    assert command.stdout is not None and command.stderr is not None
    command.stdout.readline()
    command.stdout.close()
    err = command.stderr.read()
    # Ended by SIGPIPE, as `head` ends other Unix tools, without a traceback.
    assert command.wait(timeout=60) == -13 and err == b""


def test_missing_file_and_usage_errors():
    status, _, err = run("type", "/no/such.xyz")
    assert status == 1 and err == "skeinlab: error: Cannot open file: /no/such.xyz\n"
    for args in ([], ["type"], ["knot", RINGS], ["type", RINGS, "--threads", "0"], ["type", RINGS, "-f", "xml"],
                 ["fingerprint", PDB, "--open"]):
        assert run(*args)[0] == 2


@pytest.mark.parametrize("command", ["type", "identify", "size", "spectrum", "fingerprint"])
def test_help_has_examples(command):
    status, out, _ = run(command, "--help")
    assert status == 0 and "examples:" in out and f"skeinlab {command}" in out


def test_spectrum_and_fingerprint_identify():
    status, out, err = run("spectrum", "--identify", PDB, "-f", "json", "--samples", "20")
    assert status == 0 and err == ""
    rows_ = json.loads(out)
    assert rows_[0]["knot"] == "-3_1"
    assert rows_[0]["spectrum"] == skeinlab.knot_spectrum(skeinlab.read_pdb(PDB, "ca")[:1], "open", samples=20,
                                                          invariant="homfly")[0]
    status, out, _ = run("fingerprint", "--identify", "--step", "30", "--samples", "5", PDB, "-f", "csv")
    assert status == 0 and "-3_1" in out


def test_module_and_console_script_entry_points():
    done = subprocess.run([sys.executable, "-m", "skeinlab", "type", PDB, "-f", "csv", "-q"],
                          capture_output=True, text=True, check=True)
    assert done.stdout.splitlines()[1].endswith(",A,0,3_1")
    assert subprocess.run([sys.executable, "-m", "skeinlab", "--version"], capture_output=True,
                          text=True).stdout.startswith("skeinlab ")


@pytest.mark.parametrize("fmt", ["table", "csv", "json", "jsonl"])
@pytest.mark.parametrize("command, extra, count", [
    ("spectrum", ["--samples", "8"], 2), ("fingerprint", ["--step", "50", "--samples", "2"], 12),
])
def test_spectrum_and_fingerprint_in_every_format(command, extra, count, fmt):
    status, out, err = run(command, PDB, *extra, "-f", fmt)
    assert status == 0 and err == ""
    if fmt == "table":
        lines = out.splitlines()
        assert lines[0].split() == cli.COLUMNS[command] and len(lines) == 1 + count
    else:
        got = rows(fmt, out)
        assert len(got) == count and list(got[0]) == cli.COLUMNS[command]
