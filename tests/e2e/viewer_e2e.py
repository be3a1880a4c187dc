#!/usr/bin/env python3
"""End-to-end checks of the lumetra window, driven like a user would.

Starts a private virtual X server, runs the real program on small scenes
written into a temporary directory, and drives it with xdotool: keys, drags,
the right-button menu and window resizes. It checks the program's standard
output, the result files and screenshots of the window (read with xwd).

Usage: viewer_e2e.py PATH/TO/lumetra [test-name ...]
Exit code: 0 all passed, 1 a check failed, 77 the X tools are missing.

Facts this relies on, measured under Xvfb without a window manager:
keyboard focus follows the pointer, so the pointer is moved into the window
before every key; the freeglut pop-up menu is its own window named
"freeglut menu", placed at the pointer (or up and to the left of it near the
screen's right and bottom edges), with entries 25 pixels tall whose k-th
centre lies 25k - 11 pixels below its top.
"""

import ctypes
import os
import re
import shutil
import signal
import struct
import subprocess
import sys
import tempfile
import threading
import time
import traceback

SKIP = 77
MENU = {"Auto": 1, "Stop": 2, "Step": 3, "Anti-Alias": 4, "Save6d": 5}  # entry positions, top first
LINE = re.compile(r"^Convergence (\d+\.\d{5})\t\tStep (-?\d+)$")
TIMEOUT = 15.0  # seconds any single wait may take before it counts as a failure


class Failure(Exception):
    pass


def check(condition, message):
    if not condition:
        raise Failure(message)


def wait_until(predicate, what, timeout=TIMEOUT, interval=0.02):
    """Polls predicate until it returns a true value; fails after timeout."""
    end = time.monotonic() + timeout
    while True:
        value = predicate()
        if value:
            return value
        if time.monotonic() > end:
            raise Failure("timed out waiting for " + what)
        time.sleep(interval)


# ---------------------------------------------------------------- X server


class VirtualScreen:
    """An Xvfb server on the first free display number, with backing store
    available so that a window can keep its picture while a menu covers it."""

    def __init__(self):
        # -displayfd: Xvfb takes a free display number itself and writes it to
        # the pipe once it is ready, so parallel tests never share a server.
        read_end, write_end = os.pipe()
        self.proc = subprocess.Popen(["Xvfb", "-displayfd", str(write_end), "-screen", "0", "1024x768x24",
                                      "-nolisten", "tcp", "+bs", "-noreset"],
                                     stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, pass_fds=(write_end,))
        os.close(write_end)
        number = b""
        with os.fdopen(read_end, "rb") as pipe:
            while not number.endswith(b"\n"):
                chunk = pipe.read(1)
                if not chunk:
                    break
                number += chunk
        if not number.strip().isdigit():
            stop(self.proc)
            raise Failure("could not start Xvfb")
        self.display = ":%d" % int(number)
        os.environ["DISPLAY"] = self.display

    def close(self):
        stop(self.proc)


def stop(proc):
    if proc is not None and proc.poll() is None:
        proc.terminate()
        try:
            proc.wait(timeout=5)
        except subprocess.TimeoutExpired:
            proc.kill()
            proc.wait()


def xdo(*args):
    return subprocess.run(["xdotool"] + [str(a) for a in args], check=True, stdout=subprocess.PIPE,
                          stderr=subprocess.PIPE, text=True, timeout=TIMEOUT).stdout


def geometry(window):
    out = subprocess.run(["xwininfo", "-id", str(window)], check=True, stdout=subprocess.PIPE, text=True,
                         timeout=TIMEOUT).stdout
    field = lambda name: int(re.search(name + r":\s+(-?\d+)", out).group(1))
    return (field("Absolute upper-left X"), field("Absolute upper-left Y"), field("Width"), field("Height"),
            "IsViewable" in out)


