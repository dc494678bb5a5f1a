#!/usr/bin/env python3
"""End-to-end tests of the Linux program: real windows on a private Xvfb, with
openbox or without a window manager, against a request-logging server that
serves a start page which reports its loads and keydowns back.

Usage: e2e.py --nubeko PATH --no-web-view PATH --text-alloc-fails PATH
              --probe PATH --host HOST:PORT [--artifacts DIR] [unittest args]
"""

import argparse
import atexit
import ctypes
import ctypes.util
import glob
import http.server
import os
import re
import select
import shutil
import signal
import subprocess
import sys
import tempfile
import threading
import time
import unittest
import urllib.parse

HERE = os.path.dirname(os.path.abspath(__file__))
START_PATH = "/images/nubeko/index.html"
OUTER = (788, 716)
PANE = (-8, 0, 792, 688)
PAGE_BLUE = (0x20, 0x50, 0xC0)
CAPTION_PREFIX = "Nubeko2.0" + " " * 46 + "时间："
CAPTION = re.compile(re.escape(CAPTION_PREFIX) + r"\d{4}年\d{1,2}月\d{1,2}日(\d{1,2}时(\d{1,2}分(\d{1,2}秒)?)?)?")
FATAL_PREFIX = "运行时出错!\r\n\r\n错误信息："
GTK_RESPONSE_OK = -5
GTK_MESSAGE_ERROR = 3

options = None  # parsed command line
open_desktops = []  # closed at exit too, should a test run be cut short


def spawn(args, **kwargs):
    """Starts a process that the kernel ends should this test process die."""
    return subprocess.Popen(["setpriv", "--pdeathsig", "KILL", "--"] + list(args), **kwargs)


def wait_for(what, condition, timeout=60.0, interval=0.1):
    """Polls condition until it returns something true; fails after timeout."""
    end = time.monotonic() + timeout
    while True:
        value = condition()
        if value:
            return value
        if time.monotonic() > end:
            raise AssertionError(f"timed out after {timeout:.0f} s waiting for {what}")
        time.sleep(interval)


def centred(display, outer):
    """The window's top-left corner: halves truncated toward zero."""
    return tuple(int((d - o) / 2) for d, o in zip(display, outer))


# ---------------------------------------------------------------- the site


class Site:
    """The picture site's server: serves the start page (or 500) and logs
    every request."""

    def __init__(self, host):
        address, port = host.rsplit(":", 1)
        self.address = (address, int(port))
        self.answer_500 = False
        self.requests = []  # (path, query dict)
        self.lock = threading.Lock()
        self.server = None
        with open(os.path.join(HERE, "start_page.html"), "rb") as page:
            self.page = page.read()

    def start(self):
        site = self

        class Handler(http.server.BaseHTTPRequestHandler):
            def do_GET(self):
                url = urllib.parse.urlsplit(self.path)
                query = dict(urllib.parse.parse_qsl(url.query))
                with site.lock:
                    site.requests.append((url.path, query))
                if url.path == START_PATH and site.answer_500:
                    self.reply(500, b"<h1>500</h1>")
                elif url.path == START_PATH:
                    self.reply(200, site.page)
                elif url.path.startswith("/log/"):
                    self.reply(204, b"")
                else:
                    self.reply(404, b"")

            def reply(self, status, body):
                self.send_response(status)
                self.send_header("Content-Type", "text/html; charset=utf-8")
                self.send_header("Cache-Control", "no-store")
                self.send_header("Content-Length", str(len(body)))
                self.end_headers()
                self.wfile.write(body)

            def log_message(self, *args):
                pass

        http.server.ThreadingHTTPServer.allow_reuse_address = True
        self.server = http.server.ThreadingHTTPServer(self.address, Handler)
        threading.Thread(target=self.server.serve_forever, daemon=True).start()

    def stop(self):
        if self.server:
            self.server.shutdown()
            self.server.server_close()
            self.server = None

    def logged(self, what, **match):
        """The queries of /log/<what> requests whose fields match."""
        with self.lock:
            return [q for p, q in self.requests
                    if p == "/log/" + what and all(q.get(k) == str(v) for k, v in match.items())]

    def count(self, path):
        with self.lock:
            return sum(1 for p, _ in self.requests if p == path)


