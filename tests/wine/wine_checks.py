#!/usr/bin/env python3
"""Checks of the Windows program.

ProgramFiles reads the built .exe files back: PE format, imports, security
flags and resources. UnderWine runs the x86_64 build under wine64 on a private
Xvfb with openbox, in a private Wine prefix shared by its cases, against a
request-logging server on the site host, and looks at the program's windows
from outside with probe.exe (probe.cpp), another Win32 process on the same
Wine desktop.

Usage: wine_checks.py [--win32 EXE] [--win64 EXE] --icon ICO --probe EXE
                      --wine64 PATH --wineserver PATH --host HOST:PORT
                      [--artifacts DIR] [unittest args]
"""

import argparse
import datetime
import http.server
import json
import os
import re
import select
import shutil
import signal
import struct
import subprocess
import sys
import tempfile
import threading
import time
import unittest
import xml.etree.ElementTree as ElementTree

START_PATH = "/images/nubeko/index.html"
OUTER = (788, 716)
PANE = [-8, 0, 792, 688]
CAPTION_PREFIX = "Nubeko2.0" + " " * 46 + "时间："
FATAL_TEXT = "运行时出错!\r\n\r\n错误信息：载入启动窗口失败\r\n"
SCREEN = (1280, 1024)
WINDOW_CLASS = "Nubeko"
# The caption clock starts from this local time (UTC in the prefix) in the
# caption cases; a full hour keeps the checks clear of the date's rollover.
FAKE_START = datetime.datetime(2016, 1, 22, 15, 0, 0)
LIBFAKETIME = "/usr/lib/x86_64-linux-gnu/faketime/libfaketime.so.1"

WS_THICKFRAME, WS_SYSMENU, WS_CAPTION = 0x00040000, 0x00080000, 0x00C00000
WS_MINIMIZEBOX, WS_MAXIMIZEBOX = 0x00020000, 0x00010000
WS_EX_TOPMOST = 0x00000008
IMAGE_DLLCHARACTERISTICS = {"HIGH_ENTROPY_VA": 0x0020, "DYNAMIC_BASE": 0x0040, "NX_COMPAT": 0x0100}

options = None  # parsed command line


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


def run(args, **kwargs):
    return subprocess.run(args, capture_output=True, timeout=120, check=True, **kwargs).stdout


def time_text(t):
    """The caption's time text: the date, then the time with trailing zero
    fields left out."""
    text = f"{t.year}年{t.month}月{t.day}日"
    if t.second:
        return text + f"{t.hour}时{t.minute}分{t.second}秒"
    if t.minute:
        return text + f"{t.hour}时{t.minute}分"
    if t.hour:
        return text + f"{t.hour}时"
    return text


# ---------------------------------------------------------------- program files


def version_tree(data, offset=0):
    """One node of a VS_VERSIONINFO block: (key, type, value bytes, children), end."""
    align = lambda n: (n + 3) & ~3
    length, value_length, kind = struct.unpack_from("<HHH", data, offset)
    key_end = offset + 6
    while data[key_end:key_end + 2] != b"\0\0":
        key_end += 2
    key = data[offset + 6:key_end].decode("utf-16-le")
    position = align(key_end + 2)
    value_size = value_length * 2 if kind == 1 else value_length
    value = data[position:position + value_size]
    position = align(position + value_size)
    children = []
    while position < offset + length:
        child, child_end = version_tree(data, position)
        children.append(child)
        position = align(child_end)
    return (key, kind, value, children), offset + length


def child(node, key):
    found = [c for c in node[3] if c[0] == key]
    assert len(found) == 1, f"{node[0]} has {len(found)} blocks named {key!r}: {[c[0] for c in node[3]]}"
    return found[0]