def keep_contents(window):
    """Asks the X server to keep the window's picture when something covers
    it (backing store), so closing the menu does not make the program redraw.
    Works on any client's window; returns False when Xlib is not at hand."""
    try:
        x11 = ctypes.CDLL("libX11.so.6")
    except OSError:
        return False

    class Attributes(ctypes.Structure):  # XSetWindowAttributes
        _fields_ = [("background_pixmap", ctypes.c_ulong), ("background_pixel", ctypes.c_ulong),
                    ("border_pixmap", ctypes.c_ulong), ("border_pixel", ctypes.c_ulong),
                    ("bit_gravity", ctypes.c_int), ("win_gravity", ctypes.c_int),
                    ("backing_store", ctypes.c_int), ("backing_planes", ctypes.c_ulong),
                    ("backing_pixel", ctypes.c_ulong), ("save_under", ctypes.c_int),
                    ("event_mask", ctypes.c_long), ("do_not_propagate_mask", ctypes.c_long),
                    ("override_redirect", ctypes.c_int), ("colormap", ctypes.c_ulong),
                    ("cursor", ctypes.c_ulong)]

    x11.XOpenDisplay.restype = ctypes.c_void_p
    x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
    x11.XChangeWindowAttributes.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_ulong,
                                            ctypes.POINTER(Attributes)]
    x11.XSync.argtypes = [ctypes.c_void_p, ctypes.c_int]
    x11.XCloseDisplay.argtypes = [ctypes.c_void_p]
    display = x11.XOpenDisplay(None)
    if not display:
        return False
    attributes = Attributes()
    attributes.backing_store = 1  # WhenMapped
    x11.XChangeWindowAttributes(display, window, 1 << 6, ctypes.byref(attributes))  # CWBackingStore
    x11.XSync(display, 0)
    x11.XCloseDisplay(display)
    return True


def screenshot(window):
    """The window's pixels as rows of (r, g, b), top row first, read from
    xwd's output (ZPixmap, 24 or 32 bits per pixel)."""
    data = subprocess.run(["xwd", "-id", str(window), "-silent"], check=True, stdout=subprocess.PIPE,
                          timeout=TIMEOUT).stdout
    head = struct.unpack(">25I", data[:100])
    header_size, width, height = head[0], head[4], head[5]
    byte_order, bits_per_pixel, bytes_per_line = head[7], head[11], head[12]
    masks, ncolors = head[14:17], head[19]
    check(head[2] == 2 and bits_per_pixel in (24, 32), "unexpected xwd format")
    offset = header_size + 12 * ncolors
    step = bits_per_pixel // 8
    endian = "little" if byte_order == 0 else "big"
    shifts = [(m & -m).bit_length() - 1 for m in masks]
    rows = []
    for y in range(height):
        row = data[offset + y * bytes_per_line: offset + y * bytes_per_line + width * step]
        pixels = []
        for x in range(width):
            value = int.from_bytes(row[x * step:(x + 1) * step], endian)
            pixels.append(tuple((value & m) >> s for m, s in zip(masks, shifts)))
        rows.append(pixels)
    return rows


# ---------------------------------------------------------------- program


STARTED = []  # every program a test started, to explain a failure by a crash