# ---------------------------------------------------------------- the desktop


class Program:
    def __init__(self, desktop, command, env):
        self.desktop = desktop
        self.log = os.path.join(desktop.tmp, f"program-{len(desktop.programs)}.log")
        with open(self.log, "wb") as log:
            self.process = spawn(command, env=env, stdout=log, stderr=subprocess.STDOUT,
                                            cwd=desktop.tmp, start_new_session=True)
        self.pid = self.process.pid
        self.window = None

    def alive(self):
        return self.process.poll() is None

    def exit_status(self, timeout=30.0):
        wait_for(f"process {self.pid} to end", lambda: not self.alive(), timeout)
        return self.process.returncode

    def output(self):
        with open(self.log, "rb") as log:
            return log.read().decode(errors="replace")


class Desktop:
    """A private X server of a given size, optionally with openbox, and the
    programs started on it. Everything is ended by PID in close()."""

    def __init__(self, width, height, wm):
        self.size = (width, height)
        self.wm = wm
        self.tmp = tempfile.mkdtemp(prefix="nubeko-e2e-")
        self.helpers = []  # Popen of Xvfb, openbox, spies
        self.programs = []
        self.env = self._fresh_env("desktop")
        open_desktops.append(self)
        try:
            self._start_x()
            if wm == "openbox":
                self.helpers.append(spawn(["openbox", "--sm-disable"], env=self.env,
                                                     stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL))
                wait_for("openbox", lambda: "window id" in self.xprop_root("_NET_SUPPORTING_WM_CHECK"))
        except BaseException:
            self.close()
            raise

    def _fresh_env(self, name):
        home = os.path.join(self.tmp, name)
        env = {k: v for k, v in os.environ.items()
               if not k.startswith(("XDG_", "WAYLAND", "DBUS_", "GTK_", "GDK_", "LD_PRELOAD", "FAKETIME"))}
        env.update(HOME=home, XDG_CONFIG_HOME=f"{home}/.config", XDG_CACHE_HOME=f"{home}/.cache",
                   XDG_DATA_HOME=f"{home}/.local/share", XDG_STATE_HOME=f"{home}/.local/state",
                   XDG_RUNTIME_DIR=f"{home}/run", LC_ALL="C.UTF-8", NO_AT_BRIDGE="1")
        os.makedirs(f"{home}/run", mode=0o700)
        if hasattr(self, "display"):
            env["DISPLAY"] = self.display
        return env

    def _start_x(self):
        read_end, write_end = os.pipe()
        w, h = self.size
        self.helpers.append(spawn(
            ["Xvfb", "-displayfd", str(write_end), "-screen", "0", f"{w}x{h}x24", "-nolisten", "tcp"],
            pass_fds=(write_end,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL))
        os.close(write_end)
        number = b""
        end = time.monotonic() + 60
        while not number.endswith(b"\n"):
            ready, _, _ = select.select([read_end], [], [], max(0.0, end - time.monotonic()))
            chunk = os.read(read_end, 16) if ready else b""
            if not chunk:
                os.close(read_end)
                raise AssertionError("Xvfb did not start")
            number += chunk
        os.close(read_end)
        self.display = ":" + number.decode().strip()
        self.env["DISPLAY"] = self.display

    def close(self):
        if self in open_desktops:
            open_desktops.remove(self)
        for program in self.programs:
            end_process_tree(program.process)
        for helper in reversed(self.helpers):
            end_process_tree(helper)
        shutil.rmtree(self.tmp, ignore_errors=True)

    # ---- programs

    def launch(self, path, *args, **extra_env):
        """Starts a program with its own HOME and XDG folders, from a folder
        of its own."""
        env = self._fresh_env(f"home-{len(self.programs)}")
        env.update(extra_env)
        program = Program(self, [path, *args], env)
        self.programs.append(program)
        return program

    def toplevel(self, program, visible=False, timeout=60.0):
        """The program's top-level window (not GDK's hidden leader window)."""
        def find():
            if not program.alive():
                raise AssertionError(f"the program ended with {program.process.returncode}:\n"
                                     + program.output())
            args = ["search", "--onlyvisible"] if visible else ["search"]
            for line in self.run("xdotool", *args, "--pid", str(program.pid), check=False).split():
                if "not found" not in self.xprop(int(line), "_NET_WM_WINDOW_TYPE"):
                    return int(line)
            return None
        return wait_for(f"a window of process {program.pid}", find, timeout, 0.02)

    # ---- X tools

    def run(self, *args, check=True):
        result = subprocess.run(args, env=self.env, capture_output=True, timeout=60)
        if check and result.returncode != 0:
            raise AssertionError(f"{args} failed: {result.stderr.decode(errors='replace')}")
        return result.stdout.decode(errors="replace")

    def xprop(self, window, name):
        return self.run("xprop", "-id", str(window), name, check=False)

    def xprop_root(self, name):
        return self.run("xprop", "-root", name, check=False)

    def title(self, window):
        return parse_title(self.xprop(window, "_NET_WM_NAME"))

    def geometry(self, window):
        """Absolute x, y, width, height."""
        info = self.run("xwininfo", "-id", str(window))
        field = lambda name: int(re.search(name + r":\s+(-?\d+)", info).group(1))
        return (field("Absolute upper-left X"), field("Absolute upper-left Y"), field("Width"),
                field("Height"))

    def frame(self, window):
        """The window manager's frame around a top-level window, or the window
        itself when nothing reparented it."""
        tree = self.run("xwininfo", "-tree", "-id", str(window))
        root = int(re.search(r"Root window id: (0x[0-9a-f]+)", tree).group(1), 16)
        parent = int(re.search(r"Parent window id: (0x[0-9a-f]+)", tree).group(1), 16)
        return window if parent == root else parent

    def activate(self, window):
        if self.wm:
            self.run("xdotool", "windowactivate", "--sync", str(window))
        else:
            self.run("xdotool", "windowfocus", "--sync", str(window))

    def keys(self, window, *keys):
        """Real key presses, after giving the window the focus."""
        verb = "windowactivate" if self.wm else "windowfocus"
        self.run("xdotool", verb, "--sync", str(window), "key", *keys)

    def close_window(self, window):
        """The window manager's close: its close keystroke under openbox; without
        one, the WM_DELETE_WINDOW message a window manager would send."""
        if self.wm:
            self.keys(window, "alt+F4")
        else:
            send_delete_window(self.display, window)

    def screenshot(self):
        w, h = self.size
        data = subprocess.run(["import", "-silent", "-window", "root", "-depth", "8", "rgb:-"],
                              env=self.env, capture_output=True, timeout=60).stdout
        return Screenshot(w, h, data)

    def save_screenshot(self, name):
        if options.artifacts:
            os.makedirs(options.artifacts, exist_ok=True)
            subprocess.run(["import", "-silent", "-window", "root",
                            os.path.join(options.artifacts, name + ".png")],
                           env=self.env, capture_output=True, timeout=60)


class Screenshot:
    def __init__(self, width, height, data):
        self.width, self.height, self.data = width, height, data

    def on_screen(self, x, y):
        return 0 <= x < self.width and 0 <= y < self.height and len(self.data) == self.width * self.height * 3

    def pixel(self, x, y):
        i = (y * self.width + x) * 3
        return tuple(self.data[i:i + 3])


class TitleSpy:
    """Every value the window's _NET_WM_NAME takes, from now on, as the X
    server reports it."""

    def __init__(self, desktop, window):
        self.values = []
        self.lock = threading.Lock()
        self.process = spawn(["xprop", "-spy", "-id", str(window), "_NET_WM_NAME"],
                                        env=desktop.env, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        desktop.helpers.append(self.process)
        threading.Thread(target=self._read, daemon=True).start()

    def _read(self):
        for line in self.process.stdout:
            with self.lock:
                self.values.append((time.monotonic(), parse_title(line.decode(errors="replace"))))

    def seen(self):
        with self.lock:
            return list(self.values)


def parse_title(xprop_line):
    if "=" not in xprop_line:
        return None  # not set
    value = xprop_line.split("=", 1)[1].strip()
    return value[1:-1] if value.startswith('"') else value


def end_process_tree(process):
    """Ends a process we started, and whatever it started (WebKit's helper
    processes), by PID."""
    if process.poll() is not None:
        return
    family = [process.pid] + descendants(process.pid)
    for pid in family:
        try:
            os.kill(pid, signal.SIGTERM)
        except ProcessLookupError:
            pass
    try:
        process.wait(timeout=10)
    except subprocess.TimeoutExpired:
        pass
    for pid in family:
        try:
            os.kill(pid, signal.SIGKILL)
        except ProcessLookupError:
            pass
    process.wait()


def descendants(pid):
    children = {}
    for stat in glob.glob("/proc/[0-9]*/stat"):
        try:
            with open(stat) as f:
                fields = f.read().rsplit(")", 1)[1].split()
            children.setdefault(int(fields[1]), []).append(int(stat.split("/")[2]))
        except (OSError, IndexError, ValueError):
            pass
    found, queue = [], [pid]
    while queue:
        for child in children.get(queue.pop(), []):
            found.append(child)
            queue.append(child)
    return found


def send_delete_window(display, window):
    """Sends WM_PROTOCOLS / WM_DELETE_WINDOW to a window, as a window manager's
    close does."""
    x11 = ctypes.cdll.LoadLibrary(ctypes.util.find_library("X11"))
    x11.XOpenDisplay.restype = ctypes.c_void_p
    x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
    x11.XInternAtom.restype = ctypes.c_ulong
    x11.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
    x11.XSendEvent.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_long, ctypes.c_void_p]
    x11.XFlush.argtypes = [ctypes.c_void_p]
    x11.XCloseDisplay.argtypes = [ctypes.c_void_p]

    class ClientMessage(ctypes.Structure):
        _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong), ("send_event", ctypes.c_int),
                    ("display", ctypes.c_void_p), ("window", ctypes.c_ulong), ("message_type", ctypes.c_ulong),
                    ("format", ctypes.c_int), ("data", ctypes.c_long * 5), ("pad", ctypes.c_long * 16)]

    dpy = x11.XOpenDisplay(display.encode())
    if not dpy:
        raise AssertionError("cannot open " + display)
    try:
        event = ClientMessage(type=33, window=window, format=32,  # 33: ClientMessage
                              message_type=x11.XInternAtom(dpy, b"WM_PROTOCOLS", 0))
        event.data[0] = x11.XInternAtom(dpy, b"WM_DELETE_WINDOW", 0)
        x11.XSendEvent(dpy, window, 0, 0, ctypes.byref(event))
        x11.XFlush(dpy)
    finally:
        x11.XCloseDisplay(dpy)


