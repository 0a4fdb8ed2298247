"""Ternova's engine in Python: load compositions, project them onto the unfolded tetrahedron
net and draw the same diagram as the Ternova window and ternova-plot.

    t = ternova.load("samples.txt")        # or load(text=...), decimal_separator=","
    t.values                               # (n, 4) float64 view: SiO2, Al2O3+CaO, MgO, FeO
    t.points                               # (n, 4, 2) int32 view: the points on the four faces
    ternova.project(array_or_dataframe)    # (n, 4) amounts -> (n, 4, 2) points
    d = ternova.Diagram(t, symbol="small", select=3)
    d.save("fig.pdf")                      # .svg .pdf .emf .wmf by the name's extension
    d.svg()                                # the SVG as str; Jupyter shows a Diagram inline

Rows are numbered from 1 as in the window's table (row r is values[r - 1]). Failures to load or
project raise LoadError (a ValueError) with the window's message, in the user's language.
"""
import os

from . import _engine
from ._engine import LoadError, Table

__all__ = ["Diagram", "LoadError", "Table", "load", "project"]
__version__ = "@PROJECT_VERSION@"

LoadError.__module__ = __name__
Table.__module__ = __name__

_SYMBOL_SIZES = {"large": 10, "medium": 6, "small": 3}
# A notebook keeps every output it shows; past this an inline picture slows it to a crawl.
_INLINE_SVG_LIMIT = 32 << 20


def load(path=None, *, text=None, decimal_separator=None):
    """Loads a tab-separated data file (or `text`, a str or bytes) as the window's File > Open does.

    decimal_separator: one character; by default the locale's, as the window and ternova-plot
    read it. Raises LoadError at the first line that fails, naming it (.row, .cell).
    """
    if (path is None) == (text is None):
        raise TypeError("load() takes either a path or text=")
    if text is not None:
        return _engine.load_text(text, decimal_separator)
    return _engine.load_file(os.fsencode(path), decimal_separator)


def _column(columns, name):
    for c in columns:
        if isinstance(c, str) and c.strip().casefold() == name.casefold():
            return c
    return None


def _dataframe_amounts(frame):
    """The four amounts of a DataFrame, by column name or, without any of the names, by position."""
    import numpy as np

    columns = list(frame.columns)
    found = {name: _column(columns, name) for name in ("SiO2", "Al2O3+CaO", "Al2O3", "CaO", "MgO", "FeO")}
    named = [n for n, c in found.items() if c is not None]
    if not named:
        if len(columns) < 4:
            raise ValueError("a DataFrame needs the columns SiO2, Al2O3+CaO (or Al2O3 and CaO), MgO and FeO, "
                             "or at least four columns taken in that order; it has %d" % len(columns))
        picked = [frame.iloc[:, k] for k in range(4)]
    else:
        if found["Al2O3+CaO"] is not None:
            alca = [found["Al2O3+CaO"]]
        elif found["Al2O3"] is not None and found["CaO"] is not None:
            alca = [found["Al2O3"], found["CaO"]]
        else:
            alca = None
        missing = [n for n in ("SiO2", "MgO", "FeO") if found[n] is None]
        if alca is None:
            missing.insert(1, "Al2O3+CaO (or Al2O3 and CaO)")
        if missing:
            raise ValueError("the DataFrame has no column %s (names are matched in any case; it has %s)"
                             % (", ".join(missing), ", ".join(map(str, columns))))
        picked = [frame[found["SiO2"]], [frame[c] for c in alca], frame[found["MgO"]], frame[found["FeO"]]]
    out = np.empty((len(frame), 4), dtype=np.float64)
    for k, column in enumerate(picked):
        parts = column if isinstance(column, list) else [column]
        total = None
        for part in parts:
            values = _numbers(part.to_numpy(), "column %s" % part.name)
            total = values if total is None else total + values
        out[:, k] = total
    return out


def _numbers(array, what):
    import numpy as np

    if array.dtype.kind not in "iuf":
        raise TypeError("%s holds %s, not numbers" % (what, array.dtype))
    return np.asarray(array, dtype=np.float64)


