#!/usr/bin/env python3
"""End-to-end suite: the real tarsola binary driven as a person drives it.

One Xvfb for the whole run; every scenario starts the program in a fresh working folder with
its own HOME, whose FLTK preferences switch the GTK file dialog off so that FLTK's own chooser
(the same on every machine) is used. Input goes in with xdotool; what comes out is checked in
the program's traces, in screenshots of its window and in the files it writes.

    run_e2e.py --tarsola BIN --expected BIN --batch BIN --artifacts DIR [--only NAME ...]
    run_e2e.py --tarsola BIN --screenshot OUT.png [--solid-screenshot OUT3D.png
               [--relief-screenshot RELIEF.png [--plate PLATE.csv]]] [--foot FOOT]
                                pictures of the window (and the 3D window, and its relief)

On a failure the screen is saved as DIR/<scenario>.png beside DIR/<scenario>.log, which holds
the program's standard output and error and the failure.
"""
import argparse
import os
import re
import shutil
import struct
import subprocess
import sys
import tempfile
import time
import traceback

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import make_foot  # noqa: E402

# FLTK skips the first three lines of its preferences file unread.
FLTK_PREFS = ("; FLTK preferences file format 1.0\n; vendor: fltk.org\n; application: fltk\n"
              "\n[./options]\nFNFCUsesGTK:0\n")

LOAD_TITLE = "Load a image file"
SAVE_TITLE = "Save The Diabetic Insole"
SOLID_TITLE = "Tarsola 3D"
SAVE_SOLID_TITLE = "Save The Insole Solid"
LEVEL_SETTINGS_FILE = "solid_level_mm.txt"
SETTINGS_FILE = "bt_degree_30.txt"

# Where the controls sit inside the main window (x, y, w, h).
LOAD_BUTTON = (115, 30, 83, 35)
SAVE_BUTTON = (210, 29, 83, 35)
RESTORE_BUTTON = (40, 411, 83, 35)
WIDTH_SLIDER = (93, 476, 190, 29)
LIMIT_BUTTON = (315, 480, 80, 25)
LENGTH_SLIDER = (318, 149, 35, 286)
HEIGHT_SLIDER = (405, 149, 35, 286)
VIEW = (130, 86, 150, 360)
SOLID_BUTTON = (305, 29, 83, 35)
# Inside the 3D window.
SOLID_VIEW = (10, 10, 480, 480)
SAVE_SOLID_BUTTON = (580, 500, 110, 30)
PRESSURE_BUTTON = (700, 10, 190, 28)
RELIEF_BUTTON = (700, 146, 90, 24)
PRESSURE_TITLE = "Load a pressure measurement"
MILL_BUTTON = (700, 500, 190, 30)
PRESCRIPTION_BUTTON = (505, 430, 180, 30)
# xdotool matches the title as X reports it, not in UTF-8: "Tarsola " and no "3D".
PRESCRIPTION_TITLE = "^Tarsola [^3]"
# Inside the prescription window.
PAD_BUTTON = (10, 46, 130, 26)
ARCH_BUTTON = (10, 148, 130, 26)
CUP_BUTTON = (10, 184, 130, 26)
# The elements' outlines, the axis and the head line over the solid.
ELEMENT_LINE = b"\xe6\x00\xc8"
# Inside the milling window.
SHOW_PATH_BUTTON = (10, 500, 150, 30)

TIMEOUT = 10.0  # seconds for anything the program should do at once


class Failure(Exception):
    pass


def check(condition, message):
    if not condition:
        raise Failure(message)


def wait_until(condition, what, timeout=TIMEOUT):
    """Polls condition until it returns a true value; fails with `what` after the timeout."""
    deadline = time.monotonic() + timeout
    while True:
        result = condition()
        if result:
            return result
        if time.monotonic() > deadline:
            raise Failure("timed out waiting for " + what)
        time.sleep(0.02)


def f32(value):
    return struct.unpack("<f", struct.pack("<f", value))[0]


def display_size(slider_value, foot_size, full_size):
    """The drawn size that a slider value gives: float value, double arithmetic, float result."""
    return f32(f32(slider_value) / foot_size * full_size)