# ---------------------------------------------------------------- scenarios


class DesktopTest(unittest.TestCase):
    """A test class sharing one desktop and one site."""

    screen = (1920, 1080)
    wm = "openbox"

    @classmethod
    def setUpClass(cls):
        cls.desktop = Desktop(*cls.screen, wm=cls.wm)
        cls.addClassCleanup(cls.desktop.close)
        cls.site = Site(options.host)
        cls.site.start()
        cls.addClassCleanup(cls.site.stop)
        cls.addClassCleanup(lambda: cls.desktop.save_screenshot(cls.__name__))

    def wait_ticking(self, window, timeout=30.0):
        """Waits until the window has shown two different captions."""
        seen = set()

        def two_captions():
            title = self.desktop.title(window) or ""
            if CAPTION.fullmatch(title):
                seen.add(title)
            return len(seen) >= 2
        wait_for("the caption to tick", two_captions, timeout)


class MainWindowTest(DesktopTest):
    """One copy of the program for the whole class, and a second one for a
    while; the tests run in the order of their names."""

    page = None  # the first copy's page, known once a key reached it

    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        cls.program = cls.desktop.launch(options.nubeko)
        cls.window = cls.desktop.toplevel(cls.program)
        cls.titles = TitleSpy(cls.desktop, cls.window)
        cls.desktop.toplevel(cls.program, visible=True)

    def test_0_working_directory_is_the_program_folder(self):
        self.assertEqual(os.readlink(f"/proc/{self.program.pid}/cwd"),
                         os.path.dirname(os.path.realpath(options.nubeko)))

    def test_1_title_is_empty_until_the_first_tick_then_ticks(self):
        wait_for("three captions", lambda: len({v for _, v in self.titles.seen() if v}) >= 3, 30)
        values = [v for _, v in self.titles.seen()]
        self.assertEqual(values[0], "", "the title before the first tick")
        for value in values[1:]:
            self.assertTrue(CAPTION.fullmatch(value), f"not a caption: {value!r}")
        self.assertGreaterEqual(len(set(values[1:])), 3, "the caption changes every second")

    def test_2_outer_rectangle_is_centred_and_fixed(self):
        d = self.desktop
        self.assertEqual(d.geometry(d.frame(self.window)), centred(d.size, OUTER) + OUTER)
        hints = d.xprop(self.window, "WM_NORMAL_HINTS")
        minimum = re.search(r"minimum size: (\d+) by (\d+)", hints)
        maximum = re.search(r"maximum size: (\d+) by (\d+)", hints)
        self.assertTrue(minimum and maximum, hints)
        self.assertEqual(minimum.groups(), maximum.groups(), "a fixed frame has min = max size")
        self.assertEqual(tuple(map(int, minimum.groups())), d.geometry(self.window)[2:])
        if self.wm:
            actions = d.xprop(self.window, "_NET_WM_ALLOWED_ACTIONS")
            self.assertIn("_NET_WM_ACTION_MINIMIZE", actions)
            self.assertIn("_NET_WM_ACTION_CLOSE", actions)
            for action in ("_NET_WM_ACTION_MAXIMIZE_HORZ", "_NET_WM_ACTION_MAXIMIZE_VERT",
                           "_NET_WM_ACTION_RESIZE"):
                self.assertNotIn(action, actions)

    def assert_pane_shown(self):
        """The page fills the pane at (-8, 0) 792x688 of the client area: its
        8-pixel red left edge is hidden, and the pane ends at 784, 688."""
        d = self.desktop
        cx, cy, cw, ch = d.geometry(self.window)
        y = max(0, -cy) + 100  # a row on screen
        wait_for("the page in the window", lambda: d.screenshot().pixel(cx, cy + y) == PAGE_BLUE)
        shot = d.screenshot()
        right, bottom = PANE[0] + PANE[2], PANE[1] + PANE[3]
        for x, y, inside in [(0, y, True), (right - 1, y, True), (right, y, False),
                             (400, 0, True), (400, bottom - 1, True), (400, bottom, False)]:
            if x < cw and y < ch and shot.on_screen(cx + x, cy + y):
                colour = shot.pixel(cx + x, cy + y)
                if inside:
                    self.assertEqual(colour, PAGE_BLUE, f"client pixel {x},{y} lies in the pane")
                else:
                    self.assertNotEqual(colour, PAGE_BLUE, f"client pixel {x},{y} lies outside the pane")

    def test_3_start_page_is_requested_and_shown(self):
        wait_for("the start page request", lambda: self.site.count(START_PATH) >= 1)
        wait_for("the start page to load", lambda: self.site.logged("loaded"))
        self.assert_pane_shown()

    def keys_before(self, entry):
        """The keys that reached the same page before a logged key, in order,
        once all of their reports are in."""
        n = int(entry["n"])

        def earlier():
            found = {int(q["n"]): q["key"] for q in self.site.logged("key", page=entry["page"])}
            return [found[i] for i in range(1, n)] if all(i in found for i in range(1, n)) else None
        wait_for("the earlier keys' reports", lambda: earlier() is not None)
        return earlier()

    def test_4_tab_is_taken_enter_and_shift_escape_reach_the_page(self):
        d = self.desktop
        d.keys(self.window, "Tab", "shift+Tab", "Return")
        enter = wait_for("Enter in the page", lambda: self.site.logged("key", key="Enter"))[0]
        # Shift on its own is an ordinary key and reaches the page.
        self.assertEqual(self.keys_before(enter), ["Shift"], "what reached the page before Enter")
        type(self).page = enter["page"]
        d.keys(self.window, "shift+Escape")
        escape = wait_for("Shift+Escape in the page", lambda: self.site.logged("key", key="Escape", shift=1))[0]
        self.assertEqual(self.keys_before(escape), ["Shift", "Enter", "Shift"])
        self.assertTrue(self.program.alive(), "Shift+Escape must not close the window")

    def test_5_second_copy_runs_beside_and_closes_alone(self):
        if self.page is None:
            self.skipTest("needs the key test's page")
        d = self.desktop
        loads = len(self.site.logged("loaded"))
        # The command line is ignored, also what GTK would take for itself.
        second = d.launch(options.nubeko, "--display=:9999", "--help", "http://example.invalid/")
        other = d.toplevel(second, visible=True)
        self.assertNotEqual(other, self.window)
        self.wait_ticking(other)
        wait_for("the second copy's page", lambda: len(self.site.logged("loaded")) > loads)
        d.activate(other)
        # Activated again, the first window puts the focus back into its page.
        d.keys(self.window, "Return")
        wait_for("Enter in the first copy's page",
                 lambda: len(self.site.logged("key", key="Enter", page=self.page)) == 2)
        d.close_window(other)
        self.assertEqual(second.exit_status(), 0)
        self.assertTrue(self.program.alive(), "closing one copy ended the other")
        closed = time.monotonic()
        wait_for("the first copy's caption to tick on",
                 lambda: len({v for t, v in self.titles.seen() if t > closed}) >= 2, 30)

    def test_6_minimise_and_restore_change_nothing(self):
        if not self.wm:
            self.skipTest("without a window manager nothing can minimise")
        d = self.desktop
        frame = d.frame(self.window)
        # Moved first: a restore keeps the place the user gave the window.
        x, y = d.geometry(frame)[:2]
        d.run("xdotool", "windowmove", "--sync", str(self.window), str(x + 40), str(y + 30))
        wait_for("the window to move", lambda: d.geometry(frame)[:2] == (x + 40, y + 30), 10)
        before = (d.geometry(frame), d.geometry(self.window))
        d.run("xdotool", "windowminimize", "--sync", str(self.window))
        wait_for("the window to be iconic", lambda: "Iconic" in d.xprop(self.window, "WM_STATE"))
        d.activate(self.window)
        wait_for("the window to be normal", lambda: "Normal" in d.xprop(self.window, "WM_STATE"))
        # The window manager animates the restore; then all must be as before.
        try:
            wait_for("the restored rectangles", lambda: (d.geometry(frame), d.geometry(self.window)) == before, 10)
        finally:
            self.assertEqual((d.geometry(frame), d.geometry(self.window)), before)
        self.assert_pane_shown()

    def test_7_escape_ends_the_program_with_status_0(self):
        self.desktop.keys(self.window, "Escape")
        self.assertEqual(self.program.exit_status(), 0)


