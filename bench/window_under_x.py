#!/usr/bin/python3
"""The window as the user meets it, measured through a real X server.

Starts its own Xvfb, runs the real ternova binary on it, drives it only with X test events
(XTest: pointer and keys, as a user's hands would) and watches the screen with XGetImage to see
when the final picture is there. Each figure runs from just before the event is sent to the last
change of the watched region (the region must then stay unchanged for a short settle time, which
is not counted).

    window_under_x.py TERNOVA MAKE_DATA [--display N] [--shots DIR] [--quick] [--only PARTS]

Prints one line per figure, fields separated by spaces:
    NAME SAMPLES UNIT MEDIAN MIN MAX RUNS
and notes (lines starting with '#'). Exits 3 when no X server can be started.
"""
import argparse
import ctypes
import os
import shutil
import signal
import statistics
import subprocess
import sys
import tempfile
import time

clock = time.perf_counter

# --- Xlib and XTest through ctypes -----------------------------------------------------------

c_int, c_uint, c_ulong, c_long, c_void_p, c_char_p = (ctypes.c_int, ctypes.c_uint, ctypes.c_ulong,
                                                      ctypes.c_long, ctypes.c_void_p, ctypes.c_char_p)


class XImage(ctypes.Structure):
    _fields_ = [("width", c_int), ("height", c_int), ("xoffset", c_int), ("format", c_int),
                ("data", c_void_p), ("byte_order", c_int), ("bitmap_unit", c_int),
                ("bitmap_bit_order", c_int), ("bitmap_pad", c_int), ("depth", c_int),
                ("bytes_per_line", c_int), ("bits_per_pixel", c_int)]


class XWindowAttributes(ctypes.Structure):
    _fields_ = [("x", c_int), ("y", c_int), ("width", c_int), ("height", c_int),
                ("border_width", c_int), ("depth", c_int), ("visual", c_void_p), ("root", c_ulong),
                ("class_", c_int), ("bit_gravity", c_int), ("win_gravity", c_int),
                ("backing_store", c_int), ("backing_planes", c_ulong), ("backing_pixel", c_ulong),
                ("save_under", c_int), ("colormap", c_ulong), ("map_installed", c_int),
                ("map_state", c_int), ("all_event_masks", c_long), ("your_event_mask", c_long),
                ("do_not_propagate_mask", c_long), ("override_redirect", c_int), ("screen", c_void_p)]


SCREEN = (1600, 1200)  # room for the window to grow while it is dragged
POLL_REST = 0.001
OPEN_POLL_REST = 0.008
IS_VIEWABLE = 2
Z_PIXMAP = 2


