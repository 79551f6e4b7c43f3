#!/usr/bin/env python3
"""The run command's browser path, end to end: scripts/browser.sh serves the
real program's display to a web browser, and headless Chromium, driven
through Selenium, uses the printed address as a person would. Everything
goes through the page (noVNC): the mouse and keys that edit the pose, and
the browser's own screenshot that is checked.

    browser.py --serve scripts/browser.sh --program zirna.exe
               --probe zirna-probe.exe [--sessions DIR] [--screenshot OUT.png]
    browser.py --serve COMMAND --workdir DIR

The second form serves through another command, run in DIR, where 1.txt is
looked for (the README's container line, whose program and display this
side cannot reach): the window is found in the page's screenshot by its
white client area, the help is seen as a change of the client area while
the right button is held, and what the command leaves is its own to end.

The address without the password and with a wrong one must show no screen;
with it, the page shows the screen at 1:1. The head is dragged, the right
button held (the help must show over the dragged figure, to the pixel),
Enter writes 1.txt (its bytes are checked) and Alt+F4 closes the window:
then the command must exit with the program's exit code, 0, having ended
every process it started. --screenshot keeps the browser's screenshot with
the help shown.

Needs /usr/bin/python3 with Debian's python3-selenium, chromium and
chromium-driver, and ImageMagick.
"""
import argparse
import glob
import os
import re
import shutil
import signal
import socket
import stat
import subprocess
import sys
import tempfile
import threading
import time
import unittest

from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.action_chains import ActionChains
from selenium.webdriver.common.actions.action_builder import ActionBuilder
from selenium.webdriver.common.actions.mouse_button import MouseButton
from selenium.webdriver.common.keys import Keys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from end_to_end import DEFAULT_POSE, pose_record, read_ppm, wait_for  # noqa: E402

ARGS = None
WINE = os.environ.get("WINE", "wine")
# Chromium as root, headless, and quiet on a closed network: no sandbox, and
# none of its own connections to the outside.
CHROMIUM_FLAGS = ["--headless", "--no-sandbox", "--disable-gpu", "--disable-quic",
                  "--no-first-run", "--disable-background-networking",
                  "--disable-component-update", "--disable-sync",
                  "--force-device-scale-factor=1", "--window-size=800,600",
                  # Containers often give /dev/shm only 64 MB.
                  "--disable-dev-shm-usage"]
# The page's state, from noVNC's own markers.
PAGE_STATE = """
const canvas = document.querySelector('#noVNC_container canvas');
const r = canvas ? canvas.getBoundingClientRect() : null;
return {connected: document.documentElement.classList.contains('noVNC_connected'),
        asks: document.getElementById('noVNC_credentials_dlg').classList.contains('noVNC_open'),
        status: document.getElementById('noVNC_status').textContent,
        failed: document.getElementById('noVNC_status').classList.contains('noVNC_status_error'),
        canvas: r && [r.left, r.top, r.width, r.height, canvas.width, canvas.height]};
"""


def png_to_rgb(png):
    """(width, height, RGB bytes) of PNG data, through ImageMagick."""
    ppm = subprocess.run(["convert", "png:-", "-depth", "8", "ppm:-"], input=png,
                         check=True, capture_output=True).stdout
    return read_ppm(ppm)


def longest_run(flags):
    """The indices of the longest run of true flags."""
    best, start = range(0), None
    for i, flag in enumerate(list(flags) + [False]):
        if flag and start is None:
            start = i
        elif not flag and start is not None:
            best = max(best, range(start, i), key=len)
            start = None
    return best


def changed(a, b):
    """How many pixels differ between two images of one size."""
    return sum(a[i:i + 3] != b[i:i + 3] for i in range(0, len(a), 3))


def crop(image, x, y, width, height):
    image_width, _, data = image
    rows = [data[3 * ((y + row) * image_width + x):3 * ((y + row) * image_width + x + width)]
            for row in range(height)]
    return b"".join(rows)


