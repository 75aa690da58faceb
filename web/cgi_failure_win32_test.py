#!/usr/bin/env python3
"""A failing CGI program run by a real web server: lighttpd on 127.0.0.1
starts it under Wine through a small wrapper, and the test fetches its
answer: status 500, an HTML page, and the hostile exception message shown
as text, never as markup.

    cgi_failure_win32_test.py PROGRAM.exe PREFIX ARCH
runs the program in the Wine prefix PREFIX of kind ARCH (win32 or win64).
"""
import html.parser
import os
import shutil
import socket
import subprocess
import sys
import tempfile
import time
import unittest
import urllib.error
import urllib.request

PROGRAM = os.path.abspath(sys.argv.pop(1))
PREFIX = os.path.abspath(sys.argv.pop(1))
ARCH = sys.argv.pop(1)
MESSAGE = "<script>alert('hi')</script></textarea><b>Basket & lost</b>"


class PageParser(html.parser.HTMLParser):
    """Every start tag of the page and the text inside its elements."""

    def __init__(self):
        super().__init__(convert_charrefs=True)
        self.tags = []
        self.open = []
        self.text = {}

    def handle_starttag(self, tag, attrs):
        self.tags.append(tag)
        self.open.append(tag)

    def handle_endtag(self, tag):
        if tag in self.open:
            while self.open.pop() != tag:
                pass

    def handle_data(self, data):
        where = self.open[-1] if self.open else ""
        self.text[where] = self.text.get(where, "") + data


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


class CgiFailure(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        lighttpd = shutil.which("lighttpd") or "/usr/sbin/lighttpd"
        cls.work = tempfile.mkdtemp(prefix="cgi-test-")
        root = os.path.join(cls.work, "www")
        os.mkdir(root)
        shutil.copy(PROGRAM, os.path.join(root, "shop.exe"))
        # lighttpd gives a CGI program only the CGI variables: the wrapper
        # brings back what Wine needs.
        keep = {k: v for k, v in os.environ.items() if k in ("HOME", "PATH", "DISPLAY")}
        keep.update(WINEPREFIX=PREFIX, WINEARCH=ARCH, WINEDEBUG="-all", WINEDLLOVERRIDES="mscoree,mshtml=")
        wrapper = os.path.join(cls.work, "wine-cgi")
        with open(wrapper, "w") as f:
            f.write("#!/bin/sh\n")
            for k, v in keep.items():
                f.write("export %s='%s'\n" % (k, v))
            f.write('exec wine "$1"\n')
        os.chmod(wrapper, 0o755)
        cls.port = free_port()
        config = os.path.join(cls.work, "lighttpd.conf")
        with open(config, "w") as f:
            f.write('server.modules = ("mod_cgi")\n')
            f.write('server.document-root = "%s"\n' % root)
            f.write('server.bind = "127.0.0.1"\n')
            f.write("server.port = %d\n" % cls.port)
            f.write('server.errorlog = "%s"\n' % os.path.join(cls.work, "error.log"))
            f.write('cgi.assign = (".exe" => "%s")\n' % wrapper)
        cls.server = subprocess.Popen([lighttpd, "-D", "-f", config])
        deadline = time.monotonic() + 30
        while True:
            try:
                socket.create_connection(("127.0.0.1", cls.port), timeout=1).close()
                break
            except OSError:
                if cls.server.poll() is not None or time.monotonic() > deadline:
                    raise
                time.sleep(0.05)

    @classmethod
    def tearDownClass(cls):
        cls.server.terminate()
        cls.server.wait()
        shutil.rmtree(cls.work)

    def fetch(self, query):
        url = "http://127.0.0.1:%d/shop.exe?%s" % (self.port, query)
        try:
            with urllib.request.urlopen(url, timeout=120) as reply:
                return reply.status, reply.headers, reply.read().decode("latin-1")
        except urllib.error.HTTPError as error:
            return error.code, error.headers, error.read().decode("latin-1")

    def test_answer_passes_untouched(self):
        status, _, body = self.fetch("ok")
        self.assertEqual(status, 200)
        self.assertEqual(body, "fine\r\n")

    def test_failure_gets_status_500_and_the_page_with_the_message_as_text(self):
        status, headers, body = self.fetch("fail")
        self.assertEqual(status, 500, body)
        self.assertEqual(headers.get_content_type(), "text/html")
        page = PageParser()
        page.feed(body)
        page.close()
        # Only the page's own elements: none came from the message.
        self.assertEqual(sorted(set(page.tags)),
                         ["body", "button", "head", "html", "p", "table", "td", "textarea", "title", "tr"])
        self.assertEqual(page.tags.count("textarea"), 1)
        self.assertEqual(page.text["p"].strip().split("\n")[0], "The shop failed: " + MESSAGE + ".")
        self.assertIn("exception message : " + MESSAGE + ".\r\n", page.text["textarea"])
        self.assertEqual(page.text["title"], "shop.exe")


if __name__ == "__main__":
    unittest.main()
