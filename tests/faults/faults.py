#!/usr/bin/env python3
"""Fault tests of the Linux program on Xvfb: hostile and broken pages, random
input, and the caption while the fatal error box is up. Built on the
end-to-end harness in ../e2e.

Usage: faults.py --nubeko PATH --no-web-view PATH --text-alloc-fails PATH
                 --probe PATH --host HOST:PORT [--artifacts DIR] [--seed N]
                 [unittest args]
"""

import argparse
import atexit
import collections
import contextlib
import http.server
import os
import random
import signal
import socket
import sys
import threading
import time
import unittest
import urllib.parse

HERE = os.path.dirname(os.path.abspath(__file__))
PAGES = os.path.join(HERE, "pages")
sys.path.insert(0, os.path.join(os.path.dirname(HERE), "e2e"))
import e2e  # noqa: E402
from e2e import CAPTION, START_PATH, wait_for  # noqa: E402

SITE_FOLDER = os.path.dirname(START_PATH) + "/"
STALL_SECONDS = 10.0


# ---------------------------------------------------------------- the site


class FaultSite:
    """The picture site's server. The start page is answered by the case's
    answer routine; the other files of the site folder come from pages/.
    Every request and every moment an answer routine marks is logged."""

    def __init__(self, host, answer):
        address, port = host.rsplit(":", 1)
        self.address = (address, int(port))
        self.answer = answer
        self.lock = threading.Lock()
        self.requests = []  # (time, path, query)
        self.marks = []  # (time, name)
        self.stop_stalling = threading.Event()
        self.server = None

    def start(self):
        site = self

        class Handler(http.server.BaseHTTPRequestHandler):
            def do_GET(self):
                url = urllib.parse.urlsplit(self.path)
                with site.lock:
                    site.requests.append((time.monotonic(), url.path, dict(urllib.parse.parse_qsl(url.query))))
                try:
                    if url.path == START_PATH:
                        site.answer(site, self)
                    elif url.path.startswith("/log/"):
                        self.reply(204, b"")
                    elif url.path.startswith(SITE_FOLDER) and "/" not in url.path[len(SITE_FOLDER):]:
                        self.reply_file(url.path[len(SITE_FOLDER):])
                    else:
                        self.reply(404, b"")
                except (BrokenPipeError, ConnectionResetError):
                    pass  # the web view gave up on this request

            def headers_for(self, status, length, kind="text/html; charset=utf-8"):
                self.send_response(status)
                self.send_header("Content-Type", kind)
                self.send_header("Cache-Control", "no-store")
                self.send_header("Content-Length", str(length))
                self.end_headers()

            def reply(self, status, body, kind="text/html; charset=utf-8"):
                self.headers_for(status, len(body), kind)
                self.wfile.write(body)

            def reply_file(self, name):
                path = os.path.join(PAGES, name)
                if not os.path.isfile(path):
                    self.reply(404, b"")
                    return
                with open(path, "rb") as f:
                    body = f.read()
                kind = "text/javascript" if name.endswith(".js") else "text/html; charset=utf-8"
                self.reply(200, body, kind)

            def log_message(self, *args):
                pass

        class Server(http.server.ThreadingHTTPServer):
            allow_reuse_address = True
            daemon_threads = True
            block_on_close = False

        self.server = Server(self.address, Handler)
        threading.Thread(target=self.server.serve_forever, daemon=True).start()

    def stop(self):
        self.stop_stalling.set()
        if self.server:
            self.server.shutdown()
            self.server.server_close()
            self.server = None

    def mark(self, name):
        with self.lock:
            self.marks.append((time.monotonic(), name))

    def marked(self, name):
        """When an answer routine first marked this, or None."""
        with self.lock:
            return next((t for t, n in self.marks if n == name), None)

    def logged(self, what, **match):
        """(time, query) of the /log/<what> requests whose fields match."""
        with self.lock:
            return [(t, q) for t, p, q in self.requests
                    if p == "/log/" + what and all(q.get(k) == str(v) for k, v in match.items())]

    def first(self, what, **match):
        found = self.logged(what, **match)
        return found[0] if found else None

    def count(self, path):
        with self.lock:
            return sum(1 for _, p, _ in self.requests if p == path)


def page(name):
    with open(os.path.join(PAGES, name), "rb") as f:
        return f.read()


# Ways of answering the start page.

def serve(name):
    def answer(site, handler):
        handler.reply(200, page(name))
    return answer


