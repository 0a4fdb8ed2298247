"""The Python module: the same table, points and pictures as the window and ternova-plot."""
import json
import os
import pathlib
import subprocess
import sys
import threading

import numpy as np
import pytest

import ternova

SOURCE = pathlib.Path(os.environ.get("TERNOVA_SOURCE_DIR", pathlib.Path(__file__).parents[2]))
PLOT = os.environ.get("TERNOVA_PLOT")
# Where this ternova was imported from, for the processes the tests start elsewhere.
PACKAGE_PATH = str(pathlib.Path(ternova.__file__).resolve().parents[1])
MINERALS = SOURCE / "examples" / "minerals.txt"
CORPUS = SOURCE / "tests" / "fuzz" / "corpus" / "data_file"


def plot_points(path):
    """ternova-plot --points: (exit status, (n, 4, 2) points, standard error)."""
    run = subprocess.run([PLOT, "--points", str(path)], capture_output=True)
    rows = [list(map(int, line.split())) for line in run.stdout.decode().splitlines()]
    points = np.array([[x, y] for _, _, x, y in rows], dtype=np.int32).reshape(-1, 4, 2)
    return run.returncode, points, run.stderr.decode()


# --- loading ---------------------------------------------------------------------------------

def test_load_gives_views_of_the_table_without_copies():
    t = ternova.load(MINERALS)
    assert len(t) == 11
    assert t.values.shape == (11, 4) and t.values.dtype == np.float64
    assert t.points.shape == (11, 4, 2) and t.points.dtype == np.int32
    # Views onto the engine's own rows, which stay alive with the view.
    assert not t.values.flags.owndata and not t.points.flags.owndata
    values = t.values
    del t
    assert values[0, 0] == pytest.approx(42.71)
    with pytest.raises(ValueError):
        values[0, 0] = 1  # the points follow from the amounts: read-only


def test_notes_read_as_str_and_index_like_a_list():
    t = ternova.load(text="1\t2\t3\t4\tfirst\n5\t6\t7\t8\n1\t1\t1\t1\tn\u00f6te \u65e5\u672c\tsixth\n")
    assert len(t.notes) == 3
    assert list(t.notes) == ["first", "", "n\u00f6te \u65e5\u672c"]
    assert t.notes[-1] == t.notes[2] and t.notes[::2] == ["first", "n\u00f6te \u65e5\u672c"]
    with pytest.raises(IndexError):
        t.notes[3]


def test_text_and_decimal_separator():
    t = ternova.load(text=b"1,5\t2\t3\t4\r\n", decimal_separator=",")
    assert t.values.tolist() == [[1.5, 2.0, 3.0, 4.0]]
    with pytest.raises(ternova.LoadError):
        ternova.load(text="1,5\t2\t3\t4\n", decimal_separator=".")
    for bad in ("", "..", "5", "e", " "):
        with pytest.raises(ValueError, match="decimal_separator"):
            ternova.load(text="1\t2\t3\t4", decimal_separator=bad)
    with pytest.raises(TypeError):
        ternova.load()
    with pytest.raises(TypeError):
        ternova.load(MINERALS, text="1\t2\t3\t4")


@pytest.mark.parametrize("text, message, row, cell", [
    ("1\t2\t3\t4\n1\t2\tabc\t4\n", "'abc' は浮動小数点数ではありません.", 2, 3),
    ("1\t2\t3\n", "'' は浮動小数点数ではありません.", 1, 4),
    ("SiO2\tAl2O3+CaO\tMgO\tFeO\n", "'SiO2' は浮動小数点数ではありません.", 1, 1),
    ("1\t1e500\t3\t4\n", "浮動小数点数のオーバーフロー.", 1, 2),
    ("1\t0\t0\t0\n", "不正な浮動小数点数演算命令.", 1, None),  # the projection's, not one cell's
    ("1\t-1\t0\t5\n", "0 による浮動小数点数除算.", 1, None),
])
def test_a_failing_line_raises_the_windows_message_with_row_and_cell(text, message, row, cell):
    with pytest.raises(ternova.LoadError) as caught:
        ternova.load(text=text)
    assert isinstance(caught.value, ValueError)
    assert str(caught.value) == message
    assert (caught.value.row, caught.value.cell) == (row, cell)