def session_processes(prefix, ports, display):
    """What is left of a run: processes of its Wine prefix, its listening
    ports, its display."""
    left = []
    for environ in glob.glob("/proc/[0-9]*/environ"):
        try:
            with open(environ, "rb") as f:
                if f"WINEPREFIX={prefix}".encode() in f.read().split(b"\0"):
                    pid = environ.split("/")[2]
                    with open(f"/proc/{pid}/cmdline", "rb") as c:
                        command = c.read().replace(b"\0", b" ").decode(errors="replace")
                    left.append(f"{pid} {command}".strip())
        except OSError:
            pass
    for port in ports:
        with socket.socket() as s:
            if s.connect_ex(("127.0.0.1", port)) == 0:
                left.append(f"port {port}")
    if os.path.exists(f"/tmp/.X{display.lstrip(':')}-lock"):
        left.append(f"display {display}")
    return left


def adopt_orphans():
    """Makes this process the one that inherits its descendants' orphans
    (Chromium's helpers outlive their parent for a moment when it is ended),
    so that it can reap them rather than leave them to init."""
    import ctypes
    PR_SET_CHILD_SUBREAPER = 36
    ctypes.CDLL(None).prctl(PR_SET_CHILD_SUBREAPER, 1, 0, 0, 0)


def reap_orphans(timeout=10.0):
    """Waits for every child left (ended outright after the timeout)."""
    deadline = time.monotonic() + timeout
    while True:
        try:
            pid, _ = os.waitpid(-1, os.WNOHANG)
        except ChildProcessError:
            return
        if pid == 0:
            if time.monotonic() > deadline:
                for child in glob.glob(f"/proc/{os.getpid()}/task/*/children"):
                    with open(child) as f:
                        for left in f.read().split():
                            os.kill(int(left), signal.SIGKILL)
            time.sleep(0.05)


