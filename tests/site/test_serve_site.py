#!/usr/bin/env python3
"""Checks tools/serve-site and the sample gallery it serves."""

import html.parser
import http.client
import os
import re
import selectors
import signal
import subprocess
import sys
import tempfile
import unittest
import urllib.parse

TOP = os.path.dirname(os.path.dirname(os.path.dirname(os.path.realpath(__file__))))
SERVER = os.path.join(TOP, "tools", "serve-site")
GALLERY = os.path.join(TOP, "site", "images", "nubeko")
START_PAGE = "/images/nubeko/index.html"
TIMEOUT = 60  # seconds; generous, the machine is shared
READY = re.compile(r"serving (.+) on http://127\.0\.0\.1:(\d+)/\n")
HTML = "text/html; charset=utf-8"
MAGIC = {"image/png": b"\x89PNG\r\n\x1a\n", "image/jpeg": b"\xff\xd8\xff"}


class Server:
    """One serve-site process, started with --port 0 and waited for until it prints its ready line."""

    def __init__(self, home, *args, cwd=None):
        env = dict(os.environ, HOME=home, XDG_CONFIG_HOME=home, XDG_CACHE_HOME=home, XDG_DATA_HOME=home)
        self.stderr = tempfile.TemporaryFile()
        self.proc = subprocess.Popen([sys.executable, SERVER, "--port", "0", *args], cwd=cwd or home, env=env,
                                     stdout=subprocess.PIPE, stderr=self.stderr, text=True)
        self.ready_line = self._read_line()

    def _read_line(self):
        with selectors.DefaultSelector() as sel:
            sel.register(self.proc.stdout, selectors.EVENT_READ)
            if not sel.select(TIMEOUT):
                return ""
        return self.proc.stdout.readline()

    @property
    def port(self):
        return int(READY.fullmatch(self.ready_line).group(2))

    def get(self, path):
        conn = http.client.HTTPConnection("127.0.0.1", self.port, timeout=TIMEOUT)
        try:
            conn.request("GET", path)
            resp = conn.getresponse()
            return resp.status, resp.getheader("Content-Type"), resp.read()
        finally:
            conn.close()

    def signal(self, sig):
        self.proc.send_signal(sig)
        return self.proc.wait(TIMEOUT)

    def errors(self):
        self.stderr.seek(0)
        return self.stderr.read().decode(errors="replace")

    def close(self):
        if self.proc.poll() is None:
            self.proc.kill()
        self.proc.wait(TIMEOUT)
        self.proc.stdout.close()
        self.stderr.close()


class ServerCase(unittest.TestCase):
    def setUp(self):
        home = tempfile.TemporaryDirectory()
        self.addCleanup(home.cleanup)
        self.home = home.name

    def start(self, *args, cwd=None):
        server = Server(self.home, *args, cwd=cwd)
        self.addCleanup(server.close)
        self.assertRegex(server.ready_line, READY, server.errors())
        return server


class Links(html.parser.HTMLParser):
    def __init__(self):
        super().__init__()
        self.links, self.charset, self.lang = [], None, None

    def handle_starttag(self, tag, attrs):
        attrs = dict(attrs)
        if tag == "html":
            self.lang = attrs.get("lang")
        if tag == "meta" and "charset" in attrs:
            self.charset = attrs["charset"].lower()
        for name in ("href", "src"):
            if name in attrs:
                self.links.append(attrs[name])


class GalleryTest(ServerCase):
    def test_default_root_serves_the_gallery_from_any_folder(self):
        server = self.start()
        self.assertEqual(READY.fullmatch(server.ready_line).group(1), os.path.join(TOP, "site"))
        status, ctype, body = server.get(START_PAGE)
        self.assertEqual((status, ctype), (200, HTML))
        self.assertIn("云朵画廊", body.decode("utf-8"))

    def test_every_page_and_picture_is_linked_and_served(self):
        """Crawls from the start page: no broken or outside links, right types, nothing left unlinked."""
        server = self.start()
        seen, todo = set(), [START_PAGE]
        while todo:
            path = todo.pop()
            if path in seen:
                continue
            seen.add(path)
            status, ctype, body = server.get(path)
            self.assertEqual(status, 200, path)
            if path.endswith(".html"):
                self.assertEqual(ctype, HTML, path)
                page = Links()
                page.feed(body.decode("utf-8"))
                self.assertEqual((page.charset, page.lang), ("utf-8", "zh-CN"), path)
                for link in page.links:
                    parts = urllib.parse.urlsplit(link)
                    self.assertFalse(parts.scheme or parts.netloc, "%s links outside the site: %s" % (path, link))
                    todo.append(urllib.parse.urljoin(path, parts.path))
            else:
                self.assertIn(ctype, MAGIC, path)
                self.assertTrue(body.startswith(MAGIC[ctype]), path)
        on_disk = {"/images/nubeko/" + os.path.relpath(os.path.join(d, f), GALLERY).replace(os.sep, "/")
                   for d, _, files in os.walk(GALLERY) for f in files}
        self.assertEqual(on_disk - seen, set(), "files the gallery never links to")