def test_the_message_follows_the_users_language_as_ternova_plot_does(tmp_path):
    bad = tmp_path / "bad.txt"
    bad.write_text("1\t2\t3\t4\n1\tabc\t3\t4\n")
    code = ("import ternova\ntry:\n    ternova.load(%r)\nexcept ternova.LoadError as e:\n    print(e.row, e)\n" % str(bad))
    for lang, expected in (("de_DE.UTF-8", "2 'abc' is not a valid floating-point value."),
                           ("ja_JP.UTF-8", "2 'abc' は浮動小数点数ではありません."), ("C", "2 'abc' は浮動小数点数ではありません.")):
        env = dict(os.environ, LANGUAGE="", LC_ALL="", LC_MESSAGES="", LANG=lang)
        out = subprocess.run([sys.executable, "-c", code], env=env, capture_output=True, text=True, check=True).stdout
        assert out.strip() == expected
        if PLOT:
            err = subprocess.run([PLOT, "--points", str(bad)], env=env, capture_output=True, text=True).stderr
            assert err.strip().endswith(expected.split(" ", 1)[1])


# --- bad input: a clear exception, never a crash or a hang -------------------------------------

def test_files_that_cannot_be_read(tmp_path):
    with pytest.raises(ternova.LoadError, match="nothing-here.txt") as caught:
        ternova.load(tmp_path / "nothing-here.txt")
    assert (caught.value.row, caught.value.cell) == (None, None)
    fifo = tmp_path / "fifo"
    os.mkfifo(fifo)
    with pytest.raises(ternova.LoadError, match="fifo"):  # at once, without waiting for a writer
        ternova.load(fifo)
    with pytest.raises(ternova.LoadError):
        ternova.load(tmp_path)


def test_a_gigabyte_string_fails_clearly():
    text = "x" * (1 << 30)
    with pytest.raises(ternova.LoadError) as caught:
        ternova.load(text=text)
    message = str(caught.value)
    assert caught.value.row == 1 and len(message) < 1000 and message.startswith("'xxx")
    with pytest.raises(TypeError):
        ternova.load(text=12)


@pytest.mark.parametrize("data, error, match", [
    (np.array([["a", "b", "c", "d"]]), TypeError, "not numbers"),
    (np.array([[1, 2, 3, 4]], dtype=object), TypeError, "not numbers"),
    (np.zeros((5, 3)), ValueError, r"\(n, 4\).*\(5, 3\)"),
    (np.zeros(4), ValueError, r"\(n, 4\)"),
    (np.array([[1, 2, 3, 4], [1, np.nan, 3, 4]]), ValueError, r"row 2 \(index 1\).*nan.*Al2O3\+CaO"),
    (np.array([[1, 2, np.inf, 4]]), ValueError, "infinite.*MgO"),
    (np.array([[1, 2, 3, -np.inf]]), ValueError, "infinite.*FeO"),
])
def test_bad_arrays(data, error, match):
    with pytest.raises(error, match=match):
        ternova.project(data)
    with pytest.raises(error, match=match):
        ternova.Diagram(data)


def test_projection_faults_in_an_array_name_the_row():
    with pytest.raises(ternova.LoadError, match="不正な浮動小数点数演算命令") as caught:
        ternova.project(np.array([[1.0, 2, 3, 4]] * 70000 + [[1, 0, 0, 0]]))
    assert caught.value.row == 70001


def rows_with(faults, rows=1):
    """`rows` ordinary samples with the given {row number: amounts} in their places."""
    amounts = np.tile([45.0, 15.0, 25.0, 15.0], (max(rows, *faults), 1))
    for row, values in faults.items():
        amounts[row - 1] = values
    return amounts


@pytest.mark.parametrize("amounts", [
    rows_with({2: [1, 0, 0, 0]}),  # 0 / 0 on the central face
    rows_with({1: [1, -1, 0, 5]}),  # a face sums to 0 under a non-zero numerator
    rows_with({1: [0, 0, 0, 0]}),
    rows_with({1: [1.7976931348623157e308, 1.7976931348623157e308, 0, 1]}),  # the sum overflows
    rows_with({1: [1, -1, 1e-300, 0]}),  # the quotient is beyond any integer
    rows_with({10: [1, 0, 0, 0], 69000: [1, -1, 0, 5]}, 70000),  # both halves fail: the first is said
    rows_with({40000: [1, -1, 0, 5], 69000: [1, 0, 0, 0]}, 70000),
], ids=["zero-over-zero", "sum-zero", "all-zero", "overflow", "beyond-integers", "both-halves", "late-half"])
def test_projection_faults_are_those_of_the_load(amounts):
    text = "".join("%r\t%r\t%r\t%r\n" % tuple(row) for row in amounts.tolist())
    with pytest.raises(ternova.LoadError) as loaded:
        ternova.load(text=text)
    for work in (ternova.project, ternova.Diagram):
        with pytest.raises(ternova.LoadError) as caught:
            work(amounts)
        assert (str(caught.value), caught.value.row, caught.value.cell) == (str(loaded.value), loaded.value.row, None)


