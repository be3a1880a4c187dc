#!/usr/bin/python3
"""End-to-end checks of the viewer's camera and exposure keys, driven as a user would.

Usage: navigation_e2e.py BUILD_DIR [test-name ...]
Exit code: 0 all passed, 1 a check failed, 77 Xvfb, python-xlib or Pillow missing.
"""
# Built on the window harness of viewer_e2e.py (a private Xvfb per test,
# XTEST input, pictures read with XGetImage): the mouse wheel and '+'/'-'
# dolly the camera, 'c' prints it, '[' and ']' change the exposure,
# --load shows saved results. The keys without a command, and the wheel
# during a drag, are checked with the older keys in viewer_e2e.py.

import os
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import viewer_e2e as harness  # noqa: E402  (exits with 77 when python-xlib or Pillow is missing)
from viewer_e2e import Program, box_scene, check, wait_until  # noqa: E402

from PIL import Image, ImageChops  # noqa: E402

WHEEL_UP, WHEEL_DOWN = 4, 5  # X buttons; GLUT gives them to the program as buttons 3 and 4


def wheel(screen, program, button):
    program.point(40, 40)
    screen.click(button)


def converged_box(screen, build, directory):
    """The box scene at N = 128 solved in a running viewer: the solver has
    stopped itself. Every step redraws (step=1), so what is shown is the
    radiosity that the keys' fresh pictures are made from."""
    config = box_scene(directory, stop_at="0.001", step=1, resolution=128)
    p = Program(screen, build + "/lumetra", directory, [config])
    p.find_window()
    wait_until(p.steps, "the first step")
    p.wait_quiet(0.5)
    return config, p, p.redrawn_picture()


def changed(before):
    return lambda picture: picture != before


def same_as(before):
    return lambda picture: picture == before


def viewport(picture, n=128):
    return picture.crop((0, picture.height - n, n, picture.height))  # the N x N viewport, lower left


def worst_difference(a, b):
    return max(high for _, high in ImageChops.difference(a, b).getextrema())


def test_dolly_and_exposure_keys(screen, build, directory):
    """A wheel notch up and '+' move the camera closer: the picture grows;
    a notch down and '-' undo them exactly. ']' raises the exposure by half a
    stop: every colour that was not clipped grows by the square root of two;
    '[' brings the picture back exactly, and lowers it from there. None of
    them prints, and the camera never passes the look-at point."""
    _, p, start = converged_box(screen, build, directory)
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

    # The look-at point stays in the middle of the picture, never passed:
    # many steps in keep showing the box (here, its back wall) there.
    for _ in range(40):
        p.key("plus")
    near = p.wait_picture(changed(start), "forty steps in")
    w, h = near.size
    check(near.getpixel((w // 2, h // 2)) != (0, 0, 0), "the camera went through the look-at point")
    p.wait_quiet()
    check(len(p.lines) == lines, "the keys printed %r" % p.lines[lines:])


def test_printed_camera_and_loaded_results(screen, build, directory):
    """After turning and dollying, 'c' prints one line of --set options;
    lumetra-batch --png with them draws the viewer's picture to within one
    8-bit level in every pixel. lumetra --load shows the results that run
    saved, through the same options, without solving, and Save6d writes the
    very same files back. A folder whose files do not fit the scene ends the
    viewer with 2 and names the file."""
    config, p, _ = converged_box(screen, build, directory)
    last_step = p.steps()[-1]
    for name in ("Left", "Left", "Up", "plus", "plus", "plus"):
        p.key(name)
    wheel(screen, p, WHEEL_DOWN)
    p.point(20, 20)  # and a drag of 7 by -4 pixels
    screen.button(1, True)
    p.point(27, 16)
    screen.button(1, False)
    lines = len(p.lines)
    p.key("c")
    p.wait_lines(lines + 1, "the camera line")
    p.wait_quiet()
    check(len(p.lines) == lines + 1, "'c' printed %r" % p.lines[lines:])
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

    saved = {name: harness.read(os.path.join(directory, "solved"), name) for name in ("box.6d", "lamp.6d")}
    p = Program(screen, build + "/lumetra", directory, words + ["--load", "solved", config])
    p.find_window()
    p.wait_quiet(0.5)
    check(p.lines == ["Reading: box.ini", "Opening: box.tri", "Opening: lamp.tri"], "printed %r" % p.lines)
    loaded = viewport(p.redrawn_picture())
    check(worst_difference(loaded, drawn) <= 1,
          "the loaded picture differs from the batch's by %d levels" % worst_difference(loaded, drawn))
    p.menu("Save6d")
    wait_until(lambda: harness.results_in(directory) == ["box.6d", "lamp.6d"], "the result files")
    for name, data in saved.items():
        check(harness.read(directory, name) == data, "%s was not written back byte for byte" % name)
    check(not [line for line in p.lines if line.startswith("Convergence")], "the viewer solved: %r" % p.lines)
    p.close()

    os.remove(os.path.join(directory, "solved", "lamp.6d"))
    p = Program(screen, build + "/lumetra", directory, ["--load", "solved", config])
    check(p.wait_exit() == 2, "a missing result file: exit code %d" % p.proc.returncode)
    check(any("lamp.6d" in e for e in p.errors), "the message does not name lamp.6d: %r" % p.errors)
    check(not screen.windows("LUMETRA"), "a window opened")


TESTS = [f for name, f in list(globals().items()) if name.startswith("test_")]  # in the order above

if __name__ == "__main__":
    harness.TESTS = TESTS
    sys.exit(harness.main())
