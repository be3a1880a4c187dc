#!/usr/bin/python3
"""End-to-end checks of the lumetra window, driven as a user would.

Usage: viewer_e2e.py BUILD_DIR [test-name ...]
Exit code: 0 all passed, 1 a check failed, 77 Xvfb, python-xlib or Pillow missing.
"""
# Each test gets a private Xvfb and a scratch folder, runs the real program
# on small scenes written there, and drives it through the XTEST extension
# (python-xlib): keys, drags, the right-button menu, window moves and
# resizes. It checks standard output and error, the result files and the
# window's pixels (read with XGetImage into a Pillow image).
#
# Facts this relies on, measured under Xvfb without a window manager:
# keyboard focus follows the pointer, so the pointer is moved into the
# window before every key; the freeglut pop-up menu is a top-level window
# named "freeglut menu", placed at the pointer (or up and to the left of it
# near the screen's right and bottom edges), with entries 25 pixels tall
# whose k-th centre lies 25k - 11 pixels below its top.

import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import threading
import time

try:
    from PIL import Image, ImageChops, ImageFilter
    from Xlib import X, XK, display, error
except ImportError as missing:  # scripts/install-deps.sh test installs both
    print("SKIP: %s (python3-xlib and python3-pil)" % missing)
    sys.exit(77)

SKIP = 77
TIMEOUT = 15.0  # seconds any single wait may take before it counts as a failure
MENU = {"Auto": 1, "Stop": 2, "Step": 3, "Anti-Alias": 4, "Save6d": 5}  # entry positions, top first
LINE = re.compile(r"^Convergence (\d+\.\d{5})\t\tStep (-?\d+)$")


class Failure(Exception):
    pass


def check(condition, message):
    if not condition:
        raise Failure(message)


def wait_until(predicate, what, timeout=TIMEOUT):
    # Polls predicate until it returns a true value, which it returns.
    end = time.monotonic() + timeout
    while True:
        value = predicate()
        if value:
            return value
        check(time.monotonic() < end, "timed out waiting for " + what)
        time.sleep(0.02)


def stop(proc):
    if proc.poll() is None:
        proc.terminate()
        try:
            proc.wait(timeout=5)
        except subprocess.TimeoutExpired:
            proc.kill()
            proc.wait()


# ---------------------------------------------------------------- X server


class Screen:
    # A private Xvfb of 1024 x 768 and the given depth, with backing store
    # available (+bs) so that a window can keep its picture under a menu.

    def __init__(self, depth=24):
        # -displayfd: Xvfb takes a free display number itself and writes it
        # once it is ready, so parallel tests never share a server. -noreset:
        # it does not reset when its last client leaves, which a program
        # connecting at that moment would see as "cannot open display".
        read_end, write_end = os.pipe()
        self.proc = subprocess.Popen(["Xvfb", "-displayfd", str(write_end), "-screen", "0",
                                      "1024x768x%d" % depth, "-nolisten", "tcp", "+bs", "-noreset"],
                                     stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, pass_fds=(write_end,))
        os.close(write_end)
        with os.fdopen(read_end) as pipe:
            number = pipe.readline().strip()
        if not number.isdigit():
            stop(self.proc)
            raise Failure("could not start Xvfb")
        self.name = ":" + number
        self.x = display.Display(self.name)
        self.root = self.x.screen().root

    def close(self):
        self.x.close()
        stop(self.proc)

    def windows(self, name):
        # The visible top-level windows of that name.
        found = []
        for w in self.root.query_tree().children:
            try:
                if w.get_attributes().map_state == X.IsViewable and w.get_wm_name() == name:
                    found.append(w)
            except error.XError:  # closed while we looked
                pass
        return found

    def geometry(self, window):
        # (x, y, width, height) on the screen.
        g = window.get_geometry()
        at = self.root.translate_coords(window, 0, 0)
        return at.x, at.y, g.width, g.height

    def pointer(self, x, y):
        self.x.xtest_fake_input(X.MotionNotify, x=x, y=y)
        self.x.sync()

    def button(self, number, down):
        self.x.xtest_fake_input(X.ButtonPress if down else X.ButtonRelease, number)
        self.x.sync()

    def click(self, number):
        self.button(number, True)
        self.button(number, False)

    def key(self, name):
        # Types the key that makes the keysym `name`, with Shift where the
        # keyboard map needs it ('plus' is Shift and '=' on the server's map).
        keysym = XK.string_to_keysym(name)
        check(keysym, "no keysym named " + name)
        code, index = min(self.x.keysym_to_keycodes(keysym), key=lambda c: c[1])
        shift = self.x.keysym_to_keycode(XK.XK_Shift_L) if index & 1 else None
        for event, key in ((X.KeyPress, shift), (X.KeyPress, code), (X.KeyRelease, code), (X.KeyRelease, shift)):
            if key is not None:
                self.x.xtest_fake_input(event, key)
        self.x.sync()