class BrowserRun(unittest.TestCase):
    def setUp(self):
        adopt_orphans()
        self.addCleanup(reap_orphans)
        self.scratch = tempfile.mkdtemp(prefix="browser-", dir=os.getcwd())
        self.addCleanup(shutil.rmtree, self.scratch, ignore_errors=True)
        self.workdir = ARGS.workdir or os.path.join(self.scratch, "work")
        os.makedirs(self.workdir, exist_ok=True)
        # The command in a process group of its own, as a terminal would
        # start it, so that the cleanup can interrupt it as Ctrl-C does.
        command = [ARGS.serve] + ([ARGS.program, ARGS.sessions] if ARGS.probe else [])
        self.started = time.monotonic()
        self.serve = subprocess.Popen(command,
                                      cwd=self.workdir, stdin=subprocess.DEVNULL,
                                      stdout=subprocess.PIPE, text=True,
                                      start_new_session=True)
        self.addCleanup(self.end_serve)
        self.address = self.read_address()
        self.session = self.read_session() if ARGS.probe else {}
        self.browser = self.start_browser()

    def read_address(self):
        # The first run makes a Wine prefix (half a minute, more on a busy
        # machine); the line may take that long.
        lines = []

        def read():
            for line in self.serve.stdout:
                lines.append(line)
                if "http://" in line:
                    return
        reader = threading.Thread(target=read, daemon=True)
        reader.start()
        reader.join(600)
        self.assertTrue(lines, "the command printed no address")
        match = re.search(r"(http://127\.0\.0\.1:(\d+)/\S+)", lines[-1])
        self.assertIsNotNone(match, f"no address in {lines!r}")
        print(f"the address after {time.monotonic() - self.started:.0f} s: {match.group(1)}",
              file=sys.stderr)
        self.web_port = int(match.group(2))
        return match.group(1)

    def read_session(self):
        """The display, X cookie and Wine prefix of the run (its slot's
        session.env), for the probe."""
        found = sorted(glob.glob(os.path.join(ARGS.sessions, "*", "session.env")),
                       key=os.path.getmtime)
        self.assertTrue(found, "no session.env")
        with open(found[-1]) as f:
            session = dict(line.strip().split("=", 1) for line in f if "=" in line)
        self.env = dict(os.environ, **session, ZIRNA_LOCALE="ja_JP.UTF-8")
        return session

    def start_browser(self):
        profile = tempfile.mkdtemp(prefix="chromium-", dir=self.scratch)
        options = webdriver.ChromeOptions()
        options.binary_location = "/usr/bin/chromium"
        for flag in CHROMIUM_FLAGS + [f"--user-data-dir={profile}"]:
            options.add_argument(flag)
        browser = webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)
        self.addCleanup(browser.quit)
        return browser

    def end_serve(self):
        if self.serve.poll() is None:
            os.killpg(self.serve.pid, signal.SIGINT)
            try:
                self.serve.wait(60)
            except subprocess.TimeoutExpired:
                os.killpg(self.serve.pid, signal.SIGKILL)
                self.serve.wait()
        self.serve.stdout.close()

    def probe(self, *args):
        return subprocess.run([WINE, ARGS.probe, *args], env=self.env, check=True,
                              capture_output=True, text=True).stdout

    def page(self):
        return self.browser.execute_script(PAGE_STATE)

    def open(self, address):
        self.browser.get("about:blank")
        self.browser.get(address)

    def shows_nothing(self, address, why):
        """The page at this address never shows the screen."""
        self.open(address)
        state = wait_for(lambda: (lambda s: (s["asks"] or s["failed"]) and s)(
            self.page()), timeout=20)
        self.assertTrue(state, f"{why}: the page neither asks nor fails: {self.page()}")
        time.sleep(1)
        state = self.page()
        self.assertFalse(state["connected"], f"{why}: connected")
        self.assertFalse(state["canvas"] and state["canvas"][2] > 0,
                         f"{why}: a screen is shown: {state}")

    # Input through the page, in the window's client coordinates.
    def at(self, x, y):
        return self.left + x, self.top + y

    def pointer(self, *steps):
        actions = ActionBuilder(self.browser)
        for step in steps:
            if step[0] == "move":
                actions.pointer_action.move_to_location(*self.at(*step[1:]))
            elif step[0] == "down":
                actions.pointer_action.pointer_down(step[1])
            elif step[0] == "up":
                actions.pointer_action.pointer_up(step[1])
        actions.perform()

    def client_area(self):
        """The window's client area in the browser's own screenshot."""
        shot = png_to_rgb(self.browser.get_screenshot_as_png())
        return crop(shot, self.left, self.top, self.width, self.height)

    def white_area(self, left, top, width, height):
        """The client area (x, y, width, height) in the page's screenshot:
        the longest run of mostly white rows, and in its first row the
        longest run of white pixels (the frame's highlights are white too)."""
        shot = png_to_rgb(self.browser.get_screenshot_as_png())
        screen = crop(shot, int(left), int(top), width, height)
        white = b"\xff\xff\xff"
        rows = longest_run([screen[3 * y * width:3 * (y + 1) * width].count(white) > width // 3
                            for y in range(height)])
        if not rows:
            return None
        row = screen[3 * rows[0] * width:3 * (rows[0] + 1) * width]
        columns = longest_run([row[3 * x:3 * x + 3] == white for x in range(width)])
        return columns[0], rows[0], len(columns), len(rows)

    def rendering(self, pose, help_visible):
        path = os.path.join(self.scratch, "expected.ppm")
        self.probe("render", path, str(help_visible), str(self.width), str(self.height),
                   *map(str, pose))
        with open(path, "rb") as f:
            return read_ppm(f.read())[2]

    def test_edit_and_save_through_the_page(self):
        # Without the password, and with a wrong one: no screen.
        base = self.address.split("&password=")[0]
        self.assertNotEqual(base, self.address, "the address carries no password")
        self.shows_nothing(base, "without the password")
        self.shows_nothing(base + "&password=wrong123", "with a wrong password")

        # With it: connected, and the screen at 1:1.
        self.open(self.address)
        state = wait_for(lambda: (lambda s: s["connected"] and s)(self.page()), timeout=20)
        self.assertTrue(state, f"not connected: {self.page()}")
        left, top = state["canvas"][:2]
        if left % 1 or top % 1:
            # The page centres the screen: a viewport of odd size puts it
            # between pixels. One pixel more, where needed, puts it on them.
            size = self.browser.get_window_size()
            self.browser.set_window_size(size["width"] + (left % 1 > 0),
                                         size["height"] + (top % 1 > 0))
            time.sleep(0.5)
            state = self.page()
        left, top, css_width, css_height, width, height = state["canvas"]
        screen = self.session.get("ZIRNA_XVFB_SCREEN", "480x360x24").split("x")
        self.assertEqual((width, height), (int(screen[0]), int(screen[1])))
        self.assertEqual((css_width, css_height), (width, height), "not at 1:1")
        self.assertEqual((left, top), (int(left), int(top)), "not on whole pixels")

        if ARGS.probe:
            cx, cy, self.width, self.height = map(int, self.probe("window", "30").split()[:4])
        else:
            cx, cy, self.width, self.height = wait_for(lambda: self.white_area(left, top, width,
                                                                                height), timeout=30)
        self.left, self.top = int(left) + cx, int(top) + cy

        # The head is chosen at start: a left drag places it.
        pose = list(DEFAULT_POSE)
        self.pointer(("move", 100, 60), ("down", MouseButton.LEFT), ("move", 150, 80),
                     ("move", 160, 70), ("up", MouseButton.LEFT))
        pose[0:2] = [160 - 100, 70 - 100]
        if ARGS.probe:
            expected = self.rendering(pose, 0)
            self.assertTrue(wait_for(lambda: self.client_area() == expected),
                            "the page does not show the dragged head")
        else:
            time.sleep(1)
            expected = self.client_area()

        # The right button held: the help over the dragged figure.
        self.pointer(("move", 200, 150), ("down", MouseButton.RIGHT))
        if ARGS.probe:
            helped = self.rendering(pose, 1)
            self.assertTrue(wait_for(lambda: self.client_area() == helped),
                            "the page does not show the help over the dragged figure")
        else:
            self.assertTrue(wait_for(lambda: changed(self.client_area(), expected) > 200),
                            "the page shows no help while the right button is held")
        if ARGS.screenshot:
            self.browser.save_screenshot(ARGS.screenshot)
        self.pointer(("up", MouseButton.RIGHT))
        if not ARGS.probe:
            self.assertTrue(wait_for(lambda: self.client_area() == expected),
                            "the help stays after the right button is let go")

        # Enter saves, in the directory the command was started from.
        ActionChains(self.browser).send_keys(Keys.ENTER).perform()
        saved = os.path.join(self.workdir, "1.txt")
        record = pose_record(pose)

        def content():
            if os.path.exists(saved):
                with open(saved, "rb") as f:
                    return f.read()
            return None
        wait_for(lambda: content() == record)
        self.assertEqual(content(), record)
        # Written with the permissions of the umask the command was started with.
        umask = os.umask(0)
        os.umask(umask)
        if ARGS.probe:
            self.assertEqual(oct(stat.S_IMODE(os.stat(saved).st_mode)), oct(0o666 & ~umask))

        # Alt+F4 closes the window; then the command ends with the program's
        # exit code and leaves nothing behind. (Not watched with the probe: a
        # probe started as the command ends its wineserver would start one.)
        ActionChains(self.browser).key_down(Keys.ALT).send_keys(Keys.F4).key_up(
            Keys.ALT).perform()
        try:
            status = self.serve.wait(30)
        except subprocess.TimeoutExpired:
            self.fail("the command has not ended 30 s after Alt+F4")
        self.assertEqual(status, 0, "the command did not end with the program's exit code")
        if not ARGS.probe:
            return
        ports = [self.web_port]
        self.assertEqual(session_processes(self.session["WINEPREFIX"], ports,
                                           self.session["DISPLAY"]), [])


def main():
    global ARGS
    parser = argparse.ArgumentParser()
    parser.add_argument("--serve", required=True)
    parser.add_argument("--program")
    parser.add_argument("--probe")
    parser.add_argument("--sessions", default=os.path.join(os.getcwd(), "browser-sessions"))
    parser.add_argument("--workdir")
    parser.add_argument("--screenshot")
    ARGS, rest = parser.parse_known_args()
    for name in ("serve", "program", "probe", "sessions", "workdir"):
        if getattr(ARGS, name):
            setattr(ARGS, name, os.path.abspath(getattr(ARGS, name)))
    if ARGS.screenshot:
        ARGS.screenshot = os.path.abspath(ARGS.screenshot)
    unittest.main(argv=[sys.argv[0], "-v", *rest])


if __name__ == "__main__":
    main()