def test_amounts_that_are_not_numbers_are_said_before_any_projection_fault():
    amounts = rows_with({10: [1, 0, 0, 0], 69000: [1, np.nan, 3, 4]}, 70000)
    with pytest.raises(ValueError, match=r"row 69000 \(index 68999\) has nan for Al2O3\+CaO"):
        ternova.project(amounts)


# --- projection --------------------------------------------------------------------------------

def test_project_places_every_sample_as_the_load_does():
    rng = np.random.default_rng(25)
    amounts = rng.uniform(0, 100, (100000, 4))
    amounts[::7, 3] = 0  # on the central face's plane
    text = "".join("%r\t%r\t%r\t%r\n" % tuple(row) for row in amounts.tolist())
    loaded = ternova.load(text=text)
    assert np.array_equal(loaded.values, amounts)
    assert np.array_equal(ternova.project(amounts), loaded.points)
    assert ternova.project(np.zeros((0, 4))).shape == (0, 4, 2)
    assert np.array_equal(ternova.project([[1, 2, 3, 4]]), ternova.project(np.array([[1.0, 2.0, 3.0, 4.0]])))


def test_project_places_awkward_samples_as_the_load_does():
    # Small integers land on exact halves, cancelling and far-apart amounts leave the double
    # arithmetic's safe range: all of them as the load places them.
    rng = np.random.default_rng(3)
    kinds = [rng.integers(0, 5, (3000, 4)).astype(float), rng.integers(-4, 5, (3000, 4)) * 0.25,
             rng.choice([1e-300, -1e-300, 1e300, 3.0, -2.0, 0.0, 2.0**-60], (3000, 4))]
    candidates = np.concatenate(kinds)
    amounts = []
    for row in candidates:
        try:
            ternova.project(row[None, :])
        except ternova.LoadError:
            continue
        amounts.append(row)
    amounts = np.array(amounts)
    assert len(amounts) > 4000
    text = "".join("%r\t%r\t%r\t%r\n" % tuple(row) for row in amounts.tolist())
    assert np.array_equal(ternova.project(amounts), ternova.load(text=text).points)



def test_dataframes_by_column_name_in_any_case_or_by_position():
    pd = pytest.importorskip("pandas")
    amounts = np.array([[45.0, 10.0, 30.0, 15.0], [60.0, 20.0, 5.0, 15.0]])
    expected = ternova.project(amounts)
    named = pd.DataFrame({"feo": amounts[:, 3], "Note": ["a", "b"], "SIO2": amounts[:, 0],
                          "MgO": amounts[:, 2], "Al2O3+CaO": amounts[:, 1]})
    assert np.array_equal(ternova.project(named), expected)
    split = pd.DataFrame({"SiO2": amounts[:, 0], "Al2O3": amounts[:, 1] - 4, "CaO": [4, 4],
                          "MgO": amounts[:, 2], "FeO": amounts[:, 3]})
    assert np.array_equal(ternova.project(split), expected)
    unnamed = pd.DataFrame(amounts)
    assert np.array_equal(ternova.project(unnamed), expected)
    assert np.array_equal(ternova.Diagram(named).encode("x.svg"), ternova.Diagram(amounts).encode("x.svg"))
    with pytest.raises(ValueError, match="no column FeO"):
        ternova.project(named.drop(columns="feo"))
    with pytest.raises(ValueError, match=r"Al2O3\+CaO \(or Al2O3 and CaO\)"):
        ternova.project(split.drop(columns="CaO"))
    with pytest.raises(ValueError, match="at least four columns"):
        ternova.project(pd.DataFrame(amounts[:, :3]))
    with pytest.raises(TypeError, match="not numbers"):
        ternova.project(named.assign(MgO=["x", "y"]))
    with pytest.raises(ValueError, match="nan"):
        ternova.project(named.assign(MgO=[1.0, None]))


# --- the same points as ternova-plot -----------------------------------------------------------

def corpus_files():
    return sorted(p for p in CORPUS.iterdir() if p.is_file())