class Openbox1920x1080(MainWindowTest):
    screen, wm = (1920, 1080), "openbox"


class Openbox800x600(MainWindowTest):
    screen, wm = (800, 600), "openbox"


class NoWm1920x1080(MainWindowTest):
    screen, wm = (1920, 1080), None


class NoWm800x600(MainWindowTest):
    screen, wm = (800, 600), None


def faked_clock(moment):
    """Environment that freezes the program's wall clock at a local moment;
    the monotonic clock, which drives the timers, keeps running."""
    library = sorted(glob.glob("/usr/lib/*/faketime/libfaketime.so.1"))
    if not library:
        raise unittest.SkipTest("libfaketime is not installed")
    return dict(LD_PRELOAD=library[0], FAKETIME=moment, FAKETIME_DONT_FAKE_MONOTONIC="1", TZ="UTC")


class FixedClock(DesktopTest):
    wm = None

    def test_caption_for_a_fixed_clock(self):
        cases = [("2016-01-22 15:32:25", "2016年1月22日15时32分25秒"),
                 ("2016-01-22 15:00:00", "2016年1月22日15时"),
                 ("2016-01-22 00:00:00", "2016年1月22日"),
                 ("2016-12-31 23:59:59", "2016年12月31日23时59分59秒"),
                 ("2016-01-22 00:00:07", "2016年1月22日0时0分7秒")]
        started = [(self.desktop.launch(options.nubeko, **faked_clock(moment)), moment, text)
                   for moment, text in cases]
        for program, moment, text in started:
            with self.subTest(moment=moment):
                window = self.desktop.toplevel(program, visible=True)
                title = wait_for("a caption", lambda: self.desktop.title(window), 30)
                self.assertEqual(title, CAPTION_PREFIX + text)
                self.desktop.keys(window, "Escape")
                self.assertEqual(program.exit_status(), 0)