class ServingTest(ServerCase):
    """A small site in a temporary folder, next to a file that must stay out of reach."""

    FILES = {
        "page.html": "<!DOCTYPE html><title>页</title>".encode(),
        "style.css": b"body { color: red; }",
        "pic.png": MAGIC["image/png"] + b"rest",
        "photo.jpg": MAGIC["image/jpeg"] + b"rest",
        "PHOTO.JPEG": MAGIC["image/jpeg"] + b"upper",
        "sub/index.html": b"<p>sub</p>",
        "empty/.keep": b"",
    }
    SECRET = b"outside-the-root"

    def setUp(self):
        super().setUp()
        top = tempfile.TemporaryDirectory()
        self.addCleanup(top.cleanup)
        self.root = os.path.join(top.name, "root")
        for name, data in self.FILES.items():
            os.makedirs(os.path.dirname(os.path.join(self.root, name)), exist_ok=True)
            with open(os.path.join(self.root, name), "wb") as f:
                f.write(data)
        os.mkdir(os.path.join(top.name, "outside"))
        with open(os.path.join(top.name, "outside", "secret.txt"), "wb") as f:
            f.write(self.SECRET)
        os.symlink(os.path.join(top.name, "outside", "secret.txt"), os.path.join(self.root, "link.txt"))
        os.symlink(os.path.join(top.name, "outside"), os.path.join(self.root, "linkdir"))

    def test_files_and_content_types(self):
        server = self.start("--root", self.root)
        cases = [
            ("/page.html", "page.html", HTML),
            ("/page.html?from=test", "page.html", HTML),
            ("/style.css", "style.css", "text/css; charset=utf-8"),
            ("/pic.png", "pic.png", "image/png"),
            ("/photo.jpg", "photo.jpg", "image/jpeg"),
            ("/PHOTO.JPEG", "PHOTO.JPEG", "image/jpeg"),
            ("/sub/", "sub/index.html", HTML),
            ("/%73ub/index.html", "sub/index.html", HTML),
        ]
        for path, name, ctype in cases:
            with self.subTest(path=path):
                self.assertEqual(server.get(path), (200, ctype, self.FILES[name]))

    def test_missing_files_and_folders_are_not_found(self):
        server = self.start("--root", self.root)
        for path in ["/nope.html", "/sub/nope.png", "/empty/", "/"]:
            with self.subTest(path=path):
                self.assertEqual(server.get(path)[0], 404)

    def test_paths_leading_outside_the_root_are_refused(self):
        server = self.start("--root", self.root)
        for path in ["/../outside/secret.txt", "/sub/../../outside/secret.txt", "/%2e%2e/outside/secret.txt",
                     "/sub/%2E%2E/%2e%2e/outside/secret.txt", "/..%2foutside%2fsecret.txt",
                     "/..\\outside\\secret.txt", "/link.txt", "/linkdir/secret.txt"]:
            with self.subTest(path=path):
                status, _, body = server.get(path)
                self.assertEqual(status, 403)
                self.assertNotIn(self.SECRET, body)

    def test_signals_end_it_cleanly(self):
        for sig in (signal.SIGTERM, signal.SIGINT):
            with self.subTest(signal=sig.name):
                server = self.start("--root", self.root)
                self.assertEqual(server.get("/page.html")[0], 200)
                self.assertEqual(server.signal(sig), 0)
                self.assertNotIn("Traceback", server.errors())

    def test_only_loopback_addresses_are_accepted(self):
        for address in ["0.0.0.0", "192.0.2.1", "::", "example.invalid"]:
            with self.subTest(address=address):
                server = Server(self.home, "--root", self.root, "--bind", address)
                self.addCleanup(server.close)
                self.assertEqual(server.ready_line, "")
                self.assertEqual(server.proc.wait(TIMEOUT), 2)
                self.assertIn("loopback", server.errors())


if __name__ == "__main__":
    unittest.main()