def icon_images(ico):
    """(width, height, bit count, image bytes) of each image of an .ico file."""
    _, kind, count = struct.unpack_from("<HHH", ico, 0)
    assert kind == 1, "not an icon file"
    images = []
    for i in range(count):
        width, height, _, _, _, bits, size, offset = struct.unpack_from("<BBBBHHII", ico, 6 + 16 * i)
        images.append((width or 256, height or 256, bits, ico[offset:offset + size]))
    return images


class ProgramFiles(unittest.TestCase):
    """The .exe files as built: the shipped PE32 and the x86_64 build of the
    same source."""

    def builds(self):
        found = [(machine, path) for machine, path in (("i686", options.win32), ("x86_64", options.win64)) if path]
        self.assertTrue(found, "no build given")
        return found

    def objdump(self, machine, *args):
        return run([f"{machine}-w64-mingw32-objdump", *args]).decode()

    def test_pe_format_imports_and_security_flags(self):
        expected = {"i686": ("pei-i386", "010b", ("DYNAMIC_BASE", "NX_COMPAT")),
                    "x86_64": ("pei-x86-64", "020b", ("DYNAMIC_BASE", "NX_COMPAT", "HIGH_ENTROPY_VA"))}
        for machine, path in self.builds():
            with self.subTest(machine):
                file_format, magic, flags = expected[machine]
                self.assertEqual(os.path.basename(path), "Nubeko.exe")
                self.assertIn(f"file format {file_format}", self.objdump(machine, "-f", path))
                headers = self.objdump(machine, "-p", path)
                field = lambda name: re.search(rf"^{name}\s+([0-9a-fA-F]+)", headers, re.M).group(1)
                self.assertEqual(field("Magic"), magic)
                self.assertEqual(int(field("Subsystem"), 16), 2, "not a Windows GUI program")
                characteristics = int(field("DllCharacteristics"), 16)
                for flag in flags:
                    self.assertTrue(characteristics & IMAGE_DLLCHARACTERISTICS[flag], f"{flag} missing")
                dlls = re.findall(r"DLL Name: (\S+)", headers)
                self.assertIn("KERNEL32.dll", dlls)
                # Linked statically: no DLL of the MinGW runtime (libstdc++,
                # libgcc_s, libwinpthread) is needed next to the program.
                self.assertEqual([d for d in dlls if d.lower().startswith("lib")], [])

    def test_resources(self):
        with open(options.icon, "rb") as f:
            source_icon = f.read()
        for machine, path in self.builds():
            with self.subTest(machine):
                listing = run(["wrestool", "-l", path]).decode()
                resources = re.findall(r"--type=(\d+) --name=(\S+) --language=(\d+)", listing)
                self.assertEqual({t for t, _, _ in resources}, {"3", "14", "16", "24"}, listing)
                # Chinese (PRC) throughout, not the US English default.
                self.assertEqual({language for _, _, language in resources}, {"2052"}, listing)
                self.assertIn(("14", "'DEFAULT_ICON'", "2052"), resources)

                # The icon DEFAULT_ICON: the one 32x32 32-bit image of nubeko.ico.
                icon = run(["wrestool", "-x", "-t", "14", "-n", "DEFAULT_ICON", path])
                images = icon_images(icon)
                self.assertEqual([(w, h, b) for w, h, b, _ in images], [(32, 32, 32)])
                self.assertEqual(images[0][3], icon_images(source_icon)[0][3], "not the image of nubeko.ico")
                self.assertIn("--width=32 --height=32 --bit-depth=32",
                              run(["icotool", "-l", "-"], input=icon).decode())

                # Version: 1.0.0.0 for file and product, a Chinese (PRC) string
                # table in code page 936.
                root, _ = version_tree(run(["wrestool", "-x", "-R", "-t", "16", path]))
                self.assertEqual(root[0], "VS_VERSION_INFO")
                signature, _, file_ms, file_ls, product_ms, product_ls = struct.unpack_from("<6I", root[2])
                self.assertEqual(signature, 0xFEEF04BD)
                self.assertEqual((file_ms, file_ls, product_ms, product_ls), (0x00010000, 0, 0x00010000, 0))
                strings = child(root, "StringFileInfo")
                self.assertEqual([c[0] for c in strings[3]], ["080403a8"])
                table = {c[0]: c[2].decode("utf-16-le").rstrip("\0") for c in strings[3][0][3]}
                self.assertEqual(table.get("FileVersion"), "1.0.0.0")
                self.assertEqual(table.get("ProductVersion"), "1.0.0.0")
                self.assertEqual(table.get("ProductName"), "Nubeko")
                translation = child(child(root, "VarFileInfo"), "Translation")
                self.assertEqual(struct.unpack("<HH", translation[2]), (0x0804, 936))

                # Manifest: themed common controls, no awareness of display scaling.
                manifest = ElementTree.fromstring(run(["wrestool", "-x", "-R", "-t", "24", path]))
                identities = [e.attrib for e in manifest.iter("{urn:schemas-microsoft-com:asm.v1}assemblyIdentity")]
                self.assertTrue(any(i.get("name") == "Microsoft.Windows.Common-Controls"
                                    and i.get("version") == "6.0.0.0" for i in identities), identities)
                scaling = [(e.tag.split("}")[1], (e.text or "").strip().lower()) for e in manifest.iter()
                           if e.tag.endswith(("}dpiAware", "}dpiAwareness"))]
                self.assertTrue(all(value == "false" for _, value in scaling), scaling)