def _amounts(data):
    """An (n, 4) float64 array of the amounts in an array, a sequence or a DataFrame."""
    import numpy as np

    if hasattr(data, "columns") and hasattr(data, "iloc"):
        return _dataframe_amounts(data)
    array = np.asarray(data)
    if array.ndim != 2 or array.shape[1] != 4:
        raise ValueError("amounts must be an (n, 4) array of SiO2, Al2O3+CaO, MgO and FeO; got shape %s"
                         % (array.shape,))
    return _numbers(array, "the array")


def project(data):
    """Projects (n, 4) amounts (SiO2, Al2O3+CaO, MgO, FeO; an array or a DataFrame) onto the four
    faces: an (n, 4, 2) int32 array of points in drawing units, exactly as the window places them.
    """
    return _engine.project(_amounts(data))


def _table(data):
    if isinstance(data, Table):
        return data
    return _engine.from_values(_amounts(data))


def _colour_by(value):
    # As ternova-plot --colour-by: "note" or a field number of 5 or more.
    if value is None:
        return 0
    if value == "note":
        return 5
    if isinstance(value, bool) or not isinstance(value, int) or not 5 <= value < 2**31:
        raise ValueError("colour_by must be 'note', a field number of 5 or more, or None, not %r" % (value,))
    return value


def _density(value):
    # As ternova-plot --density: cells per face edge, True for the default 50.
    if value is None or value is False:
        return 0
    if value is True:
        return 50
    if value not in (25, 50, 100):
        raise ValueError("density must be 25, 50, 100, True or None, not %r" % (value,))
    return value


class Diagram:
    """The diagram of a table (or of amounts, as project() takes them) in one view.

    symbol: "large", "medium" or "small" (radius 10, 6 or 3); grid10, grid50: the grids;
    select: the row (1-based) drawn red at double size, or None; colour_by: "note" or a field
    number (5 or more) whose equal cells form groups, each in its colour with a legend;
    density: 25, 50 or 100 cells per face edge (True: 50) for the density view.
    """

    def __init__(self, table, symbol="medium", grid10=True, grid50=True, select=None, colour_by=None, density=None):
        if symbol not in _SYMBOL_SIZES:
            raise ValueError("symbol must be 'large', 'medium' or 'small', not %r" % (symbol,))
        if select is not None and (isinstance(select, bool) or not isinstance(select, int)):
            raise TypeError("select must be a row number or None, not %r" % (select,))
        colour, cells = _colour_by(colour_by), _density(density)
        self.table = _table(table)
        self.symbol, self.grid10, self.grid50, self.select = symbol, bool(grid10), bool(grid50), select
        row = 0 if select is None or not -2**31 <= select < 2**31 else select
        self.colour_by, self.density = colour_by, density
        self._drawing = _engine.draw(self.table, _SYMBOL_SIZES[symbol], self.grid10, self.grid50, row, colour, cells)

    def save(self, path):
        """Saves the diagram; the name's extension picks the format as in ternova-plot: .wmf, .svg,
        .pdf, else the enhanced metafile (.emf). An existing file is replaced only once the new
        one is written whole."""
        self._drawing.save(os.fsencode(path))

    def encode(self, name="diagram.emf"):
        """The bytes of the file save(name) would write."""
        return self._drawing.encode(os.fsencode(name))

    def svg(self):
        """The diagram as an SVG document."""
        return self._drawing.svg()

    def _repr_svg_(self):
        svg = self.svg()
        if len(svg) > _INLINE_SVG_LIMIT:
            return None
        # Inline, the SVG is a fragment of the page: an XML declaration there stops the
        # notebook's HTML export.
        if svg.startswith("<?xml"):
            svg = svg[svg.index("?>") + 2:].lstrip()
        return svg

    def __repr__(self):
        return "<ternova.Diagram of %d samples, symbol=%r, grid10=%r, grid50=%r, select=%r>" % (
            self._drawing.samples, self.symbol, self.grid10, self.grid50, self.select)