def answer_500(site, handler):
    handler.reply(500, b"<!doctype html><h1>500 Internal Server Error</h1>")
    site.mark("answered")


def split_gallery():
    body = page("gallery.html")
    cut = body.index(b"<!-- the rest -->")
    return body, cut


def answer_stalled(site, handler):
    """Headers and the first part of the page, then nothing for a while, then
    the rest."""
    body, cut = split_gallery()
    handler.headers_for(200, len(body))
    handler.wfile.write(body[:cut])
    site.mark("stall-begins")
    site.stop_stalling.wait(STALL_SECONDS)
    site.mark("stall-ends")
    handler.wfile.write(body[cut:])


def answer_cut_off(site, handler):
    """Promises more than it sends, then hangs up."""
    body, cut = split_gallery()
    handler.headers_for(200, len(body) + 100_000)
    handler.wfile.write(body[:cut])
    handler.wfile.flush()
    handler.connection.shutdown(socket.SHUT_RDWR)
    handler.close_connection = True
    site.mark("cut-off")


def answer_garbage(site, handler):
    """Bytes that are no HTTP answer at all, then hangs up."""
    handler.wfile.write(random.Random(0).randbytes(4096))
    handler.connection.shutdown(socket.SHUT_RDWR)
    handler.close_connection = True
    site.mark("answered")


# ---------------------------------------------------------------- helpers


def session_processes(sid):
    """PIDs of the processes in a session (the program starts its own, and
    WebKit's helper processes stay in it)."""
    found = []
    for name in os.listdir("/proc"):
        if not name.isdigit():
            continue
        try:
            with open(f"/proc/{name}/stat") as f:
                fields = f.read().rsplit(")", 1)[1].split()
        except OSError:
            continue
        if int(fields[3]) == sid and fields[0] != "Z":
            found.append(int(name))
    return found


def kill_session(sid):
    for pid in session_processes(sid):
        try:
            os.kill(pid, signal.SIGKILL)
        except ProcessLookupError:
            pass


class FaultTest(unittest.TestCase):
    """One desktop with openbox for the class; each case starts its own site
    (or none) and its own copy of the program."""

    screen, wm = (1280, 1024), "openbox"

    @classmethod
    def setUpClass(cls):
        cls.desktop = e2e.Desktop(*cls.screen, wm=cls.wm)
        cls.addClassCleanup(cls.desktop.close)

    def start_site(self, answer, cleanups=None):
        site = FaultSite(e2e.options.host, answer)
        site.start()
        self.on_cleanup(cleanups, site.stop)
        return site

    def launch(self, path=None, cleanups=None, **env):
        program = self.desktop.launch(path or e2e.options.nubeko, **env)
        # WebKit's helpers too, should any outlive the program.
        self.on_cleanup(cleanups, lambda: (e2e.end_process_tree(program.process), kill_session(program.pid)))
        return program

    def on_cleanup(self, cleanups, routine):
        """At the end of a case when given its cleanups, else of the test."""
        if cleanups:
            cleanups.callback(routine)
        else:
            self.addCleanup(routine)

    def captions_after(self, titles, since, program, count=2, timeout=30.0):
        """Waits for count different captions written after a moment; returns
        when the last of them was seen."""
        def seen():
            if not program.alive():
                raise AssertionError(f"the program ended with {program.process.returncode}:\n"
                                     + program.output())
            first = {}
            for t, value in titles.seen():
                if t > since and value and CAPTION.fullmatch(value):
                    first.setdefault(value, t)
            return sorted(first.values())[count - 1] if len(first) >= count else None
        return wait_for(f"{count} captions after the fault", seen, timeout)

    def close_with_escape(self, program, window):
        self.desktop.keys(window, "Escape")
        self.assertEqual(program.exit_status(), 0, program.output())
        # The page's engine and WebKit's other helpers end with the program.
        wait_for("WebKit's helper processes to end", lambda: not session_processes(program.pid), 60)


# ---------------------------------------------------------------- hostile pages


Case = collections.namedtuple("Case", "name answer fault then", defaults=(None,))


def text_shown(test, run):
    """The pane shows dark text in its top left corner: the 500 page, or the
    web view's own page about a failed request, on white."""
    x, y, _, _ = test.desktop.geometry(run.window)
    shot = test.desktop.screenshot()
    return any(max(shot.pixel(x + i, y + j)) < 0x80 for i in range(0, 400, 2) for j in range(2, 40, 2))


def when_text_shown(test, run):
    wait_for("text in the pane", lambda: text_shown(test, run))
    return time.monotonic()