@pytest.mark.skipif(not PLOT, reason="ternova-plot not given")
@pytest.mark.parametrize("path", corpus_files(), ids=lambda p: p.name)
def test_points_and_failures_are_those_of_ternova_plot(path):
    status, points, err = plot_points(path)
    if status == 0:
        t = ternova.load(path)
        assert np.array_equal(t.points, points)
    else:
        assert status == 1
        with pytest.raises(ternova.LoadError) as caught:
            ternova.load(path)
        row = caught.value.row
        assert err.strip().endswith(("%d: %s" % (row, caught.value)) if row else str(caught.value))


@pytest.mark.skipif(not PLOT, reason="ternova-plot not given")
def test_hidden_columns_and_a_late_failure_against_ternova_plot(tmp_path):
    hidden = tmp_path / "hidden.txt"
    hidden.write_bytes(b"50\t26\t8\t10\tnote\tsixth\tseventh\n  1.5  \t2\t\t3\t4\tn\tx\ty\n1\t2\t3\t4\r\n")
    status, points, _ = plot_points(hidden)
    assert status == 0 and np.array_equal(ternova.load(hidden).points, points)
    failing = tmp_path / "failing.txt"
    failing.write_bytes(b"1\t2\t3\t4\n" * 5000 + b"1\t2\t3\n")
    status, _, err = plot_points(failing)
    with pytest.raises(ternova.LoadError) as caught:
        ternova.load(failing)
    assert status == 1 and err == "%s:5001: %s\n" % (failing, caught.value)


# --- the diagram -------------------------------------------------------------------------------

@pytest.mark.skipif(not PLOT, reason="ternova-plot not given")
@pytest.mark.parametrize("extension", ["svg", "pdf", "emf", "wmf"])
def test_save_writes_what_ternova_plot_writes(tmp_path, extension):
    ours, theirs = tmp_path / ("ours." + extension), tmp_path / ("theirs." + extension)
    ternova.Diagram(ternova.load(MINERALS), symbol="large", grid10=False, select=3).save(ours)
    subprocess.run([PLOT, str(MINERALS), "-o", str(theirs), "--symbol", "large", "--grid10", "off", "--select", "3"],
                   check=True)
    assert ours.read_bytes() == theirs.read_bytes()


def test_svg_and_the_notebook_view():
    d = ternova.Diagram(ternova.load(MINERALS))
    svg = d.svg()
    assert svg.startswith("<?xml") and "<svg" in svg
    inline = d._repr_svg_()
    assert inline.startswith("<svg") and svg.endswith(inline)
    assert svg.encode() == d.encode("x.svg")
    assert "11 samples" in repr(d)


def test_diagram_options():
    t = ternova.load(MINERALS)
    plain = ternova.Diagram(t).svg()
    assert ternova.Diagram(t, select=4).svg() != plain
    assert ternova.Diagram(t, select=40).svg() == plain  # no such row: nothing highlighted
    assert ternova.Diagram(t, select=2**40).svg() == plain
    assert ternova.Diagram(t, symbol="small").svg() != plain
    for bad, error in (({"symbol": "huge"}, ValueError), ({"select": 1.5}, TypeError), ({"select": True}, TypeError)):
        with pytest.raises(error):
            ternova.Diagram(t, **bad)
    with pytest.raises(ValueError, match="raster"):
        ternova.Diagram(t).save("x.png")


ROCKS_AND_MINERALS = MINERALS.parent / "minerals-and-rocks.txt"


@pytest.mark.skipif(not PLOT, reason="ternova-plot not given")
@pytest.mark.parametrize("options, arguments", [
    ({"colour_by": "note"}, ["--colour-by", "note"]),
    ({"colour_by": 7}, ["--colour-by", "7"]),
    ({"density": True}, ["--density"]),
    ({"density": 25, "select": 2}, ["--density", "25", "--select", "2"]),
])
def test_colour_by_and_density_draw_what_ternova_plot_draws(tmp_path, options, arguments):
    ours, theirs = tmp_path / "ours.emf", tmp_path / "theirs.emf"
    ternova.Diagram(ternova.load(ROCKS_AND_MINERALS), **options).save(ours)
    subprocess.run([PLOT, str(ROCKS_AND_MINERALS), "-o", str(theirs)] + arguments, check=True)
    assert ours.read_bytes() == theirs.read_bytes()


def test_colour_by_and_density_take_only_what_ternova_plot_takes():
    t = ternova.load(MINERALS)
    assert ternova.Diagram(t, colour_by=None, density=None).svg() == ternova.Diagram(t).svg()
    for bad in ({"colour_by": 4}, {"colour_by": "notes"}, {"colour_by": True}, {"density": 30}, {"density": "50"}):
        with pytest.raises(ValueError):
            ternova.Diagram(t, **bad)