# ---------------------------------------------------------------- under Wine


class Site:
    """The picture site's server on the site host: answers the start page and
    logs every request."""

    def __init__(self, host):
        address, port = host.rsplit(":", 1)
        self.requests = []  # (method, path, body length)
        self.lock = threading.Lock()
        site = self

        class Handler(http.server.BaseHTTPRequestHandler):
            def log_request_line(self):
                length = int(self.headers.get("Content-Length") or 0)
                with site.lock:
                    site.requests.append((self.command, self.path, length))

            def do_GET(self):
                self.log_request_line()
                body = b"<html><body>Nubeko</body></html>" if self.path == START_PATH else b""
                self.send_response(200 if body else 404)
                self.send_header("Content-Type", "text/html; charset=utf-8")
                self.send_header("Cache-Control", "no-store")
                self.send_header("Content-Length", str(len(body)))
                self.end_headers()
                self.wfile.write(body)

            def do_POST(self):
                self.log_request_line()
                self.send_response(405)
                self.send_header("Content-Length", "0")
                self.end_headers()

            def log_message(self, *args):
                pass

        http.server.ThreadingHTTPServer.allow_reuse_address = True
        self.server = http.server.ThreadingHTTPServer((address, int(port)), Handler)
        threading.Thread(target=self.server.serve_forever, daemon=True).start()

    def stop(self):
        self.server.shutdown()
        self.server.server_close()

    def logged(self):
        with self.lock:
            return list(self.requests)

    def clear(self):
        with self.lock:
            self.requests.clear()


class Program:
    def __init__(self, process, log):
        self.process, self.log = process, log

    def alive(self):
        return self.process.poll() is None

    def exit_status(self, timeout=60.0):
        wait_for(f"the program (pid {self.process.pid}) to end", lambda: not self.alive(), timeout)
        return self.process.returncode

    def output(self):
        with open(self.log, "rb") as f:
            return f.read().decode(errors="replace")