def when_refused(test, run):
    """Nothing listens, so both requests are refused at once. The web view
    usually draws a page of its own about it, but need not when the second
    request overtakes the first; without one, 20 s after the window showed
    the refusals are long past."""
    try:
        wait_for("text in the pane", lambda: text_shown(test, run), 20)
    except AssertionError:
        print("\n    site down: no page of the web view's own", end=" ", flush=True)
    return time.monotonic()


def after(*moments):
    """The last of several moments, taken in order."""
    return lambda test, run: max(moment(test, run) for moment in moments)


def when_marked(name):
    return lambda test, run: wait_for(f"the site to mark {name}", lambda: run.site.marked(name))


def when_logged(what, **match):
    return lambda test, run: wait_for(f"the page to report {what}", lambda: run.site.first(what, **match))[0]


def stall_then_finish(test, run, ticked):
    """The two captions came while the server sat on the answer; afterwards
    the page completes and the caption still ticks."""
    ended = run.site.marked("stall-ends")
    test.assertTrue(ended is None or ended > ticked, "the caption ticked only once the stall was over")
    ended = wait_for("the stall to end", lambda: run.site.marked("stall-ends"), STALL_SECONDS + 30)
    loaded = when_logged("loaded")(test, run)
    test.captions_after(run.titles, max(ended, loaded), run.program)


def report_cut_off(test, run, ticked):
    print(f"\n    cut off: first part parsed: {bool(run.site.first('first-part'))},"
          f" load event: {bool(run.site.first('loaded'))}", end=" ", flush=True)


PAGE_BLUE = (0x20, 0x50, 0xC0)
WHITE = (0xFF, 0xFF, 0xFF)


def pane_pixel(test, run):
    """A pixel of the pane above where a dialog in the middle of it would be."""
    x, y, _, _ = test.desktop.geometry(run.window)
    return test.desktop.screenshot().pixel(x + 400, y + 100)


def when_alert_shown(test, run):
    """The web view dims the page under its own alert dialog: the pane shows
    neither the page's blue nor the white of an empty view."""
    when_logged("loaded")(test, run)
    wait_for("the alert to dim the page", lambda: pane_pixel(test, run) not in (PAGE_BLUE, WHITE))
    return time.monotonic()


def alert_left_open(test, run, ticked):
    test.assertNotIn(pane_pixel(test, run), (PAGE_BLUE, WHITE), "the alert went away by itself")
    test.assertIsNone(run.site.first("alert-closed"), "the page came back from alert()")
    windows = test.desktop.run("xdotool", "search", "--onlyvisible", "--pid", str(run.program.pid), check=False)
    print(f"\n    alert: visible windows of the program: {len(windows.split())}", end=" ", flush=True)


def cpu_seconds(pid):
    with open(f"/proc/{pid}/stat") as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def when_looping(test, run):
    """The page's engine spins: its process burns CPU."""
    when_logged("loaded")(test, run)
    engines = [pid for pid in session_processes(run.program.pid) if process_name(pid) == "WebKitWebProces"]
    test.assertTrue(engines, "no page engine process in the program's session")
    run.engines = {pid: (time.monotonic(), cpu_seconds(pid)) for pid in engines}
    return time.monotonic()


def engine_kept_spinning(test, run, ticked):
    busy = max((cpu_seconds(pid) - cpu) / (time.monotonic() - t) for pid, (t, cpu) in run.engines.items())
    print(f"\n    endless loop: the page's engine used {busy:.0%} of a core", end=" ", flush=True)
    test.assertGreater(busy, 0.25, "the page's engine was not looping while the caption ticked")


def process_name(pid):
    try:
        with open(f"/proc/{pid}/comm") as f:
            return f.read().strip()
    except OSError:
        return None


def keys_stay_out(test, run, ticked):
    """Tab and Shift+Tab never reach the page, however it listens."""
    loaded = run.site.first("loaded")[1]["page"]
    test.desktop.keys(run.window, "Tab", "shift+Tab", "a", "Tab", "Return")
    enter = wait_for("Enter in the page", lambda: run.site.first("key", key="Enter"))
    keys = [q["key"] for t, q in run.site.logged("key") if t <= enter[0]]
    test.assertEqual(keys, ["Shift", "a", "Enter"])
    test.assertEqual({q["page"] for _, q in run.site.logged("key")}, {loaded})