class X:
    def __init__(self, display):
        x = self.x = ctypes.CDLL("libX11.so.6")
        t = self.t = ctypes.CDLL("libXtst.so.6")
        x.XOpenDisplay.restype = c_void_p
        x.XOpenDisplay.argtypes = [c_char_p]
        x.XDefaultRootWindow.restype = c_ulong
        x.XDefaultRootWindow.argtypes = [c_void_p]
        x.XStringToKeysym.restype = c_ulong
        x.XStringToKeysym.argtypes = [c_char_p]
        x.XKeysymToKeycode.restype = ctypes.c_ubyte
        x.XKeysymToKeycode.argtypes = [c_void_p, c_ulong]
        x.XKeycodeToKeysym.restype = c_ulong
        x.XKeycodeToKeysym.argtypes = [c_void_p, ctypes.c_ubyte, c_int]
        x.XFlush.argtypes = [c_void_p]
        x.XSync.argtypes = [c_void_p, c_int]
        x.XGetImage.restype = ctypes.POINTER(XImage)
        x.XGetImage.argtypes = [c_void_p, c_ulong, c_int, c_int, c_uint, c_uint, c_ulong, c_int]
        x.XFree.argtypes = [c_void_p]
        x.XQueryTree.argtypes = [c_void_p, c_ulong, ctypes.POINTER(c_ulong), ctypes.POINTER(c_ulong),
                                 ctypes.POINTER(ctypes.POINTER(c_ulong)), ctypes.POINTER(c_uint)]
        x.XFetchName.argtypes = [c_void_p, c_ulong, ctypes.POINTER(ctypes.c_char_p)]
        x.XGetWindowAttributes.argtypes = [c_void_p, c_ulong, ctypes.POINTER(XWindowAttributes)]
        x.XTranslateCoordinates.argtypes = [c_void_p, c_ulong, c_ulong, c_int, c_int, ctypes.POINTER(c_int),
                                            ctypes.POINTER(c_int), ctypes.POINTER(c_ulong)]
        x.XResizeWindow.argtypes = [c_void_p, c_ulong, c_uint, c_uint]
        # A window that went away between the tree and the question is no reason to stop.
        self._handler = ctypes.CFUNCTYPE(c_int, c_void_p, c_void_p)(lambda d, e: 0)
        x.XSetErrorHandler(self._handler)
        t.XTestFakeButtonEvent.argtypes = [c_void_p, c_uint, c_int, c_ulong]
        t.XTestFakeKeyEvent.argtypes = [c_void_p, c_uint, c_int, c_ulong]
        t.XTestFakeMotionEvent.argtypes = [c_void_p, c_int, c_int, c_int, c_ulong]
        self.d = x.XOpenDisplay(display.encode())
        if not self.d:
            raise OSError("cannot open display " + display)
        self.root = x.XDefaultRootWindow(self.d)
        self.polls = []  # seconds each poll of the screen took

    # Windows
    def top_levels(self):
        """Viewable children of the root: (window, name, x, y, width, height), bottom to top."""
        r, p, n = c_ulong(), c_ulong(), c_uint()
        children = ctypes.POINTER(c_ulong)()
        if not self.x.XQueryTree(self.d, self.root, ctypes.byref(r), ctypes.byref(p), ctypes.byref(children),
                                 ctypes.byref(n)):
            return []
        ids = [children[i] for i in range(n.value)]
        if children:
            self.x.XFree(children)
        found = []
        for w in ids:
            a = XWindowAttributes()
            if not self.x.XGetWindowAttributes(self.d, w, ctypes.byref(a)) or a.map_state != IS_VIEWABLE:
                continue
            name = ctypes.c_char_p()
            title = ""
            if self.x.XFetchName(self.d, w, ctypes.byref(name)) and name.value is not None:
                title = name.value.decode("utf-8", "replace")
                self.x.XFree(name)
            ox, oy, child = c_int(), c_int(), c_ulong()
            self.x.XTranslateCoordinates(self.d, w, self.root, 0, 0, ctypes.byref(ox), ctypes.byref(oy),
                                         ctypes.byref(child))
            found.append((w, title, ox.value, oy.value, a.width, a.height))
        return found

    def resize(self, window, width, height):
        self.x.XResizeWindow(self.d, window, width, height)
        self.x.XFlush(self.d)

    # The screen
    def grab(self, rect):
        """The root window's pixels in rect (x, y, width, height) as bytes, 4 a pixel, rows padded."""
        x, y, w, h = rect
        img = self.x.XGetImage(self.d, self.root, x, y, w, h, ~0 & 0xFFFFFFFFFFFFFFFF, Z_PIXMAP)
        if not img:
            raise OSError("XGetImage failed")
        i = img.contents
        data = ctypes.string_at(i.data, i.bytes_per_line * i.height)
        self.x.XFree(i.data)
        self.x.XFree(img)
        return data

    def poll(self, rect, rest=POLL_REST):
        """grab() after a short rest, so the watching leaves the program under test a core."""
        time.sleep(rest)
        start = clock()
        data = self.grab(rect)
        if rest == POLL_REST:
            self.polls.append(clock() - start + rest)
        return data

    def rgb(self, rect):
        """The pixels in rect as a height x width x 3 array (red, green, blue)."""
        return as_rgb(self.grab(rect), rect[3], rect[2])

    # Hands
    def keycode(self, name):
        ks = self.x.XStringToKeysym(name.encode())
        kc = self.x.XKeysymToKeycode(self.d, ks)
        if not kc:
            raise ValueError("no key for " + name)
        return kc, self.x.XKeycodeToKeysym(self.d, kc, 0) != ks

    def key(self, *names):
        """Presses the keys in order and lets them go in reverse: key("Alt_L", "f")."""
        codes = []
        for n in names:
            kc, shifted = self.keycode(n)
            if shifted:
                codes.append(self.keycode("Shift_L")[0])
            codes.append(kc)
        for c in codes:
            self.t.XTestFakeKeyEvent(self.d, c, 1, 0)
        for c in reversed(codes):
            self.t.XTestFakeKeyEvent(self.d, c, 0, 0)
        self.x.XFlush(self.d)

    def type_text(self, text):
        names = {"/": "slash", ".": "period", "-": "minus", "_": "underscore", " ": "space"}
        for ch in text:
            self.key(names.get(ch, ch))

    def move(self, x, y):
        self.t.XTestFakeMotionEvent(self.d, -1, x, y, 0)
        self.x.XFlush(self.d)

    def click(self, button=1):
        """A press and release; buttons 4 and 5 are one notch of the wheel up (in) and down (out)."""
        self.press(button)
        self.release(button)

    def press(self, button=1):
        self.t.XTestFakeButtonEvent(self.d, button, 1, 0)
        self.x.XFlush(self.d)

    def release(self, button=1):
        self.t.XTestFakeButtonEvent(self.d, button, 0, 0)
        self.x.XFlush(self.d)