class XServer:
    """One Xvfb for the whole run, on a display number that the server picks itself."""

    def __init__(self):
        read_end, write_end = os.pipe()
        self.process = subprocess.Popen(
            # -noreset: between scenarios no client is connected, and a server that resets
            # then refuses the next connection for a moment.
            # Room for the 3D window beside the main window.
            ["Xvfb", "-displayfd", str(write_end), "-screen", "0", "1600x1200x24",
             "-nolisten", "tcp", "-noreset"],
            pass_fds=(write_end,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write_end)
        number = b""
        deadline = time.monotonic() + TIMEOUT
        while not number.endswith(b"\n"):
            if time.monotonic() > deadline or self.process.poll() is not None:
                self.stop()
                raise RuntimeError("Xvfb did not start")
            chunk = os.read(read_end, 16)
            if not chunk:
                break
            number += chunk
        os.close(read_end)
        self.display = ":" + number.decode().strip()

    def stop(self):
        if self.process.poll() is None:
            self.process.terminate()
            try:
                self.process.wait(5)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()


class Session:
    """One scenario's world: a working folder, a HOME, and at most one running program."""

    def __init__(self, name, tools, display):
        self.name = name
        self.tools = tools
        self.display = display
        self.root = tempfile.mkdtemp(prefix="tarsola-e2e-")
        self.home = os.path.join(self.root, "home")
        self.work = os.path.join(self.root, "work")
        os.makedirs(os.path.join(self.home, ".fltk", "fltk.org"))
        os.makedirs(self.work)
        with open(os.path.join(self.home, ".fltk", "fltk.org", "fltk.prefs"), "w") as f:
            f.write(FLTK_PREFS)
        self.env = dict(os.environ, DISPLAY=display, HOME=self.home, LC_ALL="C.UTF-8")
        self.env.pop("XAUTHORITY", None)
        self.process = None
        self.window = None
        self.runs = 0
        self.out_path = self.err_path = None

    # --- files of the working folder -------------------------------------------------------

    def path(self, name):
        return os.path.join(self.work, name)

    def make_foot(self, name="foot.bmp"):
        make_foot.write_bmp(self.path(name))
        return self.path(name)

    def listing(self):
        return sorted(os.listdir(self.work))

    def settings(self):
        with open(self.path(SETTINGS_FILE)) as f:
            return f.read()

    # --- the program -----------------------------------------------------------------------

    def start(self, *args):
        self.runs += 1
        self.out_path = os.path.join(self.root, "stdout.%d" % self.runs)
        self.err_path = os.path.join(self.root, "stderr.%d" % self.runs)
        with open(self.out_path, "wb") as out, open(self.err_path, "wb") as err:
            self.process = subprocess.Popen([self.tools.tarsola, *args], cwd=self.work,
                                            env=self.env, stdout=out, stderr=err)
        self.window = self.search("^Tarsola$")

    def run_to_end(self, *args, display=True):
        """Runs the program with arguments that must end it at once, with or without the X
        display; returns (status, stdout, stderr)."""
        env = dict(self.env)
        if not display:
            env.pop("DISPLAY")
        try:
            result = subprocess.run([self.tools.tarsola, *args], cwd=self.work, env=env,
                                    capture_output=True, text=True, timeout=TIMEOUT)
        except subprocess.TimeoutExpired:
            raise Failure("tarsola %s did not end" % " ".join(args))
        return result.returncode, result.stdout, result.stderr

    def xdotool(self, *args, timeout=TIMEOUT):
        result = subprocess.run(["xdotool", *args], env=self.env, capture_output=True,
                                text=True, timeout=timeout)
        check(result.returncode == 0, "xdotool %s failed: %s" % (" ".join(args), result.stderr))
        return result.stdout

    def search(self, title):
        """Waits for a visible window of this program with the given title; returns its id."""
        check(self.process.poll() is None, "the program ended while waiting for " + title)
        try:
            out = self.xdotool("search", "--sync", "--all", "--onlyvisible", "--pid",
                               str(self.process.pid), "--name", title)
        except subprocess.TimeoutExpired:
            raise Failure("no window %r appeared" % title)
        return out.split()[0]

    def visible(self, title):
        result = subprocess.run(["xdotool", "search", "--all", "--onlyvisible", "--pid",
                                 str(self.process.pid), "--name", title],
                                env=self.env, capture_output=True, text=True, timeout=TIMEOUT)
        return result.returncode == 0 and result.stdout.strip() != ""

    def stdout(self):
        with open(self.out_path, "rb") as f:
            return f.read().decode("utf-8", "replace")

    def stderr(self):
        with open(self.err_path, "rb") as f:
            return f.read().decode("utf-8", "replace")

    def wait_for_output(self, start, text, what=None):
        """Waits until `text` appears in standard output after offset `start`; returns what
        was written after `start` up to and including the first `text`."""
        def found():
            out = self.stdout()
            i = out.find(text, start)
            return out[start:i + len(text)] if i >= 0 else None
        return wait_until(found, what or repr(text))

    def count(self, text):
        return self.stdout().count(text)

    def wait_for_recompute(self, minimums_before):
        """Waits for the recompute that a control change asks for: one more "MIN =" trace."""
        wait_until(lambda: self.count("MIN = ") > minimums_before, "a new MIN = trace")
        # The minimum is the last line of a recompute; it must be whole.
        wait_until(lambda: self.stdout().endswith(" \n"), "the MIN = line to end")

    # --- input -----------------------------------------------------------------------------

    def click(self, box, dx=None, dy=None, button=1, window=None):
        x, y, w, h = box
        self.xdotool("mousemove", "--window", window or self.window,
                     str(x + (w // 2 if dx is None else dx)),
                     str(y + (h // 2 if dy is None else dy)), "click", str(button))

    def focus(self, window):
        self.xdotool("windowfocus", "--sync", window)

    def keys(self, *keys, window=None):
        """Types keys into a window of the program after giving it the keyboard focus (there
        is no window manager to do that on a click)."""
        self.focus(window or self.window)
        self.xdotool("key", *keys)

    def control_change(self, action):
        """Runs an input action that changes a control; returns the standard output that the
        recompute it asked for produced."""
        start = len(self.stdout())
        minimums = self.count("MIN = ")
        action()
        self.wait_for_recompute(minimums)
        return self.stdout()[start:]

    def open_dialog(self, button, title, key=None, clear=True, window=None):
        """Opens a dialog with a click on its button (in `window`, the main window unless
        given), or with its shortcut `key`."""
        if key:
            self.keys(key)
        else:
            self.click(button, window=window)
        dialog = self.search(title)
        # The name field starts with the path of the dialog's folder. Cleared, it takes names
        # relative to the working folder (FLTK's chooser completes them against that folder,
        # whichever it lists); kept, a name typed after it names a file of the dialog's folder.
        self.keys("ctrl+a" if clear else "End", *(["BackSpace"] if clear else []), window=dialog)
        return dialog

    def close_dialog(self, title):
        wait_until(lambda: not self.visible(title), "the dialog %r to close" % title)

    def load(self, name, key=None, in_dialog_folder=False):
        """Chooses a file in the Load dialog, by a name relative to the working folder or to the
        folder the dialog starts in; returns the standard output offset before it."""
        start = len(self.stdout())
        dialog = self.open_dialog(LOAD_BUTTON, LOAD_TITLE, key, clear=not in_dialog_folder)
        # The load dialog completes names while they are typed: type the whole name at once.
        self.focus(dialog)
        self.xdotool("type", name)
        self.keys("Return", window=dialog)
        self.close_dialog(LOAD_TITLE)
        return start

    def save(self, name, key=None):
        dialog = self.open_dialog(SAVE_BUTTON, SAVE_TITLE, key)
        self.type_save_name(dialog, name)
        self.close_dialog(SAVE_TITLE)

    def type_save_name(self, dialog, name):
        # The save dialog rewrites its field after every keystroke and leaves the cursor at
        # the start: each character goes in after an End.
        for character in name:
            self.keys("End", character, window=dialog)
        self.keys("Return", window=dialog)

    def cancel_dialog(self, button, title, window=None):
        errors = len(self.stderr())
        dialog = self.open_dialog(button, title, window=window)
        self.keys("Escape", window=dialog)
        self.close_dialog(title)
        wait_until(lambda: self.stderr()[errors:] != "", "a trace on standard error")
        return self.stderr()[errors:]

    def close(self):
        """Closes the main window with Escape; returns the exit status."""
        self.keys("Escape")
        try:
            return self.process.wait(TIMEOUT)
        except subprocess.TimeoutExpired:
            raise Failure("the program did not end after Escape in its window")

    # --- what the screen shows ---------------------------------------------------------------

    def screenshot(self, png=None):
        """The whole screen as (width, height, rgb bytes); also written to `png` if given."""
        xwd = subprocess.run(["xwd", "-root", "-silent"], env=self.env, capture_output=True,
                             timeout=TIMEOUT, check=True).stdout
        ppm = subprocess.run(["convert", "xwd:-", "ppm:-"], input=xwd, capture_output=True,
                             timeout=TIMEOUT, check=True).stdout
        if png:
            subprocess.run(["convert", "xwd:-", png], input=xwd, timeout=TIMEOUT, check=True)
        return parse_ppm(ppm)

    def window_origin(self, window=None):
        out = self.xdotool("getwindowgeometry", "--shell", window or self.window)
        values = dict(line.split("=", 1) for line in out.split())
        return int(values["X"]), int(values["Y"])

    def open_solid_window(self):
        """Opens the 3D window with its button in the main window; returns its id."""
        self.click(SOLID_BUTTON)
        return self.search("^%s$" % SOLID_TITLE)

    def solid_view_pixels(self, window):
        """The 3D view's RGB bytes, row by row from the top."""
        width, _, rgb = self.screenshot()
        ox, oy = self.window_origin(window)
        x, y, w, h = SOLID_VIEW
        return b"".join(rgb[((oy + y + row) * width + ox + x) * 3:((oy + y + row) * width + ox + x + w) * 3]
                        for row in range(h))

    def settled_solid_view(self, window):
        """The 3D view once two screenshots in a row agree."""
        last = [None]

        def same_twice():
            view = self.solid_view_pixels(window)
            settled = view if view == last[0] else None
            last[0] = view
            return settled
        return wait_until(same_twice, "the 3D view to settle")

    def view_pixels(self):
        """The view's 150 x 360 red values as a grid row 0 at the bottom, stride 152."""
        width, _, rgb = self.screenshot()
        ox, oy = self.window_origin()
        grid = bytearray(360 * 152)
        for y in range(360):
            screen_y = oy + VIEW[1] + VIEW[3] - 1 - y
            for x in range(150):
                grid[y * 152 + x] = rgb[(screen_y * width + ox + VIEW[0] + x) * 3]
        return grid

    def settled_view(self):
        """The view once it has stopped changing: a recompute is traced while its frame is
        still being drawn, before the frame reaches the screen, and a screenshot may catch a
        frame half copied to the screen."""
        last = [None]

        def same_twice():
            view = self.view_pixels()
            settled = view if view == last[0] else None
            last[0] = view
            return settled
        return wait_until(same_twice, "the view to settle")

    def stop(self):
        if self.process and self.process.poll() is None:
            self.process.kill()
            self.process.wait()

    def cleanup(self):
        self.stop()
        shutil.rmtree(self.root, ignore_errors=True)


def parse_ppm(data):
    """Width, height and RGB bytes of a binary PPM (comment lines allowed in the header)."""
    fields = []
    i = 0
    while len(fields) < 4:
        while data[i:i + 1].isspace():
            i += 1
        if data[i:i + 1] == b"#":
            i = data.index(b"\n", i)
            continue
        j = i
        while not data[j:j + 1].isspace():
            j += 1
        fields.append(data[i:j])
        i = j
    check(fields[0] == b"P6" and fields[3] == b"255", "unexpected screenshot format %r" % fields)
    width, height = int(fields[1]), int(fields[2])
    return width, height, data[i + 1:i + 1 + width * height * 3]


def read_bmp(path):
    """A BMP's header fields and its pixel rows (scanline 0 first, as stored)."""
    with open(path, "rb") as f:
        data = f.read()
    check(data[:2] == b"BM", "%s is not a BMP file" % path)
    offset, = struct.unpack_from("<I", data, 10)
    header_size, width, height, planes, bpp, compression = struct.unpack_from("<IiiHHI", data, 14)
    check(compression == 0, "%s is compressed" % path)
    pitch = (width * bpp // 8 + 3) // 4 * 4
    rows = [data[offset + r * pitch: offset + r * pitch + width * bpp // 8] for r in range(abs(height))]
    return {"header": header_size, "width": width, "height": height, "bpp": bpp, "rows": rows}


class Expected:
    """The insole that the window-free pipeline computes for given control values."""

    def __init__(self, tools, session, foot, width, length, height, limit):
        out_path = os.path.join(session.root, "expected.raw")
        result = subprocess.run([tools.expected, foot, str(width), str(length), height,
                                 "1" if limit else "0", out_path],
                                capture_output=True, text=True, timeout=TIMEOUT)
        check(result.returncode == 0, "expected_insole failed: " + result.stderr)
        self.line = result.stdout.strip()
        with open(out_path, "rb") as f:
            self.grid = f.read()
        fields = self.line.split()
        self.box = tuple(int(v) for v in fields[1:5])
        self.foot_width, self.foot_length = int(fields[6]), int(fields[7])
        self.lowest = float(fields[fields.index("min") + 1])


def compare_rows(rows, grid, bytes_per_pixel):
    """Cells where the saved rows differ from the grid: list of (x, y, saved, expected)."""
    wrong = []
    for y, row in enumerate(rows):
        for x in range(len(row) // bytes_per_pixel):
            for i in range(bytes_per_pixel):
                if row[x * bytes_per_pixel + i] != grid[y * 152 + x]:
                    wrong.append((x, y, row[x * bytes_per_pixel + i], grid[y * 152 + x]))
    return wrong


# ------------------------------------------------------------------------------------------
# Scenarios. Each gets a fresh Session; a Failure (or any exception) fails it.

LOAD_TRACE = "width 150height 360dpmX 1000pitch 152bpp 8"


def load_foot(s):
    """Loads foot.bmp through the dialog and waits for the recompute that the load asks
    for; returns the standard output offset before it."""
    s.make_foot()
    start = s.load("foot.bmp")
    s.wait_for_output(start, "MIN = ", "the trace of the loaded image and its recompute")
    return start


def check_load_trace(s, tools, start, foot_path):
    """The load's trace, then the traces of the recompute that shapes the new foot at its
    natural size: the lowest grey before the shift, and the lowest height, 10."""
    out = s.wait_for_output(start, "MIN = 10 \n", "the recompute after the load")
    natural = Expected(tools, s, foot_path, 100, 279, "1", False)
    expected = LOAD_TRACE + "min %f\nMIN = 10 \n" % natural.lowest
    check(out == expected, "load trace was %r, not %r" % (out, expected))


def scenario_load_shows_foot_centred(s, tools):
    s.start()
    start = load_foot(s)
    check_load_trace(s, tools, start, s.path("foot.bmp"))
    check(s.stderr() == "", "standard error after a load: %r" % s.stderr())
    check_view_shows_foot(s, tools, s.path("foot.bmp"))


def check_view_shows_foot(s, tools, foot_path):
    """The view shows the test foot centred, at its natural size, in its own greys."""
    # The foot stands left of and below the picture's centre; the view moves it so that the
    # centre of its box lands on the view's centre.
    expected = Expected(tools, s, foot_path, 100, 279, "1", False)
    check(expected.box == (12, 111, 41, 319), "foot box of the test image: " + expected.line)
    wait_until(lambda: any(s.view_pixels()), "the foot to appear in the view")
    view = s.settled_view()
    xs = [x for y in range(360) for x in range(150) if view[y * 152 + x]]
    ys = [y for y in range(360) for x in range(150) if view[y * 152 + x]]
    centre_x = (min(xs) + max(xs) + 1) / 2
    centre_y = (min(ys) + max(ys) + 1) / 2
    check(abs(centre_x - 75) <= 1 and abs(centre_y - 180) <= 1,
          "foot drawn around (%.1f, %.1f), not the view's centre (75, 180)" % (centre_x, centre_y))
    # Every pixel of the view shows the grey of the image cell under it: the foot is drawn at
    # its natural size, moved by whole pixels (here no cell sits on a texel boundary).
    dx = 75 - (12 + 111 + 1) // 2
    dy = 180 - (41 + 319 + 1) // 2
    foot = read_bmp(foot_path)["rows"]
    wrong = [(x, y) for y in range(360) for x in range(150)
             if view[y * 152 + x] != (foot[y - dy][x - dx] if 0 <= y - dy < 360 and 0 <= x - dx < 150 and 0 < y - dy < 359 else 0)]
    check(not wrong, "%d view pixels differ from the foot moved by (%d, %d), first %s"
          % (len(wrong), dx, dy, wrong[:5]))


def scenario_width_slider_mouse_and_keyboard(s, tools):
    s.start()
    load_foot(s)
    foot_width = 100
    # Mouse: a click in the slider's track to the right of the knob moves the value up.
    out = s.control_change(lambda: s.click(WIDTH_SLIDER, dx=WIDTH_SLIDER[2] - 20))
    lines = out.split("\n")
    check(lines[0].startswith(" LU_Point ") and lines[0].endswith(" "),
          "first line after a width change: %r" % lines[0])
    drawn = float(lines[0].split()[1])
    value = round(drawn * foot_width / 150)
    check(foot_width < value <= foot_width * 1.2, "width value %d after clicking right" % value)
    check(lines[0] == " LU_Point %f " % display_size(value, foot_width, 150),
          "%r is not the drawn width of slider value %d" % (lines[0], value))
    check(any(line.startswith("MIN = ") for line in lines), "no MIN = after the width change")
    # Keyboard: the clicked slider has the focus; Left steps it down by one.
    out = s.control_change(lambda: s.keys("Left"))
    check(out.startswith(" LU_Point %f \n" % display_size(value - 1, foot_width, 150)),
          "after Left from %d: %r" % (value, out))
    out = s.control_change(lambda: s.keys("Right"))
    check(out.startswith(" LU_Point %f \n" % display_size(value, foot_width, 150)),
          "after Right back to %d: %r" % (value, out))
    # The width changes the drawn foot: the view's foot is wider than at the natural size.
    view = s.settled_view()
    xs = [x for y in range(360) for x in range(150) if view[y * 152 + x]]
    check(max(xs) - min(xs) + 1 >= value - 1,
          "foot drawn %d pixels wide at width %d" % (max(xs) - min(xs) + 1, value))


def min_trace(out):
    for line in out.split("\n"):
        if line.startswith("min "):
            return float(line.split()[1])
    raise Failure("no min trace in %r" % out)


def scenario_length_and_height_sliders(s, tools):
    s.start()
    load_foot(s)
    foot = s.path("foot.bmp")
    # Restore gives the natural size and ratio 1: the foot's lowest grey is traced unchanged.
    base = s.control_change(lambda: s.click(RESTORE_BUTTON))
    natural = Expected(tools, s, foot, 100, 279, "1", False)
    check(min_trace(base) == natural.lowest, "min %r at the natural size" % base)
    check(" LU_Point" not in base, "Restore traced a width change")
    # Mouse on the length slider: low in the track is longer (a vertical slider grows
    # downwards), which scales every height up, so the lowest height grows; no width trace.
    out = s.control_change(lambda: s.click(LENGTH_SLIDER, dy=LENGTH_SLIDER[3] - 20))
    check(" LU_Point" not in out, "the length slider traced a width change: %r" % out)
    check(min_trace(out) > natural.lowest, "min %r after lengthening" % out)
    # Keyboard from Restore: Tab reaches the width slider, the limit button, the length
    # slider and the height slider, in this order; Down steps a vertical slider up by one.
    s.control_change(lambda: s.click(RESTORE_BUTTON))
    s.keys("Tab", "Tab", "Tab")
    for _ in range(3):
        out = s.control_change(lambda: s.keys("Down"))
    expected = Expected(tools, s, foot, 100, 282, "1", False)
    check(min_trace(out) == expected.lowest,
          "min %r after length 282, the window-free pipeline gives %f" % (out, expected.lowest))
    s.keys("Tab")
    out = s.control_change(lambda: s.keys("Down"))
    expected = Expected(tools, s, foot, 100, 282, "1.01", False)
    check(min_trace(out) == expected.lowest,
          "min %r after ratio 1.01, the window-free pipeline gives %f" % (out, expected.lowest))
    # Mouse near the top of the height slider lowers the ratio well below 1.
    out = s.control_change(lambda: s.click(HEIGHT_SLIDER, dy=40))
    check(min_trace(out) < natural.lowest, "min %r after a low height ratio" % out)


def scenario_limit_button_persists(s, tools):
    s.start()
    check(SETTINGS_FILE not in s.listing(), "settings file before any toggle")
    load_foot(s)
    out = s.control_change(lambda: s.click(LIMIT_BUTTON, dx=8))
    check(s.settings() == "1", "settings file after switching the limit on: %r" % s.settings())
    check("MIN = " in out, "no recompute after the toggle")
    check(s.close() == 0, "exit status after Escape")
    # A restart restores the check: pressing space on it (after focusing it by Tab from
    # Restore) switches it off, and the file follows.
    s.start()
    load_foot(s)
    s.click(RESTORE_BUTTON)
    s.keys("Tab", "Tab")
    s.control_change(lambda: s.keys("space"))
    check(s.settings() == "0", "settings file after switching the restored limit off: %r"
          % s.settings())
    check(s.close() == 0, "exit status after Escape")
    s.start()
    s.click(LIMIT_BUTTON, dx=8)
    wait_until(lambda: s.settings() == "1", "the restart to find the limit off and a click on")


def scenario_restore(s, tools):
    s.start()
    load_foot(s)
    wait_until(lambda: any(s.view_pixels()), "the foot to appear in the view")
    natural_view = s.settled_view()
    s.control_change(lambda: s.click(WIDTH_SLIDER, dx=WIDTH_SLIDER[2] - 10))
    s.control_change(lambda: s.click(LENGTH_SLIDER, dy=30))
    s.control_change(lambda: s.click(HEIGHT_SLIDER, dy=LENGTH_SLIDER[3] - 30))
    out = s.control_change(lambda: s.click(RESTORE_BUTTON))
    natural = Expected(tools, s, s.path("foot.bmp"), 100, 279, "1", False)
    check(min_trace(out) == natural.lowest, "min after Restore: %r (natural size, ratio 1)" % out)
    # After Restore the width slider is back at the foot's width: one step right is 101.
    s.keys("Tab")
    out = s.control_change(lambda: s.keys("Right"))
    check(out.startswith(" LU_Point %f \n" % display_size(101, 100, 150)),
          "width after Restore and one step: %r" % out)
    # A second Restore brings the drawing back to the natural size: the view shows the
    # foot image's own greys again (compared with the load's drawing).
    s.control_change(lambda: s.click(RESTORE_BUTTON))
    try:
        wait_until(lambda: s.view_pixels() == natural_view, "the natural-size drawing", 3)
    except Failure:
        raise Failure("the view after Restore differs from the one after the load")


def scenario_save_matches_window_free_pipeline(s, tools):
    s.start()
    load_foot(s)
    # Width 102, length 284, ratio 1.03, limit on: the window's heights equal the
    # window-free ones exactly, as they do at every setting.
    s.control_change(lambda: s.click(LIMIT_BUTTON, dx=8))
    s.control_change(lambda: s.click(RESTORE_BUTTON))
    s.keys("Tab")
    s.control_change(lambda: s.keys("Right", "Right"))
    s.keys("Tab", "Tab")
    for _ in range(5):
        s.control_change(lambda: s.keys("Down"))
    s.keys("Tab")
    for _ in range(3):
        s.control_change(lambda: s.keys("Down"))
    expected = Expected(tools, s, s.path("foot.bmp"), 102, 284, "1.03", True)
    check(s.stdout().rstrip().endswith("MIN = 10"), "last trace: %r" % s.stdout()[-60:])
    s.save("insole")
    saved_path = s.path("insole.bmp")
    wait_until(lambda: os.path.exists(saved_path), "insole.bmp to be written")
    check("insole" not in s.listing(), "a file without the extension was written too")
    foot = read_bmp(s.path("foot.bmp"))
    saved = wait_until(lambda: (lambda b: b if len(b["rows"]) == 360 else None)(read_bmp(saved_path)),
                       "insole.bmp to be complete")
    for field in ("width", "height", "bpp"):
        check(saved[field] == foot[field], "%s %r, foot image %r" % (field, saved[field], foot[field]))
    wrong = compare_rows(saved["rows"], expected.grid, 1)
    check(not wrong, "%d cells differ from the window-free insole, first (x, y, saved, expected): %s"
          % (len(wrong), wrong[:5]))
    check(sum(1 for row in saved["rows"] for v in row if v) > 10000, "the insole is nearly empty")
    check(s.stderr() == "", "standard error: %r" % s.stderr())


def scenario_cancel_dialogs(s, tools):
    s.start()
    load_foot(s)
    s.control_change(lambda: s.click(RESTORE_BUTTON))
    before_view = s.settled_view()
    before_out = s.stdout()
    before_files = s.listing()
    err = s.cancel_dialog(LOAD_BUTTON, LOAD_TITLE)
    check(err == "*** CANCEL\n", "standard error after cancelling Load: %r" % err)
    err = s.cancel_dialog(SAVE_BUTTON, SAVE_TITLE)
    check(err == "*** CANCEL\n", "standard error after cancelling Save: %r" % err)
    check(s.listing() == before_files, "files changed: %s" % s.listing())
    check(s.stdout() == before_out, "cancelling traced %r" % s.stdout()[len(before_out):])
    check(s.view_pixels() == before_view, "the view changed after cancelling")
    # The foot is still loaded: a save now works.
    s.save("keep")
    wait_until(lambda: os.path.exists(s.path("keep.bmp")), "keep.bmp after the cancels")


def scenario_text_file_as_image(s, tools):
    s.start()
    load_foot(s)
    before_view = s.settled_view()
    s.save("before")
    wait_until(lambda: os.path.exists(s.path("before.bmp")), "before.bmp")
    with open(s.path("notes.txt"), "w") as f:
        f.write("This is a shopping list, not a foot.\nmilk\nbread\n")
    start = s.load("notes.txt", key="ctrl+o")
    s.wait_for_output(start, "Unable to load texture: ", "the load failure trace")
    wait_until(lambda: "Cannot read foot image " in s.stderr(), "the reason of the refusal")
    check(s.stdout()[start:] == "Unable to load texture: ",
          "trace of a failed load: %r" % s.stdout()[start:])
    # A refused file costs nothing: the foot stays in the view, and Save writes its insole.
    check(s.settled_view() == before_view, "the view changed after a refused load")
    s.save("after")
    wait_until(lambda: os.path.exists(s.path("after.bmp")), "after.bmp after the refused load")
    with open(s.path("before.bmp"), "rb") as f:
        before = f.read()
    wait_until(lambda: open(s.path("after.bmp"), "rb").read() == before,
               "the insole saved after the refused load to equal the one before it")
    check(s.process.poll() is None, "the program ended")


def scenario_close_window(s, tools):
    s.start()
    out = s.xdotool("getwindowgeometry", "--shell", s.window)
    size = dict(line.split("=", 1) for line in out.split())
    check((size["WIDTH"], size["HEIGHT"]) == ("477", "544"),
          "window is %sx%s, not 477x544" % (size["WIDTH"], size["HEIGHT"]))
    load_foot(s)
    s.control_change(lambda: s.click(RESTORE_BUTTON))
    status = s.close()
    check(status == 0, "exit status %d after closing the window" % status)


def scenario_foot_argument_and_shortcuts(s, tools):
    # A foot named on the command line, among FLTK's options, in a folder of its own.
    os.makedirs(s.path("feet"))
    make_foot.write_bmp(s.path(os.path.join("feet", "left.bmp")))
    shutil.copy(s.path(os.path.join("feet", "left.bmp")), s.path(os.path.join("feet", "right.bmp")))
    s.start("-geometry", "+40+30", "feet/left.bmp")
    check_load_trace(s, tools, 0, s.path(os.path.join("feet", "left.bmp")))
    check(s.window_origin() == (40, 30), "window at %s despite -geometry +40+30" % (s.window_origin(),))
    check_view_shows_foot(s, tools, s.path(os.path.join("feet", "left.bmp")))
    # Ctrl+O opens the Load dialog in the folder of that foot: a name typed after the
    # dialog's folder is found there.
    start = s.load("right.bmp", key="ctrl+o", in_dialog_folder=True)
    check_load_trace(s, tools, start, s.path(os.path.join("feet", "right.bmp")))
    # Ctrl+S opens the Save dialog, whose name goes through Save's path (".bmp" appended).
    s.save("insole", key="ctrl+s")
    wait_until(lambda: os.path.exists(s.path("insole.bmp")), "insole.bmp after Ctrl+S")
    check(s.stderr() == "", "standard error: %r" % s.stderr())
    check(s.close() == 0, "exit status after Escape")


def scenario_bad_foot_argument(s, tools):
    with open(s.path("notes.txt"), "w") as f:
        f.write("milk\nbread\n")
    s.start("notes.txt")  # waits for the window
    s.wait_for_output(0, "Unable to load texture: ", "the refusal trace")
    check(s.stdout() == "Unable to load texture: ", "trace of the refused foot: %r" % s.stdout())
    wait_until(lambda: "Cannot read foot image notes.txt: " in s.stderr(), "the reason of the refusal")
    check(s.process.poll() is None and s.visible("^Tarsola$"),
          "the window is not open after a refused foot")
    # No foot was ever loaded: the view is black and Save writes nothing.
    wait_until(lambda: not any(s.view_pixels()), "the view to be black")
    before = s.listing()
    errors = len(s.stderr())
    s.click(SAVE_BUTTON)
    # With no image there is nothing to write. Whether the program says so at once or first
    # asks for a name is its own choice; either way no file may appear.
    wait_until(lambda: s.visible(SAVE_TITLE) or len(s.stderr()) > errors,
               "the Save button to answer")
    if s.visible(SAVE_TITLE):
        dialog = s.search(SAVE_TITLE)
        s.keys("ctrl+a", "BackSpace", window=dialog)
        s.type_save_name(dialog, "void")
        s.close_dialog(SAVE_TITLE)
    # Callbacks run one after another: once the limit button's click has written its
    # setting, the save before it has finished. (With no image no recompute is traced.)
    s.click(LIMIT_BUTTON, dx=8)
    wait_until(lambda: SETTINGS_FILE in s.listing(), "the limit setting to be written")
    after = [name for name in s.listing() if name != SETTINGS_FILE]
    check(after == before, "files after saving with no image: %s" % after)


def scenario_command_line(s, tools):
    # --help and --version need no display.
    status, out, err = s.run_to_end("--help", display=False)
    check(status == 0 and err == "", "--help: status %d, stderr %r" % (status, err))
    check(out.startswith("tarsola: ") and "Usage: tarsola [OPTIONS] [FOOT]" in out
          and "-geometry" in out and "--version" in out, "--help printed %r" % out)
    status, out, err = s.run_to_end("--version", display=False)
    check(status == 0 and re.fullmatch(r"tarsola \d+\.\d+\.\d+\n", out),
          "--version: status %d, %r" % (status, out))
    # Wrong command lines end at once with the usage, even with a display to open a window on.
    s.make_foot()
    for args in (["foot.bmp", "foot.bmp"], ["-zz", "foot.bmp"], ["foot.bmp", "-geometry"]):
        status, out, err = s.run_to_end(*args)
        check(status == 2, "tarsola %s: status %d" % (" ".join(args), status))
        check(out == "" and err.startswith("tarsola: ") and "Usage: tarsola" in err,
              "tarsola %s: stdout %r, stderr %r" % (" ".join(args), out, err))


def read_stl(path):
    """A binary STL's bytes and triangle count, after checking that they agree."""
    with open(path, "rb") as f:
        data = f.read()
    check(len(data) >= 84, "%s has %d bytes" % (path, len(data)))
    count, = struct.unpack_from("<I", data, 80)
    check(len(data) == 84 + 50 * count, "%s: %d bytes for %d triangles" % (path, len(data), count))
    check(not data.startswith(b"solid"), "%s begins like an ASCII STL" % path)
    return data, count


def scenario_solid_window(s, tools):
    s.start()
    load_foot(s)
    s.control_change(lambda: s.click(RESTORE_BUTTON))
    solid = s.open_solid_window()
    shown = s.settled_solid_view(solid)
    colours = {shown[i:i + 3] for i in range(0, len(shown), 3)}
    check(len(colours) > 50, "the 3D view shows only %d colours" % len(colours))
    # A left drag turns the insole; r (the view has the keyboard after the click) turns it back.
    # The drag goes in steps, as a hand makes it: sent in one burst it was now and then not
    # taken as a drag at all.
    s.xdotool("mousemove", "--window", solid, "200", "250", "sleep", "0.1", "mousedown", "1",
              "sleep", "0.1", "mousemove", "--window", solid, "260", "290", "sleep", "0.1",
              "mouseup", "1")
    wait_until(lambda: s.settled_solid_view(solid) != shown, "the drag to turn the insole")
    s.keys("r", window=solid)
    try:
        wait_until(lambda: s.settled_solid_view(solid) == shown, "r to reset the camera", 3)
    except Failure:
        raise Failure("the 3D view after r differs from the one before the drag")
    # Save solid: a cancel is traced as Save's is; a name without an ending gets ".stl".
    err = s.cancel_dialog(SAVE_SOLID_BUTTON, SAVE_SOLID_TITLE, window=solid)
    check(err == "*** CANCEL\n", "standard error after cancelling Save solid: %r" % err)
    dialog = s.open_dialog(SAVE_SOLID_BUTTON, SAVE_SOLID_TITLE, window=solid)
    s.type_save_name(dialog, "insole3d")
    s.close_dialog(SAVE_SOLID_TITLE)
    saved_path = s.path("insole3d.stl")
    wait_until(lambda: os.path.exists(saved_path), "insole3d.stl to be written")
    saved, count = read_stl(saved_path)
    check(count > 10000, "the solid has only %d triangles" % count)
    # tarsola-batch makes the same heights, so the same solid, byte for byte.
    batch_path = os.path.join(s.root, "batch.stl")
    result = subprocess.run([tools.batch, s.path("foot.bmp"), "--stl", batch_path],
                            capture_output=True, text=True, timeout=TIMEOUT)
    check(result.returncode == 0, "tarsola-batch --stl failed: " + result.stderr)
    with open(batch_path, "rb") as f:
        check(f.read() == saved, "the 3D window's solid differs from tarsola-batch's")
    check(s.stderr() == "*** CANCEL\n", "standard error: %r" % s.stderr())
    # Escape in the main window ends the program with the 3D window still open.
    check(s.visible("^%s$" % SOLID_TITLE), "the 3D window closed by itself")
    status = s.close()
    check(status == 0, "exit status %d after Escape with the 3D window open" % status)


def plate_measurement(foot_path, pitch=5):
    """A plate's measurement of a foot image's foot as a plain matrix (CSV, first row at the
    toes): 80 kPa on the foot, with the peaks of a forefoot at risk (first and second
    metatarsal heads over 400 kPa, the fifth, the hallux and the heel around 250-300); 0 off
    the foot."""
    rows = read_bmp(foot_path)["rows"]
    on_foot = [(x, y) for y in range(1, 359) for x in range(1, 149) if rows[y][x]]
    low, high = min(y for _, y in on_foot), max(y for _, y in on_foot)
    left, right = min(x for x, _ in on_foot), max(x for x, _ in on_foot)
    length, width = high - low, right - left
    peaks = [(0.30, 0.72, 520), (0.50, 0.74, 430), (0.80, 0.66, 260), (0.30, 0.93, 250),
             (0.50, 0.10, 300)]
    lines = []
    for r in range(360 // pitch):
        y = 360 - (r + 0.5) * pitch
        values = []
        for c in range(150 // pitch):
            x = (c + 0.5) * pitch
            kpa = 0.0
            if rows[int(y)][int(x)]:
                kpa = 80 + sum((peak - 80) * 2.718281828 ** -(((x - left - fx * width) / 9) ** 2 +
                                                               ((y - low - fy * length) / 9) ** 2)
                               for fx, fy, peak in peaks)
            values.append("%.1f" % kpa)
        lines.append(",".join(values))
    return "\n".join(lines) + "\n"


def scenario_relief_from_a_measurement(s, tools):
    s.make_foot()
    with open(s.path("plate.csv"), "w") as f:
        f.write(plate_measurement(s.path("foot.bmp")))
    s.start("foot.bmp")
    s.wait_for_output(0, "MIN = ", "the recompute after the load")
    solid = s.open_solid_window()
    s.settled_solid_view(solid)
    minimums = s.count("MIN = ")
    dialog = s.open_dialog(PRESSURE_BUTTON, PRESSURE_TITLE, window=solid)
    s.focus(dialog)
    s.xdotool("type", "plate.csv")
    s.keys("Return", window=dialog)
    s.close_dialog(PRESSURE_TITLE)
    s.wait_for_recompute(minimums)
    # The relief starts on; switched off and on again, the insole follows each time.
    s.control_change(lambda: s.click(RELIEF_BUTTON, dx=8, window=solid))
    s.control_change(lambda: s.click(RELIEF_BUTTON, dx=8, window=solid))
    view = s.settled_solid_view(solid)
    outline = sum(1 for i in range(0, len(view), 3) if view[i:i + 3] == b"\xff\xff\xff")
    check(outline > 50, "the zones' outlines are not seen on the solid (%d white pixels)" % outline)
    check_saved_is_the_batch_insole(s, tools, ["--pressure", s.path("plate.csv")], "relief")
    check(s.stderr() == "", "standard error: %r" % s.stderr())


def check_saved_is_the_batch_insole(s, tools, options, what):
    """Saves the insole through the dialog and checks it is the one tarsola-batch makes of
    foot.bmp with these options, and not the plain one: the window's `what` reached the file."""
    # A name whose first letter starts no file of the folder: the chooser completes names.
    s.save("insole")
    saved_path = s.path("insole.bmp")
    wait_until(lambda: os.path.exists(saved_path), "insole.bmp to be written")
    batch_path = os.path.join(s.root, "batch.bmp")
    result = subprocess.run([tools.batch, s.path("foot.bmp")] + options + ["-o", batch_path],
                            capture_output=True, text=True, timeout=TIMEOUT)
    check(result.returncode == 0, "tarsola-batch with the %s failed: %s" % (what, result.stderr))
    plain_path = os.path.join(s.root, "plain.bmp")
    subprocess.run([tools.batch, s.path("foot.bmp"), "-o", plain_path], capture_output=True,
                   timeout=TIMEOUT)
    with open(saved_path, "rb") as f:
        saved = f.read()
    with open(batch_path, "rb") as f:
        check(f.read() == saved, "the insole with the %s differs from tarsola-batch's" % what)
    with open(plain_path, "rb") as f:
        check(f.read() != saved, "the insole saved is the one without the %s" % what)


def scenario_save_at_once_is_the_batch_insole(s, tools):
    # The sample foot: at its natural size many pixel centres fall on texel boundaries. A
    # window asked to be larger keeps its size, and Save at once writes the shaped insole.
    shutil.copy(os.path.join(HERE, "..", "..", "samples", "foot.bmp"), s.path("foot.bmp"))
    s.start("-geometry", "900x1000+20+20", "foot.bmp")
    out = s.xdotool("getwindowgeometry", "--shell", s.window)
    size = dict(line.split("=", 1) for line in out.split())
    check((size["WIDTH"], size["HEIGHT"]) == ("477", "544"),
          "window is %sx%s after -geometry 900x1000, not 477x544" % (size["WIDTH"], size["HEIGHT"]))
    s.save("insole", key="ctrl+s")
    saved_path = s.path("insole.bmp")
    wait_until(lambda: os.path.exists(saved_path), "insole.bmp after Ctrl+S")
    batch_path = os.path.join(s.root, "batch.bmp")
    result = subprocess.run([tools.batch, s.path("foot.bmp"), "-o", batch_path],
                            capture_output=True, text=True, timeout=TIMEOUT)
    check(result.returncode == 0, "tarsola-batch failed: " + result.stderr)
    with open(saved_path, "rb") as f:
        saved = f.read()
    with open(batch_path, "rb") as f:
        batch = f.read()
    check(saved == batch, "the insole saved at once differs from tarsola-batch's (%d and %d bytes)"
          % (len(saved), len(batch)))
    check(s.stderr() == "", "standard error: %r" % s.stderr())


def scenario_prescription_pad_and_heel_cup(s, tools):
    shutil.copy(os.path.join(HERE, "..", "..", "samples", "foot.bmp"), s.path("foot.bmp"))
    s.start("foot.bmp")
    s.wait_for_output(0, "MIN = ", "the recompute after the load")
    solid = s.open_solid_window()
    s.settled_solid_view(solid)
    s.click(PRESCRIPTION_BUTTON, window=solid)
    prescription = s.search(PRESCRIPTION_TITLE)
    # The pad and the heel cup switched on: each reaches the insole at the next frame.
    s.control_change(lambda: s.click(PAD_BUTTON, dx=8, window=prescription))
    s.control_change(lambda: s.click(CUP_BUTTON, dx=8, window=prescription))
    view = s.settled_solid_view(solid)
    lines = sum(1 for i in range(0, len(view), 3) if view[i:i + 3] == ELEMENT_LINE)
    check(lines > 50, "the elements' outlines are not seen on the solid (%d pixels)" % lines)
    check_saved_is_the_batch_insole(s, tools, ["--met-pad-mm", "4", "--heel-cup-mm", "6"], "elements")
    # The switches are kept for the next run.
    with open(s.path("element_settings.txt")) as f:
        kept = f.read()
    check("met_pad 1" in kept and "heel_cup 1" in kept, "element_settings.txt: %r" % kept)
    check(s.stderr() == "", "standard error: %r" % s.stderr())


SCENARIOS = [
    ("load_shows_foot_centred", scenario_load_shows_foot_centred),
    ("width_slider_mouse_and_keyboard", scenario_width_slider_mouse_and_keyboard),
    ("length_and_height_sliders", scenario_length_and_height_sliders),
    ("limit_button_persists", scenario_limit_button_persists),
    ("restore", scenario_restore),
    ("save_matches_window_free_pipeline", scenario_save_matches_window_free_pipeline),
    ("cancel_dialogs", scenario_cancel_dialogs),
    ("text_file_as_image", scenario_text_file_as_image),
    ("close_window", scenario_close_window),
    ("foot_argument_and_shortcuts", scenario_foot_argument_and_shortcuts),
    ("bad_foot_argument", scenario_bad_foot_argument),
    ("command_line", scenario_command_line),
    ("solid_window", scenario_solid_window),
    ("save_at_once_is_the_batch_insole", scenario_save_at_once_is_the_batch_insole),
    ("relief_from_a_measurement", scenario_relief_from_a_measurement),
    ("prescription_pad_and_heel_cup", scenario_prescription_pad_and_heel_cup),
]


def crop_window(session, window, size, png):
    whole = os.path.join(session.root, "screen.png")
    session.screenshot(whole)
    x, y = session.window_origin(window)
    subprocess.run(["convert", whole, "-crop", "%dx%d+%d+%d" % (size + (x, y)), "+repage",
                    os.path.abspath(png)], timeout=TIMEOUT, check=True)
    print("wrote " + png)


def window_picture(tools, display, png, foot, solid_png=None, relief_png=None, plate=None,
                   path_png=None, prescription_png=None, prescription_solid_png=None):
    """Writes a picture of the main window with a foot loaded, as a person sees it, and, when
    asked, one of the 3D window showing that foot's insole, one of it relieved under a
    plate's measurement of the foot (written to `plate` too), one with the milling
    window's finishing path over it, and the prescription window with a metatarsal pad, an
    arch support and a heel cup switched on beside the 3D window showing them."""
    session = Session("screenshot", tools, display)
    try:
        session.start()
        if foot:
            shutil.copy(foot, session.path("foot.bmp"))
        else:
            session.make_foot()
        start = session.load("foot.bmp")
        session.wait_for_output(start, "bpp ", "the trace of the loaded image")
        wait_until(lambda: any(session.view_pixels()), "the foot to appear in the view")
        session.settled_view()
        # Move the pointer out of the way so that no button is drawn highlighted.
        session.xdotool("mousemove", "1270", "1010")
        crop_window(session, session.window, (477, 544), png)
        if solid_png:
            # The insole as the sliders make it (Restore recomputes), with the limit on.
            session.control_change(lambda: session.click(LIMIT_BUTTON, dx=8))
            session.control_change(lambda: session.click(RESTORE_BUTTON))
            solid = session.open_solid_window()
            session.xdotool("mousemove", "1270", "1010")
            session.settled_solid_view(solid)
            crop_window(session, solid, (900, 566), solid_png)
            if path_png:
                known = set(session.xdotool("search", "--name", "Tarsola").split())
                session.click(MILL_BUTTON, window=solid)
                # The milling window's title is not found by name: it is the new one.
                mill = wait_until(lambda: (set(session.xdotool("search", "--name", "Tarsola").split())
                                           - known or {None}).pop(), "the milling window")
                session.click(SHOW_PATH_BUTTON, dx=8, window=mill)
                session.xdotool("mousemove", "1590", "1190")
                # The path is planned in the background: wait until the picture holds still.
                time.sleep(2)
                session.settled_solid_view(solid)
                crop_window(session, solid, (900, 566), path_png)
                session.click(SHOW_PATH_BUTTON, dx=8, window=mill)
            if relief_png:
                with open(session.path("plate.csv"), "w") as f:
                    f.write(plate_measurement(session.path("foot.bmp")))
                if plate:
                    shutil.copy(session.path("plate.csv"), plate)
                minimums = session.count("MIN = ")
                dialog = session.open_dialog(PRESSURE_BUTTON, PRESSURE_TITLE, window=solid)
                session.focus(dialog)
                session.xdotool("type", "plate.csv")
                session.keys("Return", window=dialog)
                session.close_dialog(PRESSURE_TITLE)
                session.wait_for_recompute(minimums)
                session.xdotool("mousemove", "1270", "1010")
                session.settled_solid_view(solid)
                crop_window(session, solid, (900, 566), relief_png)
            if prescription_png:
                known = set(session.xdotool("search", "--name", "Tarsola").split())
                session.click(PRESCRIPTION_BUTTON, window=solid)
                # The milling window's title matches too: the prescription window is the new one.
                prescription = wait_until(
                    lambda: (set(session.xdotool("search", "--name", "Tarsola").split()) - known
                             or {None}).pop(), "the prescription window")
                for button in (PAD_BUTTON, ARCH_BUTTON, CUP_BUTTON):
                    session.control_change(
                        lambda box=button: session.click(box, dx=8, window=prescription))
                session.xdotool("mousemove", "1590", "1190")
                session.settled_solid_view(solid)
                crop_window(session, prescription, (440, 560), prescription_png)
                crop_window(session, solid, (900, 566), prescription_solid_png)
        check(session.close() == 0, "the program did not end cleanly")
        return 0
    finally:
        session.cleanup()


def keep_evidence(session, name, artifacts, problem):
    """A failing scenario leaves the screen and the program's output beside the test log."""
    os.makedirs(artifacts, exist_ok=True)
    png = os.path.join(artifacts, name + ".png")
    try:
        session.screenshot(png)
    except Exception as e:  # the X server may be what failed
        png = "(no screenshot: %s)" % e
    log = os.path.join(artifacts, name + ".log")
    with open(log, "w") as f:
        f.write(problem + "\n")
        for label, reader in (("stdout", session.stdout), ("stderr", session.stderr)):
            try:
                f.write("--- %s of the last run ---\n%s\n" % (label, reader()))
            except Exception:
                pass
    return png, log


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--tarsola", required=True)
    parser.add_argument("--expected")
    parser.add_argument("--batch", help="tarsola-batch, whose solid the 3D window's must equal")
    parser.add_argument("--artifacts")
    parser.add_argument("--only", action="append", default=[])
    parser.add_argument("--screenshot", help="only write a picture of the window with a foot")
    parser.add_argument("--solid-screenshot", help="with --screenshot: also a picture of the 3D window")
    parser.add_argument("--relief-screenshot",
                        help="with --solid-screenshot: also the 3D window with a plate's relief")
    parser.add_argument("--plate", help="with --relief-screenshot: keep that plate measurement here")
    parser.add_argument("--path-screenshot",
                        help="with --solid-screenshot: also the 3D window showing the milling path")
    parser.add_argument("--prescription-screenshot", nargs=2, metavar=("WINDOW", "SOLID"),
                        help="with --solid-screenshot: also the prescription window with three "
                             "elements on, and the 3D window showing them")
    parser.add_argument("--foot", help="the foot image of the picture (else one is drawn)")
    args = parser.parse_args()
    if not args.screenshot and not (args.expected and args.batch and args.artifacts):
        parser.error("--expected, --batch and --artifacts are needed to run the scenarios")

    class Tools:
        tarsola = os.path.abspath(args.tarsola)
        expected = os.path.abspath(args.expected or "")
        batch = os.path.abspath(args.batch or "")

    if args.artifacts:
        # Only this run's failures are kept.
        shutil.rmtree(args.artifacts, ignore_errors=True)
    server = XServer()
    if args.screenshot:
        try:
            return window_picture(Tools, server.display, args.screenshot, args.foot,
                                  args.solid_screenshot, args.relief_screenshot, args.plate,
                                  args.path_screenshot,
                                  *(args.prescription_screenshot or (None, None)))
        finally:
            server.stop()
    failures = 0
    began = time.monotonic()
    try:
        for name, scenario in SCENARIOS:
            if args.only and name not in args.only:
                continue
            session = Session(name, Tools, server.display)
            t0 = time.monotonic()
            try:
                scenario(session, Tools)
                print("PASS %-38s %5.1fs" % (name, time.monotonic() - t0), flush=True)
            except Exception as e:
                failures += 1
                problem = "%s: %s" % (type(e).__name__, e) if not isinstance(e, Failure) else str(e)
                if not isinstance(e, Failure):
                    problem += "\n" + traceback.format_exc()
                png, log = keep_evidence(session, name, args.artifacts, problem)
                print("FAIL %-38s %5.1fs  %s\n     screen: %s\n     log: %s"
                      % (name, time.monotonic() - t0, problem, png, log), flush=True)
            finally:
                session.cleanup()
    finally:
        server.stop()
    print("%d scenario(s) failed, %.1fs" % (failures, time.monotonic() - began))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