class ServerFaults(DesktopTest):
    wm = None

    def test_program_runs_on_when_the_site_fails(self):
        for fault in ("answers 500", "is down"):
            with self.subTest(site=fault):
                if fault == "answers 500":
                    self.site.answer_500 = True
                else:
                    self.site.stop()
                before = self.site.count(START_PATH)
                program = self.desktop.launch(options.nubeko)
                window = self.desktop.toplevel(program, visible=True)
                self.wait_ticking(window)
                if fault == "answers 500":
                    wait_for("the start page request", lambda: self.site.count(START_PATH) > before)
                self.wait_ticking(window)
                self.assertTrue(program.alive())
                self.desktop.keys(window, "Escape")
                self.assertEqual(program.exit_status(), 0)


class FatalErrorBox(DesktopTest):
    def test_error_box_then_status_255(self):
        moment, time_text = "2016-01-22 15:32:25", "2016年1月22日15时32分25秒"
        cases = [
            ("the web view cannot be made", options.no_web_view, {}, "载入启动窗口失败"),
            ("no memory for a text", options.text_alloc_fails, faked_clock(moment),
             f"分配 {len(time_text.encode()) + 1} 字节内存失败!"),
        ]
        for name, path, env, message in cases:
            with self.subTest(name):
                log = os.path.join(self.desktop.tmp, name.replace(" ", "-") + ".log")
                program = self.desktop.launch(path, GTK_MODULES=options.probe, NUBEKO_E2E_DIALOG_LOG=log,
                                              **env)
                box = wait_for("the error box", lambda: self.find_box(program), 60)
                report = wait_for("the box's report", lambda: read_box_report(log), 30)
                self.assertEqual(report["title"], "错误")
                self.assertEqual(report["type"], GTK_MESSAGE_ERROR)
                self.assertEqual(report["icon"], ["dialog-error"])
                self.assertEqual(report["label"], [FATAL_PREFIX + message + "\r\n"])
                self.assertEqual(report["button"], [GTK_RESPONSE_OK])
                if path == options.no_web_view:
                    self.assertEqual(self.visible_windows(program), [box], "only the box is shown")
                self.desktop.keys(box, "Return")
                self.assertEqual(program.exit_status(), 0xFF)

    def visible_windows(self, program):
        out = self.desktop.run("xdotool", "search", "--onlyvisible", "--pid", str(program.pid), check=False)
        return [int(w) for w in out.split()]

    def find_box(self, program):
        if not program.alive():
            raise AssertionError(f"ended with {program.process.returncode} before showing the box")
        return next((w for w in self.visible_windows(program) if self.desktop.title(w) == "错误"), None)


def read_box_report(path):
    """What the probe module saw in the first message box: title and type, and
    lists of icons, label texts and button responses."""
    try:
        with open(path) as f:
            lines = f.read().splitlines()
    except FileNotFoundError:
        return None
    if "end" not in lines:
        return None
    report = {"title": None, "type": None, "icon": [], "label": [], "button": []}
    for line in lines[:lines.index("end")]:
        key, _, value = line.partition(" ")
        if key in ("title", "label"):
            value = bytes.fromhex(value).decode()
        elif key in ("type", "button"):
            value = int(value)
        if isinstance(report[key], list):
            report[key].append(value)
        else:
            report[key] = value
    return report


def main():
    global options
    parser = argparse.ArgumentParser()
    for name in ("--nubeko", "--no-web-view", "--text-alloc-fails", "--probe", "--host"):
        parser.add_argument(name, required=True)
    parser.add_argument("--artifacts")
    options, rest = parser.parse_known_args()
    atexit.register(lambda: [desktop.close() for desktop in list(open_desktops)])
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(143))
    unittest.main(argv=[sys.argv[0], "-v"] + rest)


if __name__ == "__main__":
    main()
