"""Small inputs that once took gigabytes: each now ends with an error (or a small result)
while the process runs under a memory limit."""
import os
import re
import subprocess
import sys
import textwrap

import numpy as np
import pytest

import skeinlab

# The child imports the same skeinlab as this process, whatever its working directory.
PACKAGE_ROOT = os.path.dirname(os.path.dirname(os.path.abspath(skeinlab.__file__)))

LIMIT = 1 << 30  # bytes of address space for the child, far above what it needs


def run_limited(code, tmp_path, env=None):
    script = textwrap.dedent(f"""
        import resource
        resource.setrlimit(resource.RLIMIT_AS, ({LIMIT}, {LIMIT}))
        import skeinlab
        try:
    """) + textwrap.indent(textwrap.dedent(code), "    ") + textwrap.dedent("""
        except MemoryError:
            print("MemoryError")
        except RuntimeError as error:
            print("RuntimeError:", error)
    """)
    path = os.pathsep.join(p for p in (PACKAGE_ROOT, os.environ.get("PYTHONPATH")) if p)
    child_env = dict(os.environ, OPENBLAS_NUM_THREADS="1", PYTHONPATH=path, **(env or {}))
    done = subprocess.run([sys.executable, "-c", script], capture_output=True, text=True, timeout=60,
                          env=child_env, cwd=tmp_path)
    assert done.returncode == 0, done.stderr
    return done.stdout.strip()


def test_chained_model_jumps(tmp_path):
    # Each MODEL jumps just under the single-jump bound: together 60 million empty frames.
    lines = [f"MODEL {k * 999_999 + 1}\nATOM      1  CA  ALA A   1       1.000   2.000   3.000\nENDMDL"
             for k in range(60)]
    (tmp_path / "jumps.pdb").write_text("\n".join(lines) + "\n")
    out = run_limited("skeinlab.read_pdb('jumps.pdb')", tmp_path)
    # The fifth MODEL would go past 16 points per coordinate read plus 4,194,304.
    assert out.startswith("RuntimeError: PDB line 16 would pad 4999996 frames to 1 atoms"), out


def test_one_far_model_with_many_atoms(tmp_path):
    atoms = "\n".join(f"ATOM  {i:5d}  CA  ALA A   1       1.000   2.000   3.000" for i in range(1, 101))
    (tmp_path / "far.pdb").write_text(f"{atoms}\nMODEL 900000\n{atoms}\n")
    out = run_limited("skeinlab.read_pdb('far.pdb')", tmp_path)
    assert out.startswith("RuntimeError: PDB line 101 would pad 900000 frames to 100 atoms"), out


def test_a_few_models_still_read(tmp_path):
    atoms = "\n".join(f"ATOM  {i:5d}  CA  ALA A   1       1.000   2.000   3.000" for i in range(1, 4))
    (tmp_path / "ok.pdb").write_text(f"MODEL 1\n{atoms}\nENDMDL\nMODEL 5\n{atoms}\nENDMDL\n")
    out = run_limited("print(skeinlab.read_pdb('ok.pdb').shape)", tmp_path)
    assert out == "(5, 3, 3)"


def test_table_rows_with_huge_exponents(tmp_path):
    (tmp_path / "table.txt").write_text("".join(f"k{i} 1+t^1048576\n" for i in range(200)))
    out = run_limited("import numpy; skeinlab.knot_type(numpy.zeros((3, 3)))", tmp_path,
                      env={"LOOMCRAFT_ALEXANDER_TABLE": str(tmp_path / "table.txt")})
    assert out == ("RuntimeError: failed to parse polynomial: bad exponent: 1048576 exceeds the largest "
                   "supported exponent 1000"), out


def test_a_file_without_line_breaks(tmp_path):
    out = run_limited("skeinlab.knot_type('/dev/zero')", tmp_path)
    assert out == "RuntimeError: failed to parse data: line 1 is longer than 1048576 bytes", out


def confined_globule(beads):
    """A ring squeezed into a ball of a few bond lengths: each bead 0.9 times the last plus a unit step."""
    steps = np.random.default_rng(1).normal(size=(beads, 3))
    steps /= np.linalg.norm(steps, axis=1, keepdims=True)
    globule = np.zeros((beads, 3))
    for i in range(1, beads):
        globule[i] = 0.9 * globule[i - 1] + steps[i]
    return globule


@pytest.mark.parametrize("threads", [1, 2])
def test_a_determinant_beyond_the_memory_allowed_says_what_it_needs(tmp_path, threads):
    # A compact globule of 1,500 beads needs several MB; SKEINLAB_MAX_MEMORY allows 2 MB.
    np.save(tmp_path / "globule.npy", confined_globule(1500))
    out = run_limited(f"""
        import numpy as np
        globule = np.load("globule.npy")
        try:
            skeinlab.knot_type(globule, threads={threads})
        except MemoryError as error:
            print("MemoryError:", error)
        print(skeinlab.knot_type(globule[:60], threads={threads}))
    """, tmp_path, env={"SKEINLAB_MAX_MEMORY": "2M"})
    first, second = out.splitlines()
    assert re.fullmatch(r"MemoryError: the exact determinant of this diagram's matrix \((\d+) rows\) needs more "
                        r"memory than the 2\.1 MB available: its program and values had grown to 2\.\d MB at "
                        r"pivot \d+ of \1", first), first
    assert second.startswith("['")  # small chains are still typed


def test_the_command_line_names_the_frames_beyond_the_memory_allowed(tmp_path):
    path = tmp_path / "globule.xyz"
    skeinlab.write_xyz(str(path), confined_globule(1500)[None, :50])
    skeinlab.write_xyz(str(path), confined_globule(1500)[None], append=True)
    env = dict(os.environ, SKEINLAB_MAX_MEMORY="2M",
               PYTHONPATH=os.pathsep.join(p for p in (PACKAGE_ROOT, os.environ.get("PYTHONPATH")) if p))
    done = subprocess.run([sys.executable, "-m", "skeinlab", "type", "--chunk", "1", str(path)],
                          capture_output=True, text=True, timeout=60, env=env)
    assert done.returncode == 1
    assert len(done.stdout.splitlines()) == 2  # the header and the small frame's row, written before
    assert re.fullmatch(rf"skeinlab: error: {re.escape(str(path))}: frames 1 to 1: the exact determinant of this "
                        r"diagram's matrix \(\d+ rows\) needs more memory than the 2\.1 MB available: .*\n",
                        done.stderr), done.stderr