class UnderWine(unittest.TestCase):
    """The x86_64 build under wine64. All cases share one X server, one
    openbox, one Wine prefix and the site server; each starts its own copy of
    the program."""

    @classmethod
    def setUpClass(cls):
        cls.tmp = tempfile.mkdtemp(prefix="nubeko-wine-")
        cls.helpers = []  # Popen of Xvfb, openbox, xmessage
        cls.programs = []
        cls.site = None
        try:
            cls.env = cls.fresh_env()
            cls.start_x()
            cls.helpers.append(subprocess.Popen(["openbox", "--sm-disable"], env=cls.env, stdout=subprocess.DEVNULL,
                                                stderr=subprocess.DEVNULL, start_new_session=True))
            wait_for("openbox", lambda: "window id" in cls.x("xprop", "-root", "_NET_SUPPORTING_WM_CHECK"))
            cls.make_prefix()
            cls.site = Site(options.host)
            # The caption cases see FAKE_START at the start of this session.
            cls.fake_offset = int(FAKE_START.replace(tzinfo=datetime.timezone.utc).timestamp() - time.time())
        except BaseException:
            cls.tearDownClass()
            raise

    @classmethod
    def tearDownClass(cls):
        for program in cls.programs:
            end_process_group(program.process)
        if hasattr(cls, "env"):
            # Ends every Wine process of the prefix: services, explorer, leftovers.
            subprocess.run([options.wineserver, "-k"], env=cls.env, capture_output=True, timeout=60)
        if cls.site:
            cls.site.stop()
        for helper in reversed(cls.helpers):
            end_process_group(helper)
        shutil.rmtree(cls.tmp, ignore_errors=True)

    @classmethod
    def fresh_env(cls):
        home = os.path.join(cls.tmp, "home")
        env = {k: v for k, v in os.environ.items()
               if not k.startswith(("XDG_", "WAYLAND", "DBUS_", "WINE", "LD_PRELOAD", "FAKETIME", "DISPLAY"))
               and k.lower() not in ("http_proxy", "https_proxy", "no_proxy", "all_proxy")}
        env.update(HOME=home, XDG_CONFIG_HOME=f"{home}/.config", XDG_CACHE_HOME=f"{home}/.cache",
                   XDG_DATA_HOME=f"{home}/.local/share", XDG_STATE_HOME=f"{home}/.local/state",
                   XDG_RUNTIME_DIR=f"{home}/run", LC_ALL="C.UTF-8", TZ="UTC",
                   WINEPREFIX=os.path.join(cls.tmp, "prefix"), WINEDEBUG="-all")
        os.makedirs(f"{home}/run", mode=0o700)
        return env

    @classmethod
    def start_x(cls):
        read_end, write_end = os.pipe()
        cls.helpers.append(subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_end), "-screen", "0", "%dx%dx24" % SCREEN, "-nolisten", "tcp"],
            pass_fds=(write_end,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, start_new_session=True))
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
        cls.env["DISPLAY"] = ":" + number.decode().strip()

    @classmethod
    def make_prefix(cls):
        # Without Mono and Gecko: nothing offers to download them.
        env = dict(cls.env, WINEDLLOVERRIDES="mscoree,mshtml=")
        cls.wine(["wineboot", "-u"], env, timeout=600)
        # Chinese glyphs for the dialog fonts, so that screenshots show the texts.
        link = "wqy-microhei.ttc,WenQuanYi Micro Hei\0\0".encode("ascii").hex(",")
        faces = ("Tahoma", "Microsoft Sans Serif", "MS Shell Dlg", "MS Shell Dlg 2", "Segoe UI")
        reg = os.path.join(cls.tmp, "fontlink.reg")
        with open(reg, "w") as f:
            f.write("REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows NT\\CurrentVersion\\"
                    "FontLink\\SystemLink]\n" + "".join(f'"{face}"=hex(7):{link}\n' for face in faces))
        cls.wine(["reg", "import", reg], cls.env)

    @classmethod
    def wine(cls, args, env, timeout=180, check=True):
        """Runs a Win32 program to its end and returns its output. Output goes
        through a file: Wine's services and desktop process, started by
        whichever program comes first, keep its standard handles open."""
        with tempfile.TemporaryFile(dir=cls.tmp) as out, tempfile.TemporaryFile(dir=cls.tmp) as err:
            process = subprocess.Popen([options.wine64, *args], env=env, stdout=out, stderr=err)
            try:
                status = process.wait(timeout=timeout)
            except subprocess.TimeoutExpired:
                process.kill()
                process.wait()
                status = None
            out.seek(0)
            err.seek(0)
            text, errors = out.read().decode(errors="replace"), err.read().decode(errors="replace")
        if status is None:
            raise AssertionError(f"{args} did not end within {timeout} s: {errors}")
        if check and status != 0:
            raise AssertionError(f"{args} failed with {status}: {errors}")
        return text

    @classmethod
    def x(cls, *args):
        return subprocess.run(args, env=cls.env, capture_output=True, timeout=60).stdout.decode(errors="replace")

    # ---- programs and the probe

    def launch(self, fake_clock=False, **extra_env):
        env = dict(self.env, **extra_env)
        if fake_clock:
            env.update(self.fake_clock_env())
        log = os.path.join(self.tmp, f"program-{len(self.programs)}.log")
        with open(log, "wb") as f:
            # Started from another folder than the program's own.
            process = subprocess.Popen([options.wine64, options.win64], env=env, stdout=f,
                                       stderr=subprocess.STDOUT, cwd=self.tmp, start_new_session=True)
        program = Program(process, log)
        self.programs.append(program)
        self.addCleanup(end_process_group, process)  # a failed case leaves no window to the next
        return program

    def fake_clock_env(self):
        return {"LD_PRELOAD": LIBFAKETIME, "FAKETIME": "%+d" % self.fake_offset,
                "FAKETIME_DONT_FAKE_MONOTONIC": "1", "NO_FAKE_STAT": "1"}

    def probe(self, *args, fake_clock=False):
        env = dict(self.env, **(self.fake_clock_env() if fake_clock else {}))
        lines = self.wine([options.probe, *args], env, check=False).strip().splitlines()
        self.assertTrue(lines, f"probe {args} printed nothing")
        return json.loads(lines[-1])

    def main_window(self, program, timeout_ms=120000):
        window = self.probe("window", WINDOW_CLASS, str(timeout_ms))
        self.assertTrue(window["found"], "no visible main window:\n" + program.output())
        return window

    def x_window(self, program):
        """The program's visible top-level X window."""
        def find():
            ids = self.x("xdotool", "search", "--onlyvisible", "--pid", str(program.process.pid)).split()
            return int(ids[0]) if ids else None
        return wait_for("the program's X window", find, 60)

    def keys(self, window, *keys):
        subprocess.run(["xdotool", "windowactivate", "--sync", str(window), "key", *keys], env=self.env,
                       capture_output=True, timeout=60, check=True)

    def save_screenshot(self, name):
        if options.artifacts:
            os.makedirs(options.artifacts, exist_ok=True)
            self.x("import", "-silent", "-window", "root", os.path.join(options.artifacts, name + ".png"))

    def x_icons(self, window):
        """The icons Wine hands to X: (width, height, ARGB pixels) each."""
        text = self.x("xprop", "-id", str(window), "-notype", "32c", "_NET_WM_ICON")
        values = [int(v) for v in text.split("=", 1)[1].replace(",", " ").split()] if "=" in text else []
        icons = []
        while len(values) >= 2:
            w, h = values[0], values[1]
            icons.append((w, h, values[2:2 + w * h]))
            values = values[2 + w * h:]
        return icons

    def caption_time(self, reading):
        """The local time a caption shows, checked against the clock: any second
        from 3 s before the probe read the caption up to the moment after."""
        t = datetime.datetime(*reading["before"]) - datetime.timedelta(seconds=3)
        allowed = {}
        while t <= datetime.datetime(*reading["after"]):
            allowed[CAPTION_PREFIX + time_text(t)] = t
            t += datetime.timedelta(seconds=1)
        self.assertIn(reading["title"], allowed)
        return allowed[reading["title"]]

    # ---- cases

    def test_running_window(self):
        """Geometry, frame, icons, pane, focus, caption clock, start page and
        keys of one running copy."""
        self.site.clear()
        program = self.launch(fake_clock=True)
        window = self.main_window(program)

        with self.subTest("outer rectangle 788x716, centred on the primary display"):
            self.assertEqual(window["screen"], list(SCREEN))
            x, y = ((s - o) // 2 for s, o in zip(SCREEN, OUTER))
            self.assertEqual(window["outer"], [x, y, *OUTER])

        with self.subTest("fixed frame with window menu, minimise and close, no maximise; own taskbar button"):
            style = window["style"]
            self.assertEqual(style & (WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX), WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX)
            self.assertFalse(style & (WS_MAXIMIZEBOX | WS_THICKFRAME))
            self.assertFalse(window["exstyle"] & WS_EX_TOPMOST)
            self.assertFalse(window["owner"])

        with self.subTest("pane at (-8, 0) 792x688 in the client area, the web view covering it"):
            self.assertEqual(len(window["children"]), 1, window["children"])
            pane = window["children"][0]
            self.assertEqual(pane["rect"], PANE)
            self.assertTrue(pane["visible"])
            self.assertEqual([(c["class"], c["rect"], c["visible"]) for c in pane["children"]],
                             [("Shell Embedding", [0, 0, PANE[2], PANE[3]], True)])

        with self.subTest("working directory: the program's folder, not the one it was started from"):
            folder = "Z:" + os.path.dirname(os.path.abspath(options.win64)).replace("/", "\\")
            shown = self.probe("directory", WINDOW_CLASS)["directory"]
            self.assertIsNotNone(shown, "the program's process could not be read")
            self.assertEqual(shown.rstrip("\\").lower(), folder.lower())

        with self.subTest("shown activated, the focus in the web view"):
            self.assertTrue(window["active"])
            self.assertEqual(window["focus_path"][:2], ["NubekoPane", "Shell Embedding"])

        xwin = self.x_window(program)
        with self.subTest("large icon: DEFAULT_ICON at 32x32; small icon: the same at 16x16"):
            icons = self.x_icons(xwin)
            self.assertEqual(sorted((w, h) for w, h, _ in icons), [(16, 16), (32, 32)])
            with open(options.icon, "rb") as f:
                _, _, _, bmp = icon_images(f.read())[0]
            # Bottom-up BGRA rows after the 40-byte header, as X's ARGB words.
            rows = [struct.unpack_from("<32I", bmp, 40 + 128 * row) for row in range(32)]
            source = [p for row in reversed(rows) for p in row]
            self.assertEqual(next(p for w, _, p in icons if w == 32), source)

        with self.subTest("the start page requested from the site by GET"):
            requests = wait_for("two requests for the start page",
                                lambda: (lambda r: r if len(r) >= 2 else None)(self.site.logged()), 60)
            self.assertEqual(requests[:2], [("GET", START_PATH, 0)] * 2)

        with self.subTest("caption: product line and the local date and time, ticking"):
            first = wait_for("the first tick", lambda: (lambda r: r if r["title"] else None)(
                self.probe("title", WINDOW_CLASS, fake_clock=True)), 30)
            shown = self.caption_time(first)
            self.assertTrue(first["title"].startswith(CAPTION_PREFIX + "2016年1月22日15时"), first["title"])
            later = wait_for("the caption to change", lambda: (lambda r: r if r["title"] != first["title"] else None)(
                self.probe("title", WINDOW_CLASS, fake_clock=True)), 30)
            self.assertGreater(self.caption_time(later), shown)
            self.save_screenshot("wine-main-window")

        with self.subTest("the focus goes back into the web view when the window is activated again"):
            other = subprocess.Popen(["xmessage", "-geometry", "+0+0", "another window"], env=self.env,
                                     stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, start_new_session=True)
            self.helpers.append(other)
            other_window = wait_for("xmessage's window", lambda: self.x(
                "xdotool", "search", "--onlyvisible", "--class", "Xmessage").split(), 30)[0]
            subprocess.run(["xdotool", "windowactivate", "--sync", other_window], env=self.env,
                           capture_output=True, timeout=60)
            wait_for("the main window to lose its activation",
                     lambda: not self.probe("window", WINDOW_CLASS, "0")["active"], 30)
            subprocess.run(["xdotool", "windowactivate", "--sync", str(xwin)], env=self.env,
                           capture_output=True, timeout=60)
            again = wait_for("the main window to be active again",
                             lambda: (lambda w: w if w["active"] else None)(self.probe("window", WINDOW_CLASS, "0")), 30)
            self.assertEqual(again["focus_path"][:2], ["NubekoPane", "Shell Embedding"])
            end_process_group(other)

        with self.subTest("Shift+Escape does not close the window"):
            self.keys(xwin, "shift+Escape")
            # Timer messages come after input: two more ticks mean the key was handled.
            seen = self.probe("title", WINDOW_CLASS)["title"]
            for _ in range(2):
                seen = wait_for("a tick", lambda: (lambda t: t if t != seen else None)(
                    self.probe("title", WINDOW_CLASS)["title"]), 30)
            self.assertTrue(program.alive())
            self.assertTrue(self.probe("window", WINDOW_CLASS, "0")["found"])

        with self.subTest("Escape closes the window and the program ends with status 0"):
            self.keys(xwin, "Escape")
            self.assertEqual(program.exit_status(), 0, program.output())

        with self.subTest("nothing more was asked of the site"):
            self.assertEqual(len(self.site.logged()), 2, self.site.logged())

    def test_close_requests(self):
        """Every way of closing the window ends the program with status 0."""
        closings = [
            ("close box (window menu's Close)", lambda xwin: self.probe("close", WINDOW_CLASS)),
            ("the window manager's close keystroke", lambda xwin: self.keys(xwin, "alt+F4")),
        ]
        for name, close in closings:
            with self.subTest(name):
                program = self.launch()
                self.main_window(program)
                close(self.x_window(program))
                self.assertEqual(program.exit_status(), 0, program.output())
                self.assertFalse(self.probe("window", WINDOW_CLASS, "0")["found"])

    def test_web_view_failure(self):
        """Without the WebBrowser control the window cannot be built: the
        fatal-error box, then status -1."""
        program = self.launch(WINEDLLOVERRIDES="ieframe=d")
        box = self.probe("dialog", "错误", "120000")
        self.assertTrue(box["found"], "no error box:\n" + program.output())
        self.save_screenshot("wine-error-box")
        self.assertEqual(box["texts"], [FATAL_TEXT])
        self.assertTrue(box["icon"], "no error icon")
        self.assertEqual(len(box["buttons"]), 1, box["buttons"])
        self.assertFalse(box["owner"])
        self.assertFalse(self.probe("window", WINDOW_CLASS, "0")["found"], "the main window is still there")
        self.assertTrue(program.alive(), "the program did not wait for the box")

        self.assertTrue(self.probe("dialog", "错误", "0", "ok")["found"])
        self.assertEqual(program.exit_status(), 255, program.output())  # -1, as Wine reports it


def end_process_group(process):
    """Ends a process started in its own session, and whatever it started."""
    if process.poll() is not None:
        return
    for sig in (signal.SIGTERM, signal.SIGKILL):
        try:
            os.killpg(process.pid, sig)
        except ProcessLookupError:
            return
        try:
            process.wait(timeout=10)
            return
        except subprocess.TimeoutExpired:
            pass


def main():
    global options
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--win32")
    parser.add_argument("--win64")
    parser.add_argument("--icon", required=True)
    parser.add_argument("--probe")
    parser.add_argument("--wine64")
    parser.add_argument("--wineserver")
    parser.add_argument("--host", default="127.0.0.1:8417")
    parser.add_argument("--artifacts")
    options, rest = parser.parse_known_args()
    unittest.main(argv=[sys.argv[0], *rest], verbosity=2)


if __name__ == "__main__":
    main()