def new_window_left_alone(test, run, ticked):
    """window.open on load and from a key press: the pane keeps its page."""
    loaded = run.site.first("loaded")[1]["page"]
    test.desktop.keys(run.window, "o")
    opened = wait_for("window.open from a key", lambda: run.site.first("opened", when="key"))[1]
    test.desktop.keys(run.window, "a")
    wait_for("a key in the page", lambda: run.site.first("key", key="a"))
    test.assertEqual({q["page"] for _, q in run.site.logged("key")}, {loaded}, "the keys reached another page")
    test.assertEqual({q["page"] for _, q in run.site.logged("loaded")}, {loaded}, "another page loaded in the pane")
    windows = test.desktop.run("xdotool", "search", "--onlyvisible", "--pid", str(run.program.pid), check=False)
    on_load = run.site.first("opened", when="load")[1]["result"]
    print(f"\n    window.open on load: {on_load}; on a key: {opened['result']};"
          f" popup requested: {run.site.count(SITE_FOLDER + 'popup.html')},"
          f" loaded: {len(run.site.logged('popup-loaded'))}; visible windows: {len(windows.split())}",
          end=" ", flush=True)


CASES = [
    Case("site down", None, when_refused),
    Case("500 answer", answer_500, after(when_marked("answered"), when_text_shown)),
    Case("answer that is not HTTP", answer_garbage, after(when_marked("answered"), when_text_shown)),
    Case("answer stalls", answer_stalled, after(when_marked("stall-begins"), when_logged("first-part")),
         stall_then_finish),
    Case("answer cut off", answer_cut_off, after(when_marked("cut-off"), when_logged("first-part")), report_cut_off),
    Case("window.open", serve("opens_window.html"), when_logged("opened", when="load"), new_window_left_alone),
    Case("script errors", serve("script_errors.html"), when_logged("loaded")),
    Case("alert()", serve("alert.html"), when_alert_shown, alert_left_open),
    Case("endless loop", serve("busy_loop.html"), when_looping, engine_kept_spinning),
    Case("keys grabbed", serve("key_grabber.html"), when_logged("loaded"), keys_stay_out),
    Case("beforeunload", serve("asks_to_stay.html"), when_logged("loaded")),
]


class Run:
    """One case's site, program, window and title spy."""


class HostilePages(FaultTest):
    def test_program_ticks_on_and_closes(self):
        for case in CASES:
            with self.subTest(case.name), contextlib.ExitStack() as cleanups:
                started = time.monotonic()
                self.run_case(case, cleanups)
                print(f"\n    {case.name}: {time.monotonic() - started:.1f} s", end=" ", flush=True)

    def run_case(self, case, cleanups):
        run = Run()
        if case.answer:
            run.site = self.start_site(case.answer, cleanups)
        else:
            with socket.socket() as probe:
                self.assertNotEqual(probe.connect_ex(FaultSite(e2e.options.host, None).address), 0,
                                    "something listens on the site's port")
        run.program = self.launch(cleanups=cleanups)
        run.window = self.desktop.toplevel(run.program)
        run.titles = e2e.TitleSpy(self.desktop, run.window)
        self.desktop.toplevel(run.program, visible=True)
        fault = case.fault(self, run)
        ticked = self.captions_after(run.titles, fault, run.program)
        if case.then:
            case.then(self, run, ticked)
        self.close_with_escape(run.program, run.window)


# ---------------------------------------------------------------- input fuzz


FUZZ_EVENTS = 1000
FUZZ_BATCH = 50
FUZZ_KEYS = ([chr(c) for c in range(ord("a"), ord("z") + 1)] + [str(d) for d in range(10)]
             + ["Return", "Tab", "shift+Tab", "shift+Escape"]
             + [f"ctrl+{c}" for c in "abcdefghijklmnoprstuvxyz0123456789"])  # no ctrl+q, ctrl+w


