"""Shared pieces of the workbench tests: a `polyview-measure serve` process on a copy of a demo
scene, raw HTTP to it, the command line's report, and a headless Chromium driving the page.

Every test file takes two arguments, the polyview-measure binary and the source tree, and exits
77 (CTest's skip code) when a piece it needs is missing, unless CI is set, where that fails."""
import http.client
import json
import os
import re
import selectors
import shutil
import signal
import subprocess
import sys
import tempfile
import unittest

TOOL, SOURCE = (sys.argv[1], sys.argv[2]) if len(sys.argv) == 3 else (None, None)
WAIT = 60  # seconds for any one condition: sanitizer builds serve slowly
SCENES = {"chessboard": "examples/chessboard/chessboard.json",
          "pipe_rack": "examples/scenes/pipe_rack.json"}


def skip_or_fail(message):
    """Ends the run: missing pieces fail under CI (which installs them) and skip elsewhere."""
    ci = bool(os.environ.get("CI"))
    print(message + ("; CI needs it: failed" if ci else ": skipped"), file=sys.stderr)
    sys.exit(1 if ci else 77)


def run(test_case):
    """Runs a unittest.TestCase class and exits 0 when all passed, 1 otherwise."""
    if TOOL is None:
        sys.exit("usage: %s POLYVIEW_MEASURE SOURCE_DIR" % sys.argv[0])
    suite = unittest.defaultTestLoader.loadTestsFromTestCase(test_case)
    sys.exit(0 if unittest.TextTestRunner(verbosity=2).run(suite).wasSuccessful() else 1)


def measure(scene):
    """The command line's JSON report of the scene file's shapes, by name."""
    out = subprocess.run([TOOL, "--json", "-", scene], capture_output=True, check=True,
                         timeout=WAIT * 5)
    return {shape["name"]: shape for shape in json.loads(out.stdout)["shapes"]}


class Server:
    """`polyview-measure serve --port 0` on a copy of a demo scene's folder in a temp dir."""

    def __init__(self, scene):
        self.dir = tempfile.mkdtemp(prefix="workbench-")
        source = os.path.join(SOURCE, SCENES[scene])
        folder = os.path.join(self.dir, "scene")
        shutil.copytree(os.path.dirname(source), folder)
        self.scene = os.path.join(folder, os.path.basename(source))
        self.proc = subprocess.Popen([TOOL, "serve", "--port", "0", self.scene],
                                     stdout=subprocess.PIPE, text=True)
        sel = selectors.DefaultSelector()
        sel.register(self.proc.stdout, selectors.EVENT_READ)
        line = self.proc.stdout.readline() if sel.select(WAIT) else ""
        found = re.search(r"http://[^ ]+:(\d+)/", line)
        if not found:
            self.stop()
            raise RuntimeError("the server printed no address: %r" % line)
        self.port = int(found.group(1))
        self.url = "http://127.0.0.1:%d/" % self.port

    def request(self, method, path, body=None, headers=None):
        """(status, headers, body bytes) of one request sent as given, path unnormalised."""
        conn = http.client.HTTPConnection("127.0.0.1", self.port, timeout=WAIT)
        try:
            conn.putrequest(method, path, skip_host=True, skip_accept_encoding=True)
            headers = dict({"Host": "127.0.0.1:%d" % self.port}, **(headers or {}))
            if body is not None:
                body = body if isinstance(body, bytes) else json.dumps(body).encode()
                headers.setdefault("Content-Type", "application/json")
                headers["Content-Length"] = str(len(body))
            for key, value in headers.items():
                conn.putheader(key, value)
            conn.endheaders(body)
            response = conn.getresponse()
            return response.status, dict(response.getheaders()), response.read()
        finally:
            conn.close()

    def stop(self):
        """SIGINT, then the exit code (killed after WAIT seconds: -9); removes the temp dir."""
        try:
            if self.proc.poll() is None:
                self.proc.send_signal(signal.SIGINT)
            try:
                return self.proc.wait(WAIT)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait()
                return -9
        finally:
            self.proc.stdout.close()
            shutil.rmtree(self.dir, ignore_errors=True)


def require_browser():
    """Skips (fails under CI) unless Selenium, Chromium and chromedriver are installed."""
    try:
        import selenium  # noqa: F401
    except ImportError:
        skip_or_fail("python3-selenium is not installed")
    for program in ("/usr/bin/chromium", "/usr/bin/chromedriver"):
        if not os.access(program, os.X_OK):
            skip_or_fail("%s is not installed" % program)


def chromium():
    """A headless Chromium (1280 x 800) driven through chromedriver."""
    from selenium import webdriver
    from selenium.webdriver.chrome.service import Service
    options = webdriver.ChromeOptions()
    options.binary_location = "/usr/bin/chromium"
    for argument in ("--headless=new", "--no-sandbox", "--disable-gpu", "--window-size=1280,800"):
        options.add_argument(argument)
    driver = webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)
    driver.set_page_load_timeout(WAIT)
    driver.set_script_timeout(WAIT)
    return driver