class Program:
    """One run of lumetra in a directory, its output collected line by line."""

    def __init__(self, binary, workdir, config, line_buffered=True):
        command = [binary, config]
        if line_buffered and shutil.which("stdbuf"):
            command = ["stdbuf", "-oL"] + command  # see lines as they are printed, not at exit
        self.workdir = workdir
        self.lines = []
        self.proc = subprocess.Popen(command, cwd=workdir, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                                     text=True)
        self.reader = threading.Thread(target=self._read, daemon=True)
        self.reader.start()
        self.window = None
        self.exit_code = None
        STARTED.append(self)

    def _read(self):
        for line in self.proc.stdout:
            self.lines.append(line.rstrip("\n"))

    def close(self):
        if self.exit_code is None:
            self.exit_code = self.proc.poll()  # how it ended by itself, if it did
        stop(self.proc)

    # Output ------------------------------------------------------------
    def steps(self):
        """(measure, step) of every convergence line so far."""
        found = []
        for line in list(self.lines):
            m = LINE.match(line)
            if m:
                found.append((float(m.group(1)), int(m.group(2))))
        return found

    def wait_lines(self, count, what):
        return wait_until(lambda: len(self.lines) >= count and list(self.lines), what)

    def wait_quiet(self, quiet=0.4):
        """Waits until no line has arrived for `quiet` seconds."""
        seen, since = len(self.lines), time.monotonic()
        end = time.monotonic() + TIMEOUT
        while time.monotonic() - since < quiet:
            check(time.monotonic() < end, "the output never settled")
            time.sleep(0.02)
            if len(self.lines) != seen:
                seen, since = len(self.lines), time.monotonic()
        return len(self.lines)

    def wait_exit(self):
        try:
            return self.proc.wait(timeout=TIMEOUT)
        except subprocess.TimeoutExpired:
            raise Failure("the program did not exit")

    # Window ------------------------------------------------------------
    def find_window(self):
        def search():
            if self.proc.poll() is not None:
                raise Failure("the program ended early: %r" % self.proc.stderr.read())
            out = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", "."],
                                 stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True).stdout.split()
            return [w for w in out if not window_name(w).startswith("freeglut menu")]

        self.window = int(wait_until(search, "the program's window")[0])
        # Without a window manager it opens at (-1, -1); screenshots need it all on the screen.
        self.move(20, 20)
        return self.window

    def move(self, x, y):
        xdo("windowmove", self.window, x, y)
        wait_until(lambda: geometry(self.window)[:2] == (x, y), "the window to move")

    def point(self, x=10, y=10):
        xdo("mousemove", "--window", self.window, x, y)

    def key(self, name):
        self.point()  # focus follows the pointer
        xdo("key", name)

    def menu(self, entry, at=(10, 10)):
        """Opens the pop-up menu with the right button at `at` (window
        coordinates) and chooses the entry."""
        self.point(*at)
        xdo("click", 3)
        menu = wait_until(lambda: [w for w in xdo("search", "--name", "freeglut menu").split()
                                   if geometry(w)[4]], "the pop-up menu")[0]
        mx, my, mw, _, _ = geometry(menu)
        xdo("mousemove", mx + mw // 2, my + 25 * MENU[entry] - 11)
        xdo("click", 1)
        wait_until(lambda: not geometry(menu)[4], "the menu to close")

    def picture(self):
        return screenshot(self.window)

    def redrawn_picture(self):
        """Forces a redraw (left arrow, right arrow: the same angles again)
        and returns the picture once two screenshots in a row agree."""
        self.key("Left")
        self.key("Right")
        last = [self.picture()]

        def settled():
            time.sleep(0.1)
            now = self.picture()
            same, last[0] = now == last[0], now
            return now if same else None

        return wait_until(settled, "the picture to settle")

    def wait_picture_change(self, before, what):
        return wait_until(lambda: (lambda p: p if p != before else None)(self.picture()), what)


def window_name(window):
    return subprocess.run(["xdotool", "getwindowname", str(window)], stdout=subprocess.PIPE,
                          stderr=subprocess.DEVNULL, text=True).stdout.strip()


# ---------------------------------------------------------------- scenes


def write(path, text):
    with open(path, "w", newline="") as f:
        f.write(text)


def pair_scene(directory, step=1):
    """Two single-triangle emitters that cannot see each other: each faces -y
    (towards the camera), and the right one stands behind the left one's
    plane, where it sees only the left one's back, which is never drawn.
    Neither receives anything, so each keeps its emission as its radiosity.
    The solver converges after its second step."""
    write(os.path.join(directory, "left.tri"), "left\n-6 0 -2  -1 0 -2  -1 0 3\n")
    write(os.path.join(directory, "right.tri"), "right\n1 5 -2  6 5 -2  6 5 3\n")
    write(os.path.join(directory, "pair.ini"),
          "[settings]\nresolution=64\nstep=%d\nobjects=2\n"
          "[object_0]\ntriangles=1\nfile=left.tri\nreflectance_r=200\nreflectance_g=200\nreflectance_b=200\n"
          "emission_r=255\nemission_g=128\nemission_b=0\n"
          "[object_1]\ntriangles=1\nfile=right.tri\nreflectance_r=100\nreflectance_g=100\nreflectance_b=100\n"
          "emission_r=51\nemission_g=0\nemission_b=204\n" % step)
    return "pair.ini"


# Written by hand: the positions as given, and radiosity = emission / 255.
PAIR_RESULTS = {
    "left.6d": b"3\r\n-6 0 -2\r\n-1 0 -2\r\n-1 0 3\r\n1\r\n0 1 2 1 0.501961 0\r\n",
    "right.6d": b"3\r\n1 5 -2\r\n6 5 -2\r\n6 5 3\r\n1\r\n0 1 2 0.2 0 0.8\r\n",
}
# Energies 12.5 x (1 + 128/255) and 12.5 x 1: after the first step the
# second one is still unshot, 12.5 / 31.2745... of the total.
PAIR_OUTPUT = ["Reading: pair.ini", "Opening: left.tri", "Opening: right.tri",
               "Convergence 0.39969\t\tStep 0", "Convergence 0.00000\t\tStep 1"]


def box_scene(directory, stop_at="-1", step=2, resolution=64):
    """An open box of ten triangles facing inwards, lit by a square lamp in
    its ceiling, seen through the open side (-y) from the default camera.
    Light bounces between the walls; a negative stop_at keeps it running."""
    s = 4.0
    quads = {  # name: corners counter-clockwise seen from inside
        "floor": [(-s, -s, -s), (s, -s, -s), (s, s, -s), (-s, s, -s)],
        "back": [(-s, s, -s), (s, s, -s), (s, s, s), (-s, s, s)],
        "left": [(-s, -s, -s), (-s, s, -s), (-s, s, s), (-s, -s, s)],
        "right": [(s, s, -s), (s, -s, -s), (s, -s, s), (s, s, s)],
        "ceiling": [(-s, s, s), (s, s, s), (s, -s, s), (-s, -s, s)],
    }
    lines = []
    for corners in quads.values():
        a, b, c, d = corners
        lines.append(" ".join("%g %g %g" % p for p in (a, b, c)))
        lines.append(" ".join("%g %g %g" % p for p in (a, c, d)))
    write(os.path.join(directory, "box.tri"), "box\n" + "\n".join(lines) + "\n")
    lamp = [(-1, 1, s - 0.01), (1, 1, s - 0.01), (1, -1, s - 0.01), (-1, -1, s - 0.01)]
    a, b, c, d = lamp
    write(os.path.join(directory, "lamp.tri"),
          "lamp\n" + " ".join("%g %g %g" % p for p in (a, b, c)) + "\n" +
          " ".join("%g %g %g" % p for p in (a, c, d)) + "\n")
    write(os.path.join(directory, "box.ini"),
          "[settings]\nresolution=%d\nstep=%d\nstop_at=%s\nbrightness=15\nobjects=2\n"
          "[camera]\npos_y=-14\n"
          "[object_0]\ntriangles=10\nfile=box.tri\nreflectance_r=180\nreflectance_g=150\nreflectance_b=120\n"
          "emission_r=0\nemission_g=0\nemission_b=0\n"
          "[object_1]\ntriangles=2\nfile=lamp.tri\nreflectance_r=0\nreflectance_g=0\nreflectance_b=0\n"
          "emission_r=255\nemission_g=255\nemission_b=255\n" % (resolution, step, stop_at))
    return "box.ini"


# ---------------------------------------------------------------- tests


def results_in(directory):
    return sorted(f for f in os.listdir(directory) if f.endswith(".6d"))


def test_startup_and_save(binary, directory):
    """Progress lines, then Save6d writes one file per object, byte-exact."""
    p = Program(binary, directory, pair_scene(directory))
    try:
        p.find_window()
        p.wait_lines(len(PAIR_OUTPUT), "the start-up and convergence lines")
        p.wait_quiet()
        check(p.lines == PAIR_OUTPUT, "output was %r" % p.lines)
        check(results_in(directory) == [], "files were written before Save6d")
        p.menu("Save6d")
        wait_until(lambda: results_in(directory) == sorted(PAIR_RESULTS), "the result files")
        for name, expected in PAIR_RESULTS.items():
            with open(os.path.join(directory, name), "rb") as f:
                got = f.read()
            check(got == expected, "%s holds %r" % (name, got))
        check(len(p.lines) == len(PAIR_OUTPUT), "saving printed %r" % p.lines[len(PAIR_OUTPUT):])
    finally:
        p.close()


def test_failed_save_goes_on(binary, directory):
    """A result that cannot be written is reported in one line and the next
    object is still saved; the program keeps running."""
    p = Program(binary, directory, pair_scene(directory))
    try:
        os.mkdir(os.path.join(directory, "left.6d"))  # a directory cannot be replaced by the file
        p.find_window()
        p.wait_lines(len(PAIR_OUTPUT), "the start-up and convergence lines")
        p.wait_quiet()
        p.menu("Save6d")
        wait_until(lambda: os.path.exists(os.path.join(directory, "right.6d")), "the second result file")
        p.wait_lines(len(PAIR_OUTPUT) + 1, "the failure line")
        check(p.lines[len(PAIR_OUTPUT):] == ["Cannot save left.6d: Is a directory"],
              "saving printed %r" % p.lines[len(PAIR_OUTPUT):])
        with open(os.path.join(directory, "right.6d"), "rb") as f:
            check(f.read() == PAIR_RESULTS["right.6d"], "right.6d is wrong")
        check(sorted(os.listdir(directory)) == ["left.6d", "left.tri", "pair.ini", "right.6d", "right.tri"],
              "left behind: %r" % sorted(os.listdir(directory)))
        check(p.proc.poll() is None, "the program ended")
    finally:
        p.close()


def test_escape_exits_cleanly(binary, directory):
    """Escape ends the process with 0, keeps what was printed (the output is
    a pipe here, so fully buffered unless the program flushes) and saves
    nothing."""
    p = Program(binary, directory, pair_scene(directory), line_buffered=False)
    try:
        p.find_window()
        p.key("Escape")
        check(p.wait_exit() == 0, "exit code %s" % p.proc.returncode)
        p.reader.join(timeout=TIMEOUT)
        # The key may come before the solver's second step, never before start-up's lines.
        check(len(p.lines) >= 3 and p.lines == PAIR_OUTPUT[:len(p.lines)], "output was %r" % p.lines)
        check(results_in(directory) == [], "Escape wrote %r" % results_in(directory))
    finally:
        p.close()


def new_lines(p, since):
    return p.steps()[since:]


def test_stepping_commands(binary, directory):
    """Lines every `step` steps from Step 0; Stop then Step runs exactly one
    step and stays stopped; the space key's two lines; Auto restarts."""
    p = Program(binary, directory, box_scene(directory))
    try:
        p.find_window()
        wait_until(lambda: len(p.steps()) >= 4, "four convergence lines")
        first = [s for _, s in p.steps()[:4]]
        check(first == [0, 2, 4, 6], "first steps printed were %r" % first)

        p.menu("Stop")
        p.wait_quiet()
        stopped = p.steps()
        k = stopped[-1][1]  # the counter is now k + 1 or k + 2

        # One step by hand: the handler's line carries the advanced counter,
        # preceded by the idle step's own line when the counter was even.
        p.menu("Step")
        wait_until(lambda: new_lines(p, len(stopped)), "the Step line")
        p.wait_quiet()
        got = [s for _, s in new_lines(p, len(stopped))]
        check(got in ([k + 2], [k + 2, k + 3]), "after Step %d then Step: %r" % (k, got))
        counter = got[-1]  # the counter after the step

        # Space with an odd counter prints once, then with an even counter twice.
        if counter % 2 == 1:
            before = len(p.steps())
            p.key("space")
            wait_until(lambda: new_lines(p, before), "the space key's line")
            p.wait_quiet()
            got = [s for _, s in new_lines(p, before)]
            check(got == [counter + 1], "space at counter %d printed %r" % (counter, got))
            counter += 1
        before = len(p.steps())
        p.key("space")
        wait_until(lambda: len(new_lines(p, before)) >= 2, "the space key's two lines")
        p.wait_quiet()
        got = [s for _, s in new_lines(p, before)]
        check(got == [counter, counter + 1], "space at counter %d printed %r" % (counter, got))
        lines = p.lines[-2:]
        check(lines[0] == lines[1].replace("Step %d" % (counter + 1), "Step %d" % counter),
              "the two lines differ in more than the step: %r" % lines)

        # Other keys do nothing; the solver is still stopped.
        before = len(p.lines)
        for name in ("a", "Return", "F1", "Home", "Prior", "1"):
            p.key(name)
        p.wait_quiet(0.6)
        check(len(p.lines) == before, "stopped solver printed %r" % p.lines[before:])

        p.menu("Auto")
        wait_until(lambda: len(p.steps()) >= before + 3, "the solver to run again")
        resumed = [s for _, s in p.steps()[before:before + 3]]
        check(resumed[1] - resumed[0] == 2 and resumed[2] - resumed[1] == 2 and resumed[0] > counter,
              "after Auto: %r" % resumed)
    finally:
        p.close()


def test_rotation(binary, directory):
    """Arrow keys and a drag turn the picture; the opposite arrow turns it back."""
    p = Program(binary, directory, box_scene(directory))
    try:
        p.find_window()
        wait_until(lambda: p.steps(), "the first step")
        p.menu("Stop")
        p.wait_quiet()
        start = p.redrawn_picture()
        p.key("Left")
        turned = p.wait_picture_change(start, "the left arrow to turn the picture")
        p.key("Right")
        wait_until(lambda: p.picture() == start, "the right arrow to turn it back")
        p.key("Up")
        p.wait_picture_change(start, "the up arrow to turn the picture")
        p.key("Down")
        wait_until(lambda: p.picture() == start, "the down arrow to turn it back")
        check(turned != start, "no change")

        # Drag with the left button: one degree per pixel from the press.
        xdo("mousemove", "--window", p.window, 20, 20)
        xdo("mousedown", 1)
        xdo("mousemove", "--window", p.window, 45, 30)
        dragged = p.wait_picture_change(start, "the drag to turn the picture")
        xdo("mousemove", "--window", p.window, 20, 20)  # back to the press point
        wait_until(lambda: p.picture() == start, "the drag back to the press point")
        xdo("mouseup", 1)
        check(dragged != start, "no change")
    finally:
        p.close()


def count_colours(picture):
    counts = {}
    for row in picture:
        for px in row:
            counts[px] = counts.get(px, 0) + 1
    return counts


def test_antialias(binary, directory):
    """Anti-Alias blends edge pixels and keeps uniform regions' colours."""
    p = Program(binary, directory, pair_scene(directory))
    try:
        window = p.find_window()
        p.wait_lines(len(PAIR_OUTPUT), "the solver to finish")
        if not keep_contents(window):
            raise Failure("cannot reach Xlib to keep the window's picture under the menu")
        # In the screen's bottom-right corner the menu opens up and to the
        # left of the pointer, so it covers the window at one pixel only.
        x, y, w, h, _ = geometry(window)
        p.move(1024 - w, 768 - h)
        plain = p.redrawn_picture()
        p.menu("Anti-Alias", at=(1, 1))
        smooth = p.wait_picture_change(plain, "the anti-aliased frame")
        colours_plain = count_colours(plain)
        check(len(colours_plain) == 3, "plain picture has colours %r" % colours_plain)
        changed = 0
        for yy in range(h):
            for xx in range(w):
                a, b = plain[yy][xx], smooth[yy][xx]
                if a == b:
                    continue
                changed += 1
                # Only pixels at an edge change: some neighbour differs.
                around = [plain[j][i] for j in range(max(0, yy - 1), min(h, yy + 2))
                          for i in range(max(0, xx - 1), min(w, xx + 2))]
                check(any(n != a for n in around), "pixel %d,%d inside a uniform region changed" % (xx, yy))
        check(changed > 10, "only %d pixels changed" % changed)
        # Each triangle's interior and the background keep their exact colour.
        colours_smooth = count_colours(smooth)
        for colour in colours_plain:
            check(colour in colours_smooth, "colour %r lost" % (colour,))
        check(len(colours_smooth) > len(colours_plain), "no blended colours")
        check(len(p.lines) == len(PAIR_OUTPUT), "Anti-Alias printed %r" % p.lines[len(PAIR_OUTPUT):])
    finally:
        p.close()


def run_to_convergence_and_save(binary, directory, resize):
    # A tiny stop_at gives a run of several hundred steps, long enough for
    # the resizes to land while the solver is running.
    config = box_scene(directory, stop_at="1e-30", step=1, resolution=128)
    p = Program(binary, directory, config)
    try:
        window = p.find_window()
        _, _, n, _, _ = geometry(window)
        lines_at_resize = None
        if resize:
            for width, height in ((n + 57, n + 31), (n + 9, n + 90), (n + 40, n + 20)):
                xdo("windowsize", window, width, height)
                wait_until(lambda: geometry(window)[2:4] == (width, height), "the window's new size")
            lines_at_resize = len(p.lines)
        wait_until(lambda: p.steps(), "the first step")
        p.wait_quiet(0.5)  # the solver has stopped itself
        steps = [s for _, s in p.steps()]
        if resize:
            check(lines_at_resize < len(p.lines), "the solver had finished before the resizes")
        picture = p.redrawn_picture()
        p.menu("Save6d")
        wait_until(lambda: results_in(directory) == ["box.6d", "lamp.6d"], "the result files")
        files = {}
        for name in results_in(directory):
            with open(os.path.join(directory, name), "rb") as f:
                files[name] = f.read()
        return files, steps, picture, n
    finally:
        p.close()


def test_resize_changes_nothing(binary, directory):
    """A run whose window is resized saves the same radiosities as one that
    is not, and shows the same N x N picture in the lower-left corner."""
    plain_dir = os.path.join(directory, "plain")
    resized_dir = os.path.join(directory, "resized")
    os.mkdir(plain_dir)
    os.mkdir(resized_dir)
    files_a, steps_a, picture_a, n = run_to_convergence_and_save(binary, plain_dir, resize=False)
    files_b, steps_b, picture_b, _ = run_to_convergence_and_save(binary, resized_dir, resize=True)
    check(steps_a[-1] == steps_b[-1], "converged at step %d and %d" % (steps_a[-1], steps_b[-1]))
    check(files_a == files_b, "result files differ")
    check(b"e" in files_a["box.6d"] or b"." in files_a["box.6d"], "box.6d holds no radiosity")
    bottom = picture_b[len(picture_b) - n:]
    check([row[:n] for row in bottom] == picture_a, "the picture moved or was scaled by the resize")


TESTS = [test_startup_and_save, test_failed_save_goes_on, test_escape_exits_cleanly, test_stepping_commands,
         test_rotation, test_antialias, test_resize_changes_nothing]


def main():
    if len(sys.argv) < 2:
        print(__doc__)
        return 2
    binary = os.path.abspath(sys.argv[1])
    wanted = sys.argv[2:]
    missing = [t for t in ("Xvfb", "xdotool", "xwd", "xwininfo") if not shutil.which(t)]
    if missing:
        print("SKIP: missing " + ", ".join(missing))
        return SKIP
    if not os.access(binary, os.X_OK):
        print("FAIL: no program at " + binary)
        return 1

    screen = None
    # A test run killed by its time limit still takes the X server down.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(1))
    failed = []
    try:
        screen = VirtualScreen()
        for test in TESTS:
            if wanted and test.__name__ not in wanted:
                continue
            directory = tempfile.mkdtemp(prefix="lumetra-e2e-")
            started = time.monotonic()
            try:
                test(binary, directory)
                print("PASS %s (%.1f s)" % (test.__name__, time.monotonic() - started))
            except Exception as e:  # a failed check or a tool that broke
                failed.append(test.__name__)
                print("FAIL %s: %s" % (test.__name__, e))
                for p in STARTED:
                    p.close()
                crashed = [p for p in STARTED if p.exit_code not in (None, 0)]
                for p in crashed:
                    print("     the program ended with code %d; its last lines: %r"
                          % (p.exit_code, p.lines[-3:]))
                if not isinstance(e, Failure) and not crashed:
                    traceback.print_exc()
            finally:
                for p in STARTED:
                    p.close()
                del STARTED[:]
                shutil.rmtree(directory, ignore_errors=True)
            sys.stdout.flush()
    finally:
        if screen is not None:
            screen.close()
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