def as_rgb(data, height, width):
    """grab()'s bytes as a height x width x 3 array (red, green, blue)."""
    import numpy as np
    a = np.frombuffer(data, np.uint8).reshape(height, len(data) // height // 4, 4)
    return a[:, :width, 2::-1].astype(int)


def settled_at(frames, final, rect, within):
    """Seconds to the last change inside `within` (a rect in the same screen coordinates as
    `rect`), given the frames watch() saw of `rect` and its final pixels."""
    def part(data):
        return as_rgb(data, rect[3], rect[2])[within[1] - rect[1]:within[1] - rect[1] + within[3],
                                               within[0] - rect[0]:within[0] - rect[0] + within[2]]
    import numpy as np
    goal = part(final)
    at = None
    for t, data in reversed(frames):
        if not np.array_equal(part(data), goal):
            break
        at = t
    return at


# --- Watching the screen ---------------------------------------------------------------------

def watch(x, rect, before, t0, settle, timeout, last=None, changed_at=None, frames=None, rest=POLL_REST):
    """Polls rect until it differs from `before` and then stays unchanged for `settle` seconds.
    Returns (seconds from t0 to the last change, the final pixels), or (None, pixels) when the
    region never settled on something new within `timeout`. Each new picture seen is appended to
    `frames` as (seconds from t0, pixels) when that list is given."""
    last = before if last is None else last
    while True:
        img = x.poll(rect, rest)
        now = clock()
        if img != last:
            last, changed_at = img, now
            if frames is not None:
                frames.append((now - t0, img))
        if changed_at is not None and now - changed_at >= settle and last != before:
            return changed_at - t0, last
        if now - t0 > timeout:
            return None, last


def wait_still(x, rect, quiet, timeout):
    """Waits until rect has not changed for `quiet` seconds; returns its pixels."""
    last, since, start = x.grab(rect), clock(), clock()
    while clock() - since < quiet and clock() - start < timeout:
        time.sleep(0.01)
        img = x.grab(rect)
        if img != last:
            last, since = img, clock()
    return last


# --- Finding things in the window -------------------------------------------------------------

def runs(flags):
    """[start, end) of each run of true values."""
    out, start = [], None
    for i, f in enumerate(list(flags) + [False]):
        if f and start is None:
            start = i
        elif not f and start is not None:
            out.append((start, i))
            start = None
    return out


class Layout:
    """Where the grid's rows and the diagram are, read off the window's pixels: the diagram is the
    right-hand block that is not window background, the grid the block left of it; the grid's
    rows lie between the dark lines of its fixed first column."""

    def __init__(self, x, window, pixels=None):
        import numpy as np
        _, _, wx, wy, ww, wh = window
        self.window = (wx, wy, ww, wh)
        px = x.rgb(self.window) if pixels is None else as_rgb(pixels, wh, ww)
        bg = px[wh // 2, 2]
        other = np.abs(px - bg).sum(axis=2) > 0
        blocks = [r for r in runs(other.sum(axis=0) > wh / 3) if r[1] - r[0] > 100]
        if len(blocks) < 2:
            raise RuntimeError("cannot find the grid and the diagram in the window")
        (gx0, gx1), (dx0, dx1) = blocks[0], blocks[-1]
        dy0, dy1 = max(runs(other[:, dx0:dx1].sum(axis=1) > (dx1 - dx0) / 2), key=lambda r: r[1] - r[0])
        self.diagram = (wx + dx0, wy + dy0, dx1 - dx0, dy1 - dy0)
        # A line crosses the whole column; the row numbers' strokes never do.
        dark = [y for y in range(wh) if (px[y, gx0 - 40:gx0 - 3].sum(axis=1) < 60).all()]
        lines = [y for i, y in enumerate(dark) if i == 0 or dark[i - 1] != y - 1]
        steps = [b - a for a, b in zip(lines, lines[1:])]
        if len(steps) < 5:
            raise RuntimeError("cannot find the grid's rows")
        self.row_height = statistics.median(steps)
        self.rows = [(a + b) // 2 for a, b in zip(lines, lines[1:]) if b - a == self.row_height]
        self.cell_x = gx0 + 8  # in the first data column
        self.grid = (wx + gx0, wy + dy0, gx1 - gx0, dy1 - dy0)
        self.wx, self.wy = wx, wy

    def row_point(self, row):
        """Screen point in the first data column of the visible row `row` (0 = top, -1 = bottom)."""
        return self.wx + self.cell_x, self.wy + self.rows[row]

    def row_selected(self, x, row):
        """True when the visible row's first cell shows the selection colour (not white)."""
        px, py = self.row_point(row)
        return any(b > 150 and r < 120 for r, g, b in x.rgb((px - 2, py, 8, 1))[0])


# --- The program under test ------------------------------------------------------------------

class Server:
    """An Xvfb of our own: on a free display found by the server itself, or on the one given."""

    def __init__(self, display=None):
        size = "%dx%dx24" % SCREEN
        args = ["Xvfb", "-screen", "0", size, "-nolisten", "tcp", "-noreset"]
        if display is None:
            read, write = os.pipe()
            self.proc = subprocess.Popen(args + ["-displayfd", str(write)], pass_fds=(write,),
                                         stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            os.close(write)
            number = b""
            with os.fdopen(read, "rb") as f:
                number = f.readline().strip()
            if not number:
                self.proc.wait(5)
                raise OSError("Xvfb did not start")
            self.display = ":" + number.decode()
        else:
            self.display = ":%d" % display
            self.proc = subprocess.Popen(args + [self.display], stdout=subprocess.DEVNULL,
                                         stderr=subprocess.DEVNULL)
            for _ in range(100):
                if os.path.exists("/tmp/.X11-unix/X%d" % display) or self.proc.poll() is not None:
                    break
                time.sleep(0.05)
            time.sleep(0.2)
            if self.proc.poll() is not None:
                raise OSError("Xvfb did not start on " + self.display)

    def stop(self):
        self.proc.terminate()
        self.proc.wait(10)


class App:
    def __init__(self, x, server, binary, data=None):
        env = dict(os.environ, DISPLAY=server.display, QT_QPA_PLATFORM="xcb")
        env.pop("WAYLAND_DISPLAY", None)
        self.x = x
        self.proc = subprocess.Popen([binary] + ([data] if data else []), env=env,
                                     stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.window = None
        start = clock()
        while clock() - start < 30 and self.proc.poll() is None:
            # The server is ours: the one big window on it is the program's.
            main = [w for w in x.top_levels() if w[4] > 300 and w[5] > 300]
            if main:
                self.window = main[-1]
                break
            time.sleep(0.05)
        if self.window is None:
            self.stop()
            raise RuntimeError("the window never showed")

    def refresh(self):
        for w in self.x.top_levels():
            if w[0] == self.window[0]:
                self.window = w
        return self.window

    def rect(self):
        return self.window[2:]

    def stop(self):
        if self.proc.poll() is None:
            self.proc.terminate()
            try:
                self.proc.wait(10)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait()


# --- The figures ------------------------------------------------------------------------------

class Results:
    def __init__(self, shots):
        self.shots = shots

    def report(self, name, samples, unit, values, scale=1000.0):
        good = [v * scale for v in values if v is not None]
        failed = len(values) - len(good)
        if failed:
            print("# %s %d: %d of %d runs never reached a new final screen" % (name, samples, failed, len(values)))
        if good:
            print("%s %d %s %.2f %.2f %.2f %d" % (name, samples, unit, statistics.median(good), min(good),
                                                   max(good), len(good)))
        sys.stdout.flush()

    def shot(self, x, name):
        if self.shots:
            self.save(x.rgb((0, 0) + SCREEN), name)

    def save(self, pixels, name):
        if self.shots:
            from PIL import Image
            import numpy as np
            Image.fromarray(pixels.astype(np.uint8)).save(os.path.join(self.shots, name + ".png"))


SETTLE = 0.3  # the screen is final once it has not changed for this long
TIMEOUT = 8.0


def open_at_end(x, app):
    """Gives the window the focus with a click in the grid and moves to the file's last row: the
    last samples are drawn on top, so their selection always shows on the diagram."""
    start = clock()
    while True:  # a slow first load may still be on its way to the screen
        try:
            layout = Layout(x, app.refresh())
            break
        except RuntimeError:
            if clock() - start > 60:
                raise
            time.sleep(0.5)
    x.move(*layout.row_point(0))
    time.sleep(0.05)
    x.click()
    time.sleep(0.3)
    x.key("Control_L", "End")
    wait_still(x, app.rect(), 0.5, 30)
    return Layout(x, app.refresh())


def click_rows(x, app, layout, samples, res, repeats):
    """A click on a grid row, each time another of the last rows: the old selection's and the new
    one's discs change on the diagram. What a change costs depends on how crowded the diagram is
    where those samples lie, so the rows vary and the spread shows it."""
    times = []
    for i in range(repeats):
        row = -2 - (3 * i) % min(len(layout.rows) - 2, 24)
        x.move(*layout.row_point(row))
        before = wait_still(x, layout.diagram, 0.1, 5)
        t0 = clock()
        x.click()
        took, _ = watch(x, layout.diagram, before, t0, SETTLE, TIMEOUT)
        if took is not None and not layout.row_selected(x, row):
            print("# click_row: the clicked row did not show as selected")
            took = None
        times.append(took)
        time.sleep(0.45)  # never a double click
    res.report("click_row", samples, "ms", times)


def arrow_keys(x, app, layout, samples, res, repeats):
    """One Up key at a time from the last row, each press onto a row not selected before."""
    repeats = min(repeats, len(layout.rows) - 1)
    x.move(*layout.row_point(-1))
    x.click()
    wait_still(x, layout.diagram, 0.3, 10)
    times = []
    for i in range(repeats):
        before = wait_still(x, layout.diagram, 0.05, 5)
        t0 = clock()
        x.key("Up")
        took, _ = watch(x, layout.diagram, before, t0, SETTLE, TIMEOUT)
        if took is not None and not layout.row_selected(x, -2 - i):
            print("# arrow_key: the selection did not move a row")
            took = None
        times.append(took)
    res.report("arrow_key", samples, "ms", times)


def held_key(x, app, layout, samples, res, repeats, presses=30, rate=30.0):
    """An arrow key held down: `presses` Up presses at `rate` a second from the bottom row, then
    the time from the last press to the final screen (how far the window falls behind)."""
    lags = []
    for _ in range(repeats):
        x.move(*layout.row_point(-1))
        x.click()
        before = wait_still(x, layout.diagram, 0.4, 10)
        last, changed_at = before, None
        t_next = clock()
        t_press = None
        for _ in range(presses):
            while clock() < t_next:
                img = x.poll(layout.diagram)
                if img != last:
                    last, changed_at = img, clock()
            t_press = clock()
            x.key("Up")
            t_next += 1.0 / rate
        took, _ = watch(x, layout.diagram, before, t_press, SETTLE, TIMEOUT + presses / rate,
                        last=last, changed_at=changed_at)
        if took is not None and not layout.row_selected(x, -1 - presses):
            print("# held_key: the selection did not end %d rows up" % presses,
                  [i for i in range(len(layout.rows)) if layout.row_selected(x, i)], len(layout.rows))
            took = None
        lags.append(took)
    res.report("held_key_lag", samples, "ms", lags)


def resizing(x, app, layout, samples, res, repeats, steps=90, rate=60.0, dx=3, dy=2):
    """The window's corner dragged: `steps` steps of the top-level's size at `rate` a second.
    Counts the diagram frames that reach the screen while dragging, and the time from the last
    step to the final picture. Also one lone step: its first frame and its final picture."""
    win = app.refresh()
    w0, h0 = win[4], win[5]
    region = layout.diagram  # inside the diagram at every size while it grows
    fps, settle, first, final = [], [], [], []
    for _ in range(repeats):
        before = wait_still(x, region, 0.5, 10)
        last, frames = before, 0
        t_first = clock()
        t_next = t_first
        for i in range(1, steps + 1):
            while clock() < t_next:
                img = x.poll(region)
                if img != last:
                    last, frames = img, frames + 1
            t_step = clock()
            x.resize(win[0], w0 + i * dx, h0 + i * dy)
            t_next += 1.0 / rate
        while clock() < t_next:
            img = x.poll(region)
            if img != last:
                last, frames = img, frames + 1
        fps.append(frames / (t_next - t_first))
        took, _ = watch(x, region, before, t_step, 0.6, TIMEOUT, last=last, changed_at=t_step)
        settle.append(took)
        x.resize(win[0], w0, h0)
        # One lone step.
        before = wait_still(x, region, 0.6, 10)
        t0 = clock()
        x.resize(win[0], w0 + 2 * dx, h0 + 2 * dy)
        seen = None
        while clock() - t0 < TIMEOUT:
            img = x.poll(region)
            if img != before:
                seen = clock() - t0
                break
        first.append(seen)
        took, _ = watch(x, region, before, t0, 0.6, TIMEOUT)
        final.append(took)
        x.resize(win[0], w0, h0)
    res.report("resize_frames_per_s", samples, "frames/s", fps, scale=1.0)
    res.report("resize_settled_after_drag", samples, "ms", settle)
    res.report("resize_step_first_frame", samples, "ms", first)
    res.report("resize_step_final", samples, "ms", final)
    wait_still(x, region, 0.6, 10)


def covered(x, app, rect):
    """True when another top-level (a tip, a menu left open) lies over rect: the screen there is
    then not the window's."""
    rx, ry, rw, rh = rect
    return any(w[0] != app.window[0] and w[2] < rx + rw and rx < w[2] + w[4] and w[3] < ry + rh and ry < w[3] + w[5]
               for w in x.top_levels())


def option_item(x, app, key, res=None, shot=None):
    """Option > the item with accelerator `key`, by keys: Alt+O opens the menu, `key` chooses.
    Returns the time the item's key went, or None when the menu never showed. With `shot`, the
    open menu is saved first."""
    x.key("Alt_L", "o")
    start = clock()
    while not any(w[0] != app.window[0] for w in x.top_levels()):
        if clock() - start > 5:
            return None
        time.sleep(0.02)
    time.sleep(0.3)  # the menu painted and ready for its keys
    if shot:
        res.shot(x, shot)
    t0 = clock()
    x.key(key)
    return t0


def union(a, b):
    x0, y0 = min(a[0], b[0]), min(a[1], b[1])
    return x0, y0, max(a[0] + a[2], b[0] + b[2]) - x0, max(a[1] + a[3], b[1] + b[3]) - y0


def density_toggle(x, app, layout, samples, res, repeats):
    """Option > Density on and off by turns, by keys, from the D key to the final diagram. The
    first "on" after the load counts the cells; later ones find them counted. Leaves it off.
    Returns the diagram's rect with the density view's picture taken in."""
    region = layout.diagram
    # Away from the diagram: no tip of a symbol under the pointer comes up while watching it.
    x.move(*layout.row_point(0))
    discs = wait_still(x, region, 0.5, 30)
    first, ons, offs = [], [], []
    shown, wider = None, region
    for i in range(2 * repeats + 2):
        turning_on = i % 2 == 0
        before = wait_still(x, region, 0.2, 30)
        t0 = option_item(x, app, "d", res, "density-menu" if i == 0 else None)
        took = None
        if t0 is None:
            print("# density: the Option menu never showed")
        else:
            took, final = watch(x, region, before, t0, SETTLE, 60 if i == 0 else TIMEOUT)
            if covered(x, app, region):
                print("# density: something covered the diagram")
                took = None
            elif took is not None and turning_on:
                if shown is None:
                    shown = final
                    res.shot(x, "density-on-%d" % samples)
                    try:
                        wider = union(region, Layout(x, app.refresh()).diagram)
                    except RuntimeError:
                        pass  # the rect already found serves
                elif final != shown:
                    print("# density: the density view came back other than the first time")
            elif took is not None and final != discs:
                print("# density: the discs came back other than before")
        (first if i == 0 else ons if turning_on else offs).append(took)
    res.report("density_first_on", samples, "ms", first)
    res.report("density_on", samples, "ms", ons)
    res.report("density_off", samples, "ms", offs)
    if wider != region:
        print("# density: the density view's picture reaches beyond the discs' (%s, not %s)" % (wider, region))
    return wider


def density_on(x, app, region):
    before = wait_still(x, region, 0.3, 30)
    t0 = option_item(x, app, "d")
    if t0 is None:
        raise RuntimeError("the Option menu never showed")
    took, _ = watch(x, region, before, t0, SETTLE, 60)
    if took is None:
        raise RuntimeError("the density view never showed")


def thickest(x, region, box=41):
    """The screen point in region with the most sample discs (blue) around it: a magnified view
    about it still shows samples at the closest."""
    import numpy as np
    px = x.rgb(region)
    blue = ((px[:, :, 2] > 150) & (px[:, :, 0] < 100) & (px[:, :, 1] < 100)).astype(np.int64)
    if not blue.any():
        raise RuntimeError("no sample discs on the diagram")
    s = np.pad(blue.cumsum(0).cumsum(1), ((1, 0), (1, 0)))
    near = s[box:, box:] - s[:-box, box:] - s[box:, :-box] + s[:-box, :-box]
    y, x_ = np.unravel_index(np.argmax(near), near.shape)
    return region[0] + int(x_) + box // 2, region[1] + int(y) + box // 2


def zooming(x, app, region, samples, res, repeats, point, prefix="", starts=(0, 6, 17), steps=96,
            rate=60.0, step=8, reach=96):
    """One wheel notch over the diagram, in and out by turns, from the whole view and from
    `starts` notches in; then a drag at 6 notches in: `steps` pointer moves of `step` pixels at
    `rate` a second, back and forth `reach` pixels either side of the press, counting the diagram
    frames that reach the screen. The wheel and the drag act at `point`. Home between the parts;
    leaves the whole view."""
    rx, ry, rw, rh = region
    px, py = point
    x.move(px, py)
    time.sleep(0.05)
    x.click()  # the diagram takes the keys (Home); at the whole view this selects a sample
    time.sleep(0.5)

    def at_notches(n):
        x.key("Home")
        whole = wait_still(x, region, 0.4, 30)
        for _ in range(n):
            x.click(4)
            time.sleep(0.02)
        shown = wait_still(x, region, 0.5, 30)
        if n and shown == whole:
            raise RuntimeError("%d wheel notches did not zoom" % n)
        return shown

    for start in starts:
        name = "%swheel_notch_%d" % (prefix, start)
        at_start = at_notches(start)
        times, astray = [], 0
        for i in range(2 * repeats):
            before = wait_still(x, region, 0.1, 10)
            t0 = clock()
            x.click(4 if i % 2 == 0 else 5)
            took, final = watch(x, region, before, t0, SETTLE, TIMEOUT)
            if covered(x, app, region):
                print("# %s: something covered the diagram" % name)
                took = None
            elif i % 2 and final != at_start:
                astray += 1
            if i == 0 and start in (6, 17):
                res.shot(x, "%szoom-%d-in" % (prefix, start))
            times.append(took)
        if astray:
            print("# %s: %d of %d notches out did not come back to the picture before the notch in" %
                  (name, astray, repeats))
        res.report(name, samples, "ms", times)

    fps = []
    for rep in range(repeats):
        before = at_notches(6)
        x.move(px, py)
        time.sleep(0.05)
        x.press(1)
        last, frames, middle = before, 0, None
        t_first = clock()
        t_next = t_first
        dx, direction = 0, 1
        for i in range(steps):
            while clock() < t_next:
                img = x.poll(region)
                if img != last:
                    last, frames = img, frames + 1
            if abs(dx + direction * step) > reach:
                direction = -direction
            dx += direction * step
            x.move(px + dx, py)
            t_next += 1.0 / rate
            if i == steps // 4:
                middle = last
        while clock() < t_next:
            img = x.poll(region)
            if img != last:
                last, frames = img, frames + 1
        x.release(1)
        fps.append(frames / (t_next - t_first) if frames else None)
        if middle is not None and rep == 0:
            res.save(as_rgb(middle, rh, rw), prefix + "pan")
        if not frames:
            print("# %span: the drag never moved the view" % prefix)
        wait_still(x, region, 0.5, 10)
    res.report(prefix + "pan_fps", samples, "frames/s", fps, scale=1.0)
    x.key("Home")
    wait_still(x, region, 0.5, 30)


def open_through_dialog(x, server, binary, data, again, samples, res, repeats):
    """File > Open in a fresh window, through the real dialog: Alt+F, O, the path typed into the
    dialog, Return; then the time to the grid and diagram on screen. Then, in the same window,
    File > Open of `again` (a file of about as many samples): the buffers of the first load are
    there to be reused, as when a user opens one file after another."""
    times, first_times, grid_times, diagram_times, again_times = [], [], [], [], []

    def through_dialog(win, rect, path, shots):
        """The dialog's steps; (seconds to the last change, frames, final pixels) or None."""
        x.key("Alt_L", "f")
        time.sleep(0.4)
        x.key("o")
        dialog = None
        start = clock()
        while dialog is None and clock() - start < 10:
            time.sleep(0.05)
            dialog = next((w for w in x.top_levels() if w[0] != win[0] and w[4] > 200 and w[5] > 150), None)
        if dialog is None:
            print("# open: the file dialog never showed")
            return None
        time.sleep(0.5)
        x.type_text(path)
        time.sleep(0.5)
        if shots:
            res.shot(x, "open-dialog")
        before = x.grab(rect)
        t0 = clock()
        x.key("Return")
        frames = []
        # A load works on both cores: grabbing the whole window every few milliseconds would take
        # one of them. Every 10 ms is fine enough for a figure of some hundred.
        took, final = watch(x, rect, before, t0, 1.0, 60, frames=frames, rest=OPEN_POLL_REST)
        if any(w[0] == dialog[0] for w in x.top_levels()):
            print("# open: the dialog was still there after Return")
            return None
        return took, frames, final

    for rep in range(repeats):
        app = App(x, server, binary)
        try:
            win = app.window
            rect = app.rect()
            empty = wait_still(x, rect, 0.5, 20)
            _, _, wx, wy, ww, wh = win
            x.move(wx + ww // 6, wy + wh // 2)  # the empty grid
            time.sleep(0.05)
            x.click()
            time.sleep(0.3)
            got = through_dialog(win, rect, data, rep == 0)
            took = None
            if got is not None and got[0] is not None and got[2] != empty:
                took, frames, final = got
            if rep == 0:
                res.shot(x, "open-done")
            times.append(took)
            if took is not None:
                # Each part on its own: when it last changed on the way to the final window.
                first_times.append(frames[0][0])  # the first sign on screen: the dialog gone
                if rep == 0:
                    res.save(as_rgb(frames[0][1], rect[3], rect[2]), "open-first-change")
                layout = Layout(x, win, final)
                grid_times.append(settled_at(frames, final, rect, layout.grid))
                diagram_times.append(settled_at(frames, final, rect, layout.diagram))
                # No window manager gives the focus back when the dialog goes: a click on the
                # window's empty corner does, as it would for a user.
                x.move(wx + ww - 20, wy + wh - 20)
                time.sleep(0.05)
                x.click()
                time.sleep(0.5)
                got = through_dialog(win, rect, again, False)
                again_times.append(got[0] if got is not None and got[2] != final else None)
        finally:
            app.stop()
    res.report("open_dialog", samples, "ms", times)
    res.report("open_dialog_first_change", samples, "ms", first_times)
    res.report("open_dialog_grid", samples, "ms", grid_times)
    res.report("open_dialog_diagram", samples, "ms", diagram_times)
    res.report("open_dialog_again", samples, "ms", again_times)


def main():
    p = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    p.add_argument("ternova")
    p.add_argument("make_data")
    p.add_argument("--display", type=int, help="run Xvfb on this display number instead of a free one")
    p.add_argument("--shots", help="folder for screenshots of the moments measured")
    p.add_argument("--quick", action="store_true", help="fewer repetitions")
    p.add_argument("--only", help="comma-separated: click,arrow,held,resize,density,zoom,open")
    a = p.parse_args()
    only = set(a.only.split(",")) if a.only else {"click", "arrow", "held", "resize", "density", "zoom", "open"}
    reps = 3 if a.quick else 9

    try:
        server = Server(a.display)
    except (OSError, subprocess.SubprocessError) as e:
        print("# no X server: %s" % e)
        return 3
    # A benchmark stopped from outside still takes its server and window down with it.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(143))
    work = tempfile.mkdtemp(prefix="ternova-x-")
    res = Results(a.shots)
    failed = False
    try:
        x = X(server.display)
        for samples in (100_000, 1_000_000):
            data = os.path.join(work, "samples-%d.txt" % samples)
            subprocess.run([a.make_data, str(samples), data], check=True, stdout=subprocess.DEVNULL)
            # One part that cannot find its way around the window does not stop the others.
            try:
                if only & {"click", "arrow", "held", "resize"}:
                    app = App(x, server, a.ternova, data)
                    try:
                        wait_still(x, app.rect(), 0.8, 60)
                        layout = open_at_end(x, app)
                        res.shot(x, "loaded-%d" % samples)
                        if "click" in only:
                            click_rows(x, app, layout, samples, res, reps)
                            res.shot(x, "clicked-%d" % samples)
                        if "arrow" in only:
                            arrow_keys(x, app, layout, samples, res, reps)
                        if samples == 1_000_000 and "held" in only:
                            held_key(x, app, layout, samples, res, 3)
                            res.shot(x, "held-%d" % samples)
                        if samples == 1_000_000 and "resize" in only:
                            resizing(x, app, layout, samples, res, 3)
                    finally:
                        app.stop()
            except (RuntimeError, OSError) as e:
                print("# %d samples: %s" % (samples, e))
                failed = True
            try:
                # A window of its own: the density view's first "on" is the first after the load.
                if samples == 1_000_000 and only & {"density", "zoom"}:
                    app = App(x, server, a.ternova, data)
                    try:
                        wait_still(x, app.rect(), 0.8, 60)
                        layout = open_at_end(x, app)
                        region = layout.diagram
                        if "density" in only:
                            region = density_toggle(x, app, layout, samples, res, reps)
                        if "zoom" in only:
                            point = thickest(x, layout.diagram)
                            zooming(x, app, layout.diagram, samples, res, reps, point)
                            x.move(*layout.row_point(0))
                            density_on(x, app, region)
                            zooming(x, app, region, samples, res, reps, point, prefix="density_")
                    finally:
                        app.stop()
            except (RuntimeError, OSError) as e:
                print("# density and zoom: %s" % e)
                failed = True
            try:
                if samples == 1_000_000 and "open" in only:
                    again = data + ".again"
                    subprocess.run([a.make_data, str(samples - 1), again], check=True, stdout=subprocess.DEVNULL)
                    try:
                        open_through_dialog(x, server, a.ternova, data, again, samples, res, 2 if a.quick else 3)
                    finally:
                        os.remove(again)
            except (RuntimeError, OSError) as e:
                print("# open: %s" % e)
                failed = True
            os.remove(data)
        if x.polls:
            print("# the screen was polled every %.1f ms (median): figures are that fine" %
                  (statistics.median(x.polls) * 1000))
    finally:
        server.stop()
        shutil.rmtree(work, ignore_errors=True)
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