class InputFuzz(FaultTest):
    def test_random_keys_and_clicks(self):
        seed = e2e.options.seed if e2e.options.seed is not None else random.randrange(2 ** 32)
        print(f"\n    seed {seed}", end=" ", flush=True)
        rng = random.Random(seed)
        site = self.start_site(serve("fuzz.html"))
        program = self.launch()
        window = self.desktop.toplevel(program, visible=True)
        wait_for("the page to load", lambda: site.first("loaded"))
        x, y, w, h = self.desktop.geometry(window)
        started = time.monotonic()
        sent = collections.Counter()
        for batch in range(0, FUZZ_EVENTS, FUZZ_BATCH):
            args = ["xdotool", "windowactivate", "--sync", str(window)]
            for _ in range(min(FUZZ_BATCH, FUZZ_EVENTS - batch)):
                if rng.random() < 0.8:
                    key = rng.choice(FUZZ_KEYS)
                    args += ["key", "--delay", "5", key]
                    sent[key] += 1
                else:
                    args += ["mousemove", str(x + rng.randrange(w)), str(y + rng.randrange(h)), "click", "1"]
                    sent["click"] += 1
            self.desktop.run(*args)
            self.assertTrue(program.alive(), f"the program ended after {batch + FUZZ_BATCH} events:\n"
                            + program.output())
        fuzzed = time.monotonic() - started
        titles = e2e.TitleSpy(self.desktop, window)
        self.captions_after(titles, time.monotonic(), program)
        # Reports may still be on their way: wait for the last ones to settle.
        settled = wait_for("the page's key reports to settle", self.reports_settled(site), 30, 0.5)
        reached = collections.Counter(q["key"] for _, q in site.logged("key"))
        self.assertGreater(sum(reached.values()), 0, "no key reached the page")
        self.assertNotIn("Tab", reached, "Tab reached the page")
        self.close_with_escape(program, window)
        print(f"\n    {sum(sent.values())} events ({sent['click']} clicks) in {fuzzed:.1f} s;"
              f" {settled} keydowns reached the page(s)", end=" ", flush=True)

    @staticmethod
    def reports_settled(site):
        last = [-1, 0.0]

        def settled():
            n = len(site.logged("key"))
            now = time.monotonic()
            if n != last[0]:
                last[:] = [n, now]
                return None
            return n if now - last[1] >= 2.0 else None  # no new report for 2 s
        return settled


# ---------------------------------------------------------------- caption under the error box


TICKS_OBSERVED = 3.5  # seconds: more than three ticks


class CaptionUnderErrorBox(FaultTest):
    """The build whose text allocation fails takes the fatal stop at the first
    tick. While its box is up no tick may reach the handler: the caption
    stays as it was, and no further tick runs into the fatal stop again (a
    second box)."""

    def test_caption_stands_still_while_the_box_is_up(self):
        program = self.launch(e2e.options.text_alloc_fails, **e2e.faked_clock("2016-01-22 15:32:25"))
        window = self.main_window(program)
        titles = e2e.TitleSpy(self.desktop, window)
        box = wait_for("the error box", lambda: self.boxes(program), 60)[0]
        shown = time.monotonic()
        caption = self.desktop.title(window)
        # Observing for a while is the point here: nothing may happen.
        while time.monotonic() - shown < TICKS_OBSERVED:
            self.assertTrue(program.alive(), "the program ended while the box was up")
            self.assertEqual(self.desktop.title(window), caption, "the caption changed under the box")
            self.assertEqual(self.boxes(program), [box], "a second box came up")
            time.sleep(0.2)
        self.assertEqual([v for t, v in titles.seen() if t > shown], [], "the caption changed under the box")
        self.desktop.keys(box, "Return")
        self.assertEqual(program.exit_status(), 0xFF)

    def main_window(self, program):
        def find():
            for w in self.windows(program, visible=False):
                if "_NET_WM_WINDOW_TYPE_NORMAL" in self.desktop.xprop(w, "_NET_WM_WINDOW_TYPE"):
                    return w
            return None
        return wait_for("the main window", find, 60, 0.02)

    def windows(self, program, visible=True):
        if not program.alive():
            raise AssertionError(f"ended with {program.process.returncode}:\n" + program.output())
        args = ["search", "--onlyvisible"] if visible else ["search"]
        out = self.desktop.run("xdotool", *args, "--pid", str(program.pid), check=False)
        return [int(w) for w in out.split()]

    def boxes(self, program):
        return [w for w in self.windows(program) if self.desktop.title(w) == "错误"]


def main():
    parser = argparse.ArgumentParser()
    for name in ("--nubeko", "--no-web-view", "--text-alloc-fails", "--probe", "--host"):
        parser.add_argument(name, required=True)
    parser.add_argument("--artifacts")
    parser.add_argument("--seed", type=int, help="the input fuzz's random seed (default: a new one)")
    e2e.options, rest = parser.parse_known_args()
    atexit.register(lambda: [desktop.close() for desktop in list(e2e.open_desktops)])
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(143))
    unittest.main(argv=[sys.argv[0], "-v"] + rest)


if __name__ == "__main__":
    main()