# ---------------------------------------------------------------- program


class Program:
    # One run of lumetra in a folder; its output collected line by line.

    def __init__(self, screen, binary, workdir, args):
        # Standard output is a pipe, fully buffered unless the program
        # flushes: every line must still arrive as it is printed.
        self.screen, self.window, self.killed = screen, None, False
        self.lines, self.errors = [], []
        self.proc = subprocess.Popen([binary] + args, cwd=workdir, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                                     text=True, env=dict(os.environ, DISPLAY=screen.name))
        self.readers = [threading.Thread(target=self._read, args=(s, into), daemon=True)
                        for s, into in ((self.proc.stdout, self.lines), (self.proc.stderr, self.errors))]
        for r in self.readers:
            r.start()
        STARTED.append(self)

    @staticmethod
    def _read(stream, into):
        for line in stream:
            into.append(line.rstrip("\n"))

    def close(self):
        self.killed = self.killed or self.proc.poll() is None
        stop(self.proc)

    def wait_exit(self):
        try:
            code = self.proc.wait(timeout=TIMEOUT)
        except subprocess.TimeoutExpired:
            raise Failure("the program did not exit")
        for r in self.readers:
            r.join(timeout=TIMEOUT)
        return code

    # Output ------------------------------------------------------------
    def steps(self, since=0):
        # The step numbers of the convergence lines, from the since-th on.
        return [int(m.group(2)) for m in map(LINE.match, list(self.lines)) if m][since:]

    def wait_lines(self, count, what):
        wait_until(lambda: len(self.lines) >= count, what)

    def wait_quiet(self, quiet=0.4):
        # Waits until no line has arrived for `quiet` seconds.
        seen, since, end = len(self.lines), time.monotonic(), time.monotonic() + TIMEOUT
        while time.monotonic() - since < quiet:
            check(time.monotonic() < end, "the output never settled")
            time.sleep(0.02)
            if len(self.lines) != seen:
                seen, since = len(self.lines), time.monotonic()

    # Window ------------------------------------------------------------
    def find_window(self):
        def search():
            check(self.proc.poll() is None, "the program ended early: %r" % self.errors)
            return self.screen.windows("LUMETRA")

        self.window = wait_until(search, "the window LUMETRA")[0]
        # Without a window manager it opens at (-1, -1); pictures need it all on the screen.
        self.move(20, 20)
        return self.window

    def geometry(self):
        return self.screen.geometry(self.window)

    def move(self, x, y):
        self.window.configure(x=x, y=y)
        wait_until(lambda: self.geometry()[:2] == (x, y), "the window to move")

    def resize(self, width, height):
        self.window.configure(width=width, height=height)
        wait_until(lambda: self.geometry()[2:] == (width, height), "the window's new size")

    def point(self, x=10, y=10):
        wx, wy, _, _ = self.geometry()
        self.screen.pointer(wx + x, wy + y)

    def key(self, name):
        self.point()  # focus follows the pointer
        self.screen.key(name)

    def menu(self, entry, at=(10, 10)):
        # Opens the menu with the right button at `at` (window coordinates)
        # and chooses the entry; checks on the way that it has five entries.
        self.point(*at)
        self.screen.click(3)
        menu = wait_until(lambda: self.screen.windows("freeglut menu"), "the pop-up menu")[0]
        mx, my, mw, mh = self.screen.geometry(menu)
        check(120 <= mh <= 135, "the menu is %d pixels tall, not five entries" % mh)
        self.screen.pointer(mx + mw // 2, my + 25 * MENU[entry] - 11)
        self.screen.click(1)
        wait_until(lambda: not self.screen.windows("freeglut menu"), "the menu to close")

    def picture(self):
        _, _, w, h = self.geometry()
        raw = self.window.get_image(0, 0, w, h, X.ZPixmap, 0xFFFFFFFF)
        return Image.frombytes("RGB", (w, h), raw.data, "raw", "BGRX")

    def redrawn_picture(self):
        # Forces a redraw (left arrow, right arrow: the same angles again)
        # and returns the picture once two screenshots in a row agree.
        self.key("Left")
        self.key("Right")
        last = [self.picture()]

        def settled():
            time.sleep(0.1)
            now = self.picture()
            same, last[0] = now == last[0], now
            return now if same else None

        return wait_until(settled, "the picture to settle")

    def wait_picture(self, predicate, what):
        def ready():
            picture = self.picture()
            return picture if predicate(picture) else None

        return wait_until(ready, what)


STARTED = []  # every program a test started, stopped after it


# ---------------------------------------------------------------- scenes


def write(directory, name, text):
    with open(os.path.join(directory, name), "w", newline="") as f:
        f.write(text)
    return name


def results_in(directory):
    return sorted(f for f in os.listdir(directory) if f.endswith(".6d"))


def read(directory, name):
    with open(os.path.join(directory, name), "rb") as f:
        return f.read()


def scene(directory, name, settings, objects):
    # Writes a configuration and its triangle files. `settings` are lines
    # after the object count; `objects` are (file, text, reflectance, emission).
    text = "[settings]\nobjects=%d\n%s\n" % (len(objects), settings)
    for k, (file, triangles, reflectance, emission) in enumerate(objects):
        text += "[object_%d]\nfile=%s\n" % (k, write(directory, file, triangles))
        for key, rgb in (("reflectance", reflectance), ("emission", emission)):
            text += "".join("%s_%s=%d\n" % (key, c, v) for c, v in zip("rgb", rgb))
    return write(directory, name, text)


def pair_scene(directory):
    # Two single-triangle emitters that cannot see each other: each faces -y
    # (towards the camera), and the right one stands behind the left one's
    # plane, where it sees only the left one's back, which is never drawn.
    # Neither receives anything, so each keeps its emission as its radiosity.
    # The solver converges after its second step.
    return scene(directory, "pair.ini", "resolution=64\nstep=1",
                 [("left.tri", "left\n-6 0 -2  -1 0 -2  -1 0 3\n", (200, 200, 200), (255, 128, 0)),
                  ("right.tri", "right\n1 5 -2  6 5 -2  6 5 3\n", (100, 100, 100), (51, 0, 204))])


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
    # An open box of ten triangles facing inwards, lit by a square lamp in
    # its ceiling, seen through the open side (-y) from the default camera.
    # Light bounces between the walls; a negative stop_at keeps it running.
    s = 4
    quads = [[(-s, -s, -s), (s, -s, -s), (s, s, -s), (-s, s, -s)],  # floor, back, left, right, ceiling
             [(-s, s, -s), (s, s, -s), (s, s, s), (-s, s, s)],
             [(-s, -s, -s), (-s, s, -s), (-s, s, s), (-s, -s, s)],
             [(s, s, -s), (s, -s, -s), (s, -s, s), (s, s, s)],
             [(-s, s, s), (s, s, s), (s, -s, s), (-s, -s, s)]]
    lamp = [(-1, 1, s - 0.01), (1, 1, s - 0.01), (1, -1, s - 0.01), (-1, -1, s - 0.01)]

    def two_triangles(a, b, c, d):
        return "".join(" ".join("%g %g %g" % p for p in t) + "\n" for t in ((a, b, c), (a, c, d)))

    return scene(directory, "box.ini",
                 "resolution=%d\nstep=%d\nstop_at=%s\nbrightness=15\n[camera]\npos_y=-14" % (resolution, step, stop_at),
                 [("box.tri", "box\n" + "".join(two_triangles(*q) for q in quads), (180, 150, 120), (0, 0, 0)),
                  ("lamp.tri", "lamp\n" + two_triangles(*lamp), (0, 0, 0), (255, 255, 255))])


# ---------------------------------------------------------------- tests


def test_startup_save_and_escape(screen, build, directory):
    # Progress lines. A result that cannot be written (a directory is in the
    # way) is reported in one line, the next object is still saved and the
    # program keeps running; then Save6d writes one file per object,
    # byte-exact. Anti-Alias blends edge pixels and keeps uniform regions'
    # colours. Escape ends the process with 0 and saves nothing more.
    p = Program(screen, build + "/lumetra", directory, [pair_scene(directory)])
    blocked = os.path.join(directory, "left.6d")
    os.mkdir(blocked)
    window = p.find_window()
    p.wait_lines(len(PAIR_OUTPUT), "the start-up and convergence lines")
    p.wait_quiet()
    check(p.lines == PAIR_OUTPUT, "output was %r" % p.lines)
    check(results_in(directory) == ["left.6d"], "files were written before Save6d")
    p.menu("Save6d")
    p.wait_lines(len(PAIR_OUTPUT) + 1, "the failure line")
    failure = ["Cannot save left.6d: Is a directory"]
    check(p.lines[len(PAIR_OUTPUT):] == failure, "saving printed %r" % p.lines[len(PAIR_OUTPUT):])
    wait_until(lambda: os.path.exists(os.path.join(directory, "right.6d")), "the second result file")
    check(read(directory, "right.6d") == PAIR_RESULTS["right.6d"], "right.6d is wrong")
    os.remove(os.path.join(directory, "right.6d"))  # so that the next save is seen whole
    os.rmdir(blocked)
    check(p.proc.poll() is None, "the program ended")
    p.menu("Save6d")
    wait_until(lambda: results_in(directory) == sorted(PAIR_RESULTS), "the result files")
    for name, expected in PAIR_RESULTS.items():
        check(read(directory, name) == expected, "%s holds %r" % (name, read(directory, name)))
        os.remove(os.path.join(directory, name))
    check(sorted(os.listdir(directory)) == ["left.tri", "pair.ini", "right.tri"],
          "left behind: %r" % sorted(os.listdir(directory)))
    # The server keeps the window's picture while the menu covers it, so
    # closing the menu does not make the program redraw it plainly.
    window.change_attributes(backing_store=X.WhenMapped)
    # In the screen's bottom-right corner the menu opens up and to the left
    # of the pointer, so it covers the window at one pixel only.
    _, _, w, h = p.geometry()
    p.move(1024 - w, 768 - h)
    plain = p.redrawn_picture()
    p.menu("Anti-Alias", at=(1, 1))
    smooth = p.wait_picture(lambda pic: pic != plain, "the anti-aliased frame")
    colours_plain = set(c for _, c in plain.getcolors())
    check(len(colours_plain) == 3, "plain picture has colours %r" % colours_plain)
    # Only pixels at an edge change (some neighbour in the plain picture
    # differs), and enough of them; each triangle's interior and the
    # background keep their exact colour.
    def mask(picture):
        return picture.convert("L").point(lambda v: 255 if v else 0)
    differs = mask(ImageChops.difference(plain, smooth))
    edges = mask(ImageChops.difference(plain.filter(ImageFilter.MaxFilter(3)), plain.filter(ImageFilter.MinFilter(3))))
    inside = ImageChops.subtract(differs, edges).getbbox()
    check(inside is None, "pixels inside a uniform region changed, within %r" % (inside,))
    check(differs.histogram()[255] > 10, "only %d pixels changed" % differs.histogram()[255])
    colours_smooth = set(c for _, c in smooth.getcolors(w * h))
    check(colours_plain < colours_smooth, "colours lost or none blended: %r" % (colours_plain - colours_smooth))
    p.key("Escape")
    check(p.wait_exit() == 0, "exit code %s" % p.proc.returncode)
    check(p.lines == PAIR_OUTPUT + failure, "saving, Anti-Alias or Escape printed %r" % p.lines[len(PAIR_OUTPUT):])
    check(results_in(directory) == [], "Escape wrote %r" % results_in(directory))


def test_refused_scenes(screen, build, directory):
    # A scene the configuration or the GL refuses ends the viewer with 0, a
    # refused value with 2, an option that is neither ours nor GLUT's (whose
    # options come before the path) with 1, each saying why; an unreadable
    # configuration leaves it running (empty, the solver stopped) and says so.
    write(directory, "objects.ini", "[settings]\nobjects = 1000000000\n")
    write(directory, "resolution.ini", "[settings]\nresolution = 100000\n")
    write(directory, "bad.ini", "[settings]\nresolution = 64\novershoot = 2\n")
    write(directory, "good.ini", "[settings]\nresolution = 64\n")
    for args, code, message in (
            (["objects.ini"], 0, "objects.ini:2: objects = 1000000000: at most 256"),
            (["resolution.ini"], 0, "resolution.ini: resolution = 100000: "),
            (["-geometry", "100x100+0+0", "bad.ini"], 2, "Error: bad.ini:3: overshoot = 2: must be 0 or 1"),
            (["--set", "display=gamma", "good.ini"], 2, "Error: --set: display = gamma: must be linear or srgb"),
            (["-geometry", "100x100+0+0", "-bogus", "good.ini"], 1,
             "lumetra: The following argument was not expected: -bogus")):
        p = Program(screen, build + "/lumetra", directory, args)
        check(p.wait_exit() == code, "%s: exit code %d" % (args, p.proc.returncode))
        check(any(message in e for e in p.errors), "%s: standard error was %r" % (args, p.errors))
        check(p.lines in ([], ["Reading: " + args[-1]]), "%s: printed %r" % (args, p.lines))
    p = Program(screen, build + "/lumetra", directory, ["missing.ini"])
    p.find_window()
    message = "missing.ini: cannot read the configuration (No such file or directory)"
    wait_until(lambda: any(message in e for e in p.errors), "the message")
    time.sleep(0.5)
    check(p.proc.poll() is None, "ended by itself: %r" % p.errors)


def test_refuses_a_16_bit_screen(screen, build, directory):
    # The warning on standard error, nothing on standard output, no window.
    low = Screen(16)
    try:
        p = Program(low, build + "/lumetra", directory, [pair_scene(directory)])
        check(p.wait_exit() == 0, "exit code %d" % p.proc.returncode)
        check(p.lines == [] and p.errors == ["Warning: Please change to 24 or 32 bit colour depth"],
              "printed %r and %r" % (p.lines, p.errors))
        check(low.windows("LUMETRA") == [], "a window opened")
    finally:
        low.close()


def test_stepping_and_turning(screen, build, directory):
    # Lines every `step` steps from Step 0; Stop then Step runs exactly one
    # step and stays stopped; the space key's two lines; other keys do
    # nothing; turning the view by keys and drags; Auto restarts.
    p = Program(screen, build + "/lumetra", directory, [box_scene(directory)])
    p.find_window()
    wait_until(lambda: len(p.steps()) >= 4, "four convergence lines")
    check(p.steps()[:4] == [0, 2, 4, 6], "first steps printed were %r" % p.steps()[:4])

    p.menu("Stop")
    p.wait_quiet()
    before = len(p.steps())
    k = p.steps()[-1]  # the counter is now k + 1 or k + 2

    # One step by hand: the handler's line carries the advanced counter,
    # preceded by the idle step's own line when the counter was even.
    p.menu("Step")
    wait_until(lambda: p.steps(before), "the Step line")
    p.wait_quiet()
    got = p.steps(before)
    check(got in ([k + 2], [k + 2, k + 3]), "after Step %d then Step: %r" % (k, got))
    counter = got[-1]

    # Space with an odd counter prints once, then with an even counter twice.
    if counter % 2 == 1:
        before = len(p.steps())
        p.key("space")
        wait_until(lambda: p.steps(before), "the space key's line")
        p.wait_quiet()
        check(p.steps(before) == [counter + 1], "space at counter %d printed %r" % (counter, p.steps(before)))
        counter += 1
    before = len(p.steps())
    p.key("space")
    wait_until(lambda: len(p.steps(before)) >= 2, "the space key's two lines")
    p.wait_quiet()
    check(p.steps(before) == [counter, counter + 1], "space at counter %d printed %r" % (counter, p.steps(before)))
    last = p.lines[-2:]
    check(last[0] == last[1].replace("Step %d" % (counter + 1), "Step %d" % counter),
          "the two lines differ in more than the step: %r" % last)

    # Other keys, among them the neighbours and shifted forms of the command
    # keys, neither print nor change the picture; the solver is still stopped.
    start = p.redrawn_picture()
    before = len(p.lines)
    for name in ("a", "Return", "F1", "Home", "1", "C", "equal", "underscore", "braceleft", "braceright",
                 "KP_Multiply", "Next"):
        p.key(name)
    p.wait_quiet(0.6)
    check(len(p.lines) == before, "stopped solver printed %r" % p.lines[before:])
    check(p.redrawn_picture() == start, "a key without a command changed the picture")

    # Arrow keys turn the picture by 10 degrees and the opposite arrow turns
    # it back; a drag turns it one degree per pixel from the press point,
    # and a wheel notch during the drag dollies without moving that point.
    turned = {}
    for there, back in (("Left", "Right"), ("Up", "Down")):
        p.key(there)
        turned[there] = p.wait_picture(lambda pic: pic != start, "the %s arrow to turn the picture" % there)
        p.key(back)
        p.wait_picture(lambda pic: pic == start, "the %s arrow to turn it back" % back)
    # Dragging 10 pixels to the right turns as the left arrow does, 10 up as the up arrow.
    p.point(20, 20)
    screen.button(1, True)
    for (x, y), arrow in (((30, 20), "Left"), ((20, 10), "Up")):
        p.point(x, y)
        p.wait_picture(lambda pic: pic == turned[arrow], "a drag to %d,%d to turn as %s does" % (x, y, arrow))
    screen.click(4)
    p.wait_picture(lambda pic: pic != turned["Up"], "the wheel during the drag")
    screen.click(5)
    p.wait_picture(lambda pic: pic == turned["Up"], "the opposite notch during the drag")
    p.point(20, 20)
    p.wait_picture(lambda pic: pic == start, "the drag back to the press point")
    screen.button(1, False)

    before = len(p.steps())
    p.menu("Auto")
    wait_until(lambda: len(p.steps(before)) >= 3, "the solver to run again")
    a, b, c = p.steps(before)[:3]
    check(b - a == 2 and c - b == 2 and a > counter, "after Auto: %r" % ([a, b, c],))


SHOOTERS = ["--set", "shooters=4", "--set"]  # and threads=N


def run_to_convergence_and_save(screen, build, directory, resize, threads):
    # A tiny stop_at gives a run of many steps, long enough for the resizes
    # to land while the solver is running. Four shooters a step are captured
    # on `threads` threads (beyond one: headless contexts beside the window's).
    args = SHOOTERS + ["threads=%d" % threads, box_scene(directory, "1e-30", 1, 128)]
    p = Program(screen, build + "/lumetra", directory, args)
    p.find_window()
    n = p.geometry()[2]
    if resize:
        for width, height in ((n + 57, n + 31), (n + 9, n + 90), (n + 40, n + 20)):
            p.resize(width, height)
        lines_at_resize = len(p.lines)
    wait_until(p.steps, "the first step")
    p.wait_quiet(0.5)  # the solver has stopped itself
    if resize:
        check(lines_at_resize < len(p.lines), "the solver had finished before the resizes")
    wait_until(lambda: any(re.match(r"Solved: stop_at 1e-30 reached after \d+ steps in ", e) for e in p.errors),
               "the viewer's Solved line")
    picture = p.redrawn_picture()
    p.menu("Save6d")
    wait_until(lambda: results_in(directory) == ["box.6d", "lamp.6d"], "the result files")
    p.close()
    return {name: read(directory, name) for name in results_in(directory)}, p.steps()[-1], picture, n


def test_resize_and_threads_change_nothing_and_batch_agrees(screen, build, directory):
    # A run whose window is resized, capturing on one thread, saves the same
    # radiosities as one that is not, capturing on two, and shows the same
    # N x N picture in the lower-left corner; and lumetra-batch writes
    # byte-identical files after the same steps.
    plain, resized = os.path.join(directory, "plain"), os.path.join(directory, "resized")
    os.mkdir(plain)
    os.mkdir(resized)
    files_a, last_a, picture_a, n = run_to_convergence_and_save(screen, build, plain, False, 2)
    files_b, last_b, picture_b, _ = run_to_convergence_and_save(screen, build, resized, True, 1)
    check(last_a == last_b, "converged at step %d and %d" % (last_a, last_b))
    check(files_a == files_b, "result files differ")
    check(b"e" in files_a["box.6d"] or b"." in files_a["box.6d"], "box.6d holds no radiosity")
    check(picture_b.crop((0, picture_b.height - n, n, picture_b.height)) == picture_a,
          "the picture moved or was scaled by the resize")
    batch = subprocess.run([build + "/lumetra-batch", "box.ini", "--out", "batch"] + SHOOTERS + ["threads=1"],
                           cwd=plain, timeout=120, stdout=subprocess.PIPE, text=True)
    check(batch.returncode == 0, "lumetra-batch ended with %d" % batch.returncode)
    check(batch.stdout.rstrip().endswith("Step %d" % last_a), "lumetra-batch stopped elsewhere")
    for name, data in files_a.items():
        check(read(plain, "batch/" + name) == data, "lumetra-batch wrote another " + name)


WHEEL_UP, WHEEL_DOWN = 4, 5  # X buttons; GLUT gives them to the program as buttons 3 and 4


def wheel(screen, program, button):
    program.point(40, 40)
    screen.click(button)


def changed(before):
    return lambda picture: picture != before


def same_as(before):
    return lambda picture: picture == before


def viewport(picture, n=128):
    return picture.crop((0, picture.height - n, n, picture.height))  # the N x N viewport, lower left


def worst_difference(a, b):
    return max(high for _, high in ImageChops.difference(a, b).getextrema())


def test_navigation_keys_printed_camera_and_loaded_results(screen, build, directory):
    """The box scene at N = 128 solved in a running viewer (every step
    redraws, so what is shown is the radiosity the keys' fresh pictures are
    made from). A wheel notch up and '+' move the camera closer: the picture
    grows; a notch down and '-' undo them exactly. ']' raises the exposure by
    half a stop: every colour that was not clipped grows by the square root
    of two; '[' brings the picture back exactly, and lowers it from there.
    None of them prints. After turning and dollying, 'c' prints one line of
    --set options; lumetra-batch --png with them draws the viewer's picture
    to within one 8-bit level in every pixel. lumetra --load shows the
    results that run saved, through the same options, without solving, and
    Save6d writes the very same files back. A folder whose files do not fit
    the scene ends the viewer with 2 and names the file."""
    config = box_scene(directory, stop_at="0.001", step=1, resolution=128)
    p = Program(screen, build + "/lumetra", directory, [config])
    p.find_window()
    wait_until(p.steps, "the first step")
    p.wait_quiet(0.5)
    start = p.redrawn_picture()
    lines = len(p.lines)
    p.key("plus")
    closer = p.wait_picture(changed(start), "'+' to move the camera closer")
    p.key("minus")
    p.wait_picture(same_as(start), "'-' to move it back")
    wheel(screen, p, WHEEL_UP)
    p.wait_picture(same_as(closer), "a wheel notch up to move it as '+' does")
    wheel(screen, p, WHEEL_DOWN)
    p.wait_picture(same_as(start), "a wheel notch down to move it back")

    def lit(picture):
        return sum(1 for c in picture.convert("L").getdata() if c > 0)
    check(lit(closer) > lit(start), "lit pixels %d, then %d: not closer" % (lit(start), lit(closer)))

    p.key("bracketright")
    brighter = p.wait_picture(changed(start), "']' to brighten the picture")
    p.key("bracketleft")
    p.wait_picture(same_as(start), "'[' to bring the picture back")
    p.key("bracketleft")
    darker = p.wait_picture(changed(start), "'[' to darken the picture")
    p.key("bracketright")
    p.wait_picture(same_as(start), "']' to bring it back")
    compared = 0
    for before, up, down in zip(start.getdata(), brighter.getdata(), darker.getdata()):
        if max(before) < 40 or max(before) > 170:  # dark pixels round coarsely; bright ones clip
            continue
        for b, u, d in zip(before, up, down):
            check(abs(u - b * 2 ** 0.5) <= 2.0 and abs(d - b / 2 ** 0.5) <= 2.0,
                  "a channel of %d became %d and %d" % (b, u, d))
        compared += 1
    check(compared > 100, "only %d pixels could be compared" % compared)

    last_step = p.steps()[-1]
    for name in ("Left", "Left", "Up", "plus", "plus", "plus"):
        p.key(name)
    wheel(screen, p, WHEEL_DOWN)
    p.point(20, 20)  # and a drag of 7 by -4 pixels
    screen.button(1, True)
    p.point(27, 16)
    screen.button(1, False)
    p.key("c")
    p.wait_lines(lines + 1, "the camera line")
    p.wait_quiet()
    check(len(p.lines) == lines + 1, "the keys and 'c' printed %r" % p.lines[lines:])
    words = p.lines[-1].split(" ")
    keys = [w.split("=")[0] for w in words[1::2]]
    check(words[0::2] == ["--set"] * 10 and keys == ["pos_x", "pos_y", "pos_z", "lookat_x", "lookat_y", "lookat_z",
                                                    "up_x", "up_y", "up_z", "fov"],
          "the camera line is %r" % p.lines[-1])
    shown = viewport(p.redrawn_picture())
    p.close()
    batch = subprocess.run([build + "/lumetra-batch", config, "--out", "solved", "--png", "solved.png"] + words,
                           cwd=directory, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True, timeout=120)
    check(batch.returncode == 0, "lumetra-batch ended with %d: %s" % (batch.returncode, batch.stderr))
    check(batch.stdout.rstrip().endswith("Step %d" % last_step), "lumetra-batch stopped elsewhere than the viewer")
    drawn = Image.open(os.path.join(directory, "solved.png")).convert("RGB")
    check(drawn.size == (128, 128), "the batch picture is %r" % (drawn.size,))
    check(worst_difference(shown, drawn) <= 1, "the pictures differ by %d levels" % worst_difference(shown, drawn))

    saved = {name: read(os.path.join(directory, "solved"), name) for name in ("box.6d", "lamp.6d")}
    p = Program(screen, build + "/lumetra", directory, words + ["--load", "solved", config])
    p.find_window()
    p.wait_quiet(0.5)
    check(p.lines == ["Reading: box.ini", "Opening: box.tri", "Opening: lamp.tri"], "printed %r" % p.lines)
    loaded = viewport(p.redrawn_picture())
    check(worst_difference(loaded, drawn) <= 1,
          "the loaded picture differs from the batch's by %d levels" % worst_difference(loaded, drawn))
    p.menu("Save6d")
    wait_until(lambda: results_in(directory) == ["box.6d", "lamp.6d"], "the result files")
    for name, data in saved.items():
        check(read(directory, name) == data, "%s was not written back byte for byte" % name)
    check(not [line for line in p.lines if line.startswith("Convergence")], "the viewer solved: %r" % p.lines)
    p.close()

    os.remove(os.path.join(directory, "solved", "lamp.6d"))
    p = Program(screen, build + "/lumetra", directory, ["--load", "solved", config])
    check(p.wait_exit() == 2, "a missing result file: exit code %d" % p.proc.returncode)
    check(any("lamp.6d" in e for e in p.errors), "the message does not name lamp.6d: %r" % p.errors)
    check(not screen.windows("LUMETRA"), "a window opened")


TESTS = [f for name, f in list(globals().items()) if name.startswith("test_")]  # in the order above


def main():
    if len(sys.argv) < 2:
        print(__doc__)
        return 2
    build = os.path.abspath(sys.argv[1])
    wanted = sys.argv[2:]
    if not shutil.which("Xvfb"):
        print("SKIP: no Xvfb")
        return SKIP
    # A run killed by its time limit still takes the X servers down.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(1))
    failed = []
    for test in TESTS:
        if wanted and test.__name__ not in wanted:
            continue
        directory = tempfile.mkdtemp(prefix="lumetra-e2e-")
        started = time.monotonic()
        screen = None
        try:
            screen = Screen()
            test(screen, build, directory)
            print("PASS %s (%.1f s)" % (test.__name__, time.monotonic() - started))
        except Exception as e:  # a failed check, or a tool that broke
            failed.append(test.__name__)
            print("FAIL %s: %s: %s" % (test.__name__, type(e).__name__, e))
            for p in STARTED:
                if not p.killed and p.proc.poll() not in (None, 0):
                    print("     the program ended with code %d; its last lines: %r, %r"
                          % (p.proc.returncode, p.lines[-3:], p.errors[-3:]))
        finally:
            for p in STARTED:
                p.close()
            del STARTED[:]
            if screen is not None:
                screen.close()
            shutil.rmtree(directory, ignore_errors=True)
        sys.stdout.flush()
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