def test_a_failed_save_says_why(tmp_path):
    with pytest.raises(OSError, match="no-such-folder"):
        ternova.Diagram(ternova.load(MINERALS)).save(tmp_path / "no-such-folder" / "x.svg")


# --- the process ----------------------------------------------------------------------------

def test_import_starts_no_gui_and_needs_no_display():
    code = ("import ternova, sys\nternova.Diagram(ternova.load(%r)).svg()\n"
            "maps = open('/proc/self/maps').read()\nprint('Qt6' in maps or 'libQt' in maps)\n" % str(MINERALS))
    env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM")}
    out = subprocess.run([sys.executable, "-c", code], env=env, capture_output=True, text=True, check=True)
    assert out.stdout.strip() == "False"


def test_long_work_lets_other_threads_run():
    amounts = np.random.default_rng(1).uniform(1, 100, (2000000, 4))
    ticks = []
    stop = threading.Event()

    def tick():
        while not stop.is_set():
            ticks.append(1)
            stop.wait(0.0005)

    other = threading.Thread(target=tick)
    other.start()
    try:
        before = len(ticks)
        for _ in range(5):
            ternova.project(amounts)
        during = len(ticks) - before
    finally:
        stop.set()
        other.join()
    assert during > 5


# --- the example notebook -------------------------------------------------------------------

def test_the_example_notebook_runs_and_shows_the_diagram(tmp_path):
    nbconvert = pytest.importorskip("nbconvert")
    del nbconvert
    notebook = SOURCE / "examples" / "ternova.ipynb"
    run = subprocess.run([sys.executable, "-m", "jupyter", "nbconvert", "--to", "notebook", "--execute",
                          "--ExecutePreprocessor.timeout=120", "--output-dir", str(tmp_path), str(notebook)],
                         cwd=notebook.parent, capture_output=True, text=True, env=dict(os.environ, PYTHONPATH=PACKAGE_PATH))
    assert run.returncode == 0, run.stderr[-3000:]
    executed = json.loads((tmp_path / "ternova.ipynb").read_text())
    svgs = [o["data"]["image/svg+xml"] for c in executed["cells"] if c["cell_type"] == "code"
            for o in c.get("outputs", []) if "image/svg+xml" in o.get("data", {})]
    assert svgs, "no diagram shown inline"
    svg = "".join(svgs[0])
    assert "<svg" in svg and "Al2O3+CaO" in svg
    errors = [o for c in executed["cells"] for o in c.get("outputs", []) if o.get("output_type") == "error"]
    assert not errors
    # The executed notebook also exports, as a user shares it.
    run = subprocess.run([sys.executable, "-m", "jupyter", "nbconvert", "--to", "html", "--output-dir", str(tmp_path),
                          str(tmp_path / "ternova.ipynb")], capture_output=True, text=True)
    assert run.returncode == 0, run.stderr[-3000:]
    assert "<svg" in (tmp_path / "ternova.html").read_text()


# --- installing -------------------------------------------------------------------------------

@pytest.mark.skipif(not os.environ.get("TERNOVA_BINARY_DIR"), reason="no build folder given")
def test_install_puts_the_module_where_the_systems_python_finds_it(tmp_path):
    cmake = os.environ.get("CMAKE_COMMAND", "cmake")
    for prefix in ("/usr/local", "/usr"):
        root = tmp_path / prefix.strip("/").replace("/", "-")
        subprocess.run([cmake, "--install", os.environ["TERNOVA_BINARY_DIR"], "--prefix", prefix, "--component", "python"],
                       env=dict(os.environ, DESTDIR=str(root)), check=True, capture_output=True)
        # The folder python3 itself lists for that prefix: Debian's own for /usr, the local one else.
        code = "import sys; print([p for p in sys.path if p.startswith(%r) and p.endswith('-packages')])" % prefix
        paths = eval(subprocess.run(["/usr/bin/python3", "-c", code], capture_output=True, text=True, check=True).stdout)
        found = [p for p in paths if (root / p.lstrip("/") / "ternova" / "__init__.py").exists()]
        assert found, "installed nowhere on %s" % paths
        env = dict(os.environ, PYTHONPATH=str(root / found[0].lstrip("/")))
        code = "import ternova; print(ternova.__file__, len(ternova.load(%r)))" % str(MINERALS)
        out = subprocess.run(["/usr/bin/python3", "-c", code], env=env, capture_output=True, text=True, check=True).stdout
        assert out.startswith(str(root)) and out.split()[-1] == "11"
