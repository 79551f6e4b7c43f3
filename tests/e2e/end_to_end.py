#!/usr/bin/env python3
"""The real program, started as its own process under Wine in the test
session's X display, driven with X input (xdotool) as a user would drive it,
and checked by screenshots of its window, by the bytes of "1.txt" and by its
exit code.

    end_to_end.py --program zirna.exe|zirna-mirror.exe --probe zirna-probe.exe
                  [--exclude CLASS,...] [CLASS...]

Needs DISPLAY, WINEPREFIX and WINE (the loader) of a running test session.
"""
import argparse
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import threading
import time
import unittest

PROGRAM = PROBE = RUN = None
WINE = os.environ.get("WINE", "wine")
# Makes a file read-only for this user and writable again (scripts/lib/machine.sh).
MACHINE = os.environ.get("ZIRNA_MACHINE", "machine.sh")

DEFAULT_POSE = [0, -40, 0, 20, 20, -20, 50, 20, 50, -20, 50, 20, 50, 30, 10, -30, 10, 30, 10,
                -30, 10]
# Where each joint key's point sits among the 21 values: x index (y follows).
JOINT_INDEX = {"y": 0, "space": 2, "b": 5, "n": 7, "v": 9, "m": 11, "u": 13, "t": 15,
               "j": 17, "g": 19}
SHOULDER_INDEX = 4


def pose_record(values):
    """The pose file's bytes for 21 values."""
    v = [str(n) for n in values]
    lines = [v[0:5], v[5:8], v[8:12], v[12:17], v[17:21]]
    return "\r\n".join(",".join(line) for line in lines).encode()


def wait_for(check, timeout=10.0, interval=0.05):
    """Polls until check() gives something true; returns its last value."""
    deadline = time.monotonic() + timeout
    while True:
        value = check()
        if value or time.monotonic() > deadline:
            return value
        time.sleep(interval)


def xdotool(*args):
    subprocess.run(["xdotool", *map(str, args)], check=True)


def pointer():
    out = subprocess.run(["xdotool", "getmouselocation", "--shell"], check=True,
                         capture_output=True, text=True).stdout
    fields = dict(line.split("=", 1) for line in out.split())
    return int(fields["X"]), int(fields["Y"])


def read_ppm(data):
    """(width, height, RGB bytes) of a binary PPM."""
    parts = data.split(maxsplit=4)
    assert parts[0] == b"P6" and parts[3] == b"255", parts[:4]
    return int(parts[1]), int(parts[2]), parts[4]


class Program:
    """One run of the program under test, in a directory of its own."""

    def __init__(self, workdir, scratch, locale=None):
        self.workdir = workdir  # the program's current directory
        self.scratch = scratch  # the test's own files
        self.env = dict(os.environ)
        if locale:
            self.env["ZIRNA_LOCALE"] = locale  # the LC_ALL of Wine (scripts/lib/wine.sh)
        for stale in self.probe("boxes").splitlines():
            raise AssertionError("a message box is left from before: " + stale)
        self.process = subprocess.Popen([WINE, PROGRAM], cwd=workdir, env=self.env,
                                        stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                        stderr=subprocess.DEVNULL)
        try:
            fields = self.probe("window", "30").split()
        except BaseException:
            self.kill()
            raise
        self.left, self.top, self.width, self.height = map(int, fields[:4])

    def probe(self, *args):
        done = subprocess.run([WINE, PROBE, *args], env=self.env, capture_output=True, text=True)
        if done.returncode != 0:
            raise AssertionError(f"the probe's {args[0]} ended with {done.returncode}: "
                                 f"{(done.stdout + done.stderr).strip()}")
        return done.stdout

    # Input, in client coordinates.
    def screen(self, x, y):
        return self.left + x, self.top + y

    def move(self, x, y):
        # xdotool sends nothing for a move to where the pointer already is.
        if pointer() == self.screen(x, y):
            xdotool("mousemove", *self.screen(x, y + 1))
        xdotool("mousemove", *self.screen(x, y))
        time.sleep(0.05)

    def press(self, button):
        xdotool("mousedown", button)
        time.sleep(0.05)

    def release(self, button):
        xdotool("mouseup", button)
        time.sleep(0.05)

    def drag(self, button, path):
        self.move(*path[0])
        self.press(button)
        for point in path[1:]:
            self.move(*point)
        self.release(button)

    def key(self, name):
        # Keyboard focus follows the pointer: the key reaches the window only
        # while the pointer is over its client area.
        x, y = pointer()
        assert self.left <= x < self.left + self.width and self.top <= y < self.top + self.height
        xdotool("key", name)
        time.sleep(0.05)

    def pointer_in_client(self):
        x, y = pointer()
        return x - self.left, y - self.top

    # What the window shows.
    def screenshot(self):
        crop = f"{self.width}x{self.height}+{self.left}+{self.top}"
        data = subprocess.run(["import", "-window", "root", "-depth", "8", "-crop", crop,
                               "ppm:-"], check=True, capture_output=True,
                              env=self.env).stdout
        return read_ppm(data)[2]

    def rendering(self, values, help_visible=0):
        """The client area as drawFigure draws these values, made by the probe."""
        path = os.path.join(self.scratch, "expected.ppm")
        self.probe("render", path, str(help_visible), str(self.width), str(self.height),
                   *map(str, values))
        with open(path, "rb") as f:
            data = f.read()
        os.remove(path)
        return read_ppm(data)[2]

    def shows(self, values, help_visible=0, timeout=5.0):
        expected = self.rendering(values, help_visible)
        return wait_for(lambda: self.screenshot() == expected, timeout)

    def pixel(self, shot, x, y):
        i = 3 * (y * self.width + x)
        return tuple(shot[i:i + 3])

    def saved(self):
        path = os.path.join(self.workdir, "1.txt")
        if not os.path.exists(path):
            return None
        with open(path, "rb") as f:
            return f.read()

    def close(self):
        """Alt+F4, as a user closes it; returns the exit code."""
        self.move(self.width // 2, self.height // 2)
        self.key("alt+F4")
        return self.process.wait(timeout=20)

    def kill(self):
        if self.process.poll() is None:
            self.process.kill()
            self.process.wait()


class EndToEnd(unittest.TestCase):
    locale = None
    mirror = False

    def setUp(self):
        # Cleanups run whatever fails, in setUp too, last registered first:
        # the program ends before its faults are undone and its files go.
        self.scratch = tempfile.mkdtemp(prefix="e2e-", dir=os.getcwd())
        self.addCleanup(shutil.rmtree, self.scratch, ignore_errors=True)
        self.workdir = self.prepare() or self.scratch
        # The pointer in the screen's far corner, away from where the window
        # opens: no earlier test's pointer reaches this test's program.
        width, height = subprocess.run(["xdotool", "getdisplaygeometry"], check=True,
                                       capture_output=True, text=True).stdout.split()
        xdotool("mousemove", int(width) - 1, int(height) - 1)
        self.program = Program(self.workdir, self.scratch, self.locale)
        self.addCleanup(self.program.kill)
        self.pose = list(DEFAULT_POSE)

    def prepare(self):
        """Makes the program's current directory, when not the scratch directory;
        registers the cleanups of what it sets up."""
        return None

    # The pose the program should now hold after a drag step at (x, y).
    def drag_to(self, key, x, y):
        dx, dy = (100 - x, 100 - y) if self.mirror else (x - 100, y - 100)
        if key == "h":
            self.pose[SHOULDER_INDEX] = dy
        else:
            i = JOINT_INDEX[key]
            self.pose[i:i + 2] = [dx, dy]

    def assertShows(self, help_visible=0):
        self.assertTrue(self.program.shows(self.pose, help_visible),
                        f"the window does not show the pose {self.pose}")

    def assertSaves(self):
        expected = pose_record(self.pose)
        self.assertEqual(wait_for(lambda: self.program.saved() == expected and expected) and
                         self.program.saved(), expected)

    def select(self, key, typed=None):
        """A selection key (typed as given); zirna moves the cursor onto the joint."""
        p = self.program
        p.move(250, 200)
        p.key(typed or key)
        if key in JOINT_INDEX and not self.mirror:
            i = JOINT_INDEX[key]
            target = (100 + self.pose[i], 100 + self.pose[i + 1])
            self.assertEqual(wait_for(lambda: p.pointer_in_client() == target), True)
        else:
            time.sleep(0.2)
            self.assertEqual(p.pointer_in_client(), (250, 200))


class ProgramTests(EndToEnd):
    def test_default_figure(self):
        self.assertShows()
        shot = self.program.screenshot()
        black, white = (0, 0, 0), (255, 255, 255)
        self.assertEqual(self.program.pixel(shot, 100, 50), black)  # the head's top
        self.assertEqual(self.program.pixel(shot, 100, 60), white)  # its white disc
        self.assertEqual(self.program.pixel(shot, 100, 100), black)  # the spine
        self.assertEqual(self.program.pixel(shot, 80, 150), white)  # a chain's last pixel
        self.assertEqual(self.program.close(), 0)
        self.assertIsNone(self.program.saved())  # closing saves nothing

    def test_drag_the_head_right_after_start(self):
        p = self.program
        p.drag(1, [(100, 60), (150, 80), (160, 70)])
        self.drag_to("y", 160, 70)
        self.assertShows()
        shot = p.screenshot()
        head = (200 - 160, 200 - 70) if self.mirror else (160, 70)
        self.assertEqual(p.pixel(shot, head[0], head[1] - 10), (0, 0, 0))
        p.move(*head)
        p.key("Return")
        self.assertSaves()
        self.assertEqual(p.close(), 0)

    def test_select_and_drag_a_knee(self):
        p = self.program
        self.select("n")
        start = p.pointer_in_client()
        p.drag(1, [start, (200, 180), (210, 185)])
        self.drag_to("n", 210, 185)
        self.assertShows()
        p.key("Return")
        self.assertSaves()

    def test_shoulder_by_height(self):
        p = self.program
        self.select("h")
        p.drag(1, [(250, 200), (30, 90), (280, 90)])
        self.drag_to("h", 280, 90)
        self.assertEqual(self.pose[SHOULDER_INDEX], 10 if self.mirror else -10)
        self.assertShows()
        p.key("Return")
        self.assertSaves()

    def test_enter_twice_keeps_the_latest_pose(self):
        p = self.program
        p.move(10, 10)
        p.key("Return")
        self.assertSaves()
        self.select("b")
        p.drag(1, [p.pointer_in_client(), (5, 190), (1, 200)])
        self.drag_to("b", 1, 200)
        p.key("Return")
        self.assertSaves()
        self.assertEqual(p.close(), 0)

    def test_help_while_the_right_button_is_held(self):
        p = self.program
        p.move(200, 150)
        p.press(3)
        self.assertShows(help_visible=1)
        p.release(3)
        self.assertShows(help_visible=0)

    def test_a_release_outside_the_window_is_not_seen(self):
        p = self.program
        p.move(100, 60)
        p.press(1)
        p.move(150, 150)
        xdotool("mousemove", p.left + p.width + 100, p.top + p.height + 100)
        time.sleep(0.1)
        p.release(1)
        # Back over the window with no button held: the head still follows.
        p.move(60, 40)
        p.move(70, 45)
        self.drag_to("y", 70, 45)
        self.assertShows()
        p.press(1)
        p.release(1)
        p.move(20, 20)
        self.assertShows()  # released inside: no more dragging

    def test_a_right_release_outside_keeps_the_help(self):
        p = self.program
        p.move(200, 150)
        p.press(3)
        xdotool("mousemove", p.left + p.width + 100, p.top + 10)
        time.sleep(0.1)
        p.release(3)
        p.move(200, 150)
        self.assertShows(help_visible=1)
        p.press(3)
        p.release(3)
        self.assertShows(help_visible=0)

    def test_letters_select_with_shift_and_caps_lock(self):
        p = self.program
        self.select("n", typed="shift+n")  # Shift alone deselects; N selects
        p.drag(1, [p.pointer_in_client(), (200, 180), (210, 185)])
        self.drag_to("n", 210, 185)
        self.assertShows()
        p.key("Caps_Lock")
        try:
            self.select("b")
            p.drag(1, [p.pointer_in_client(), (30, 180), (25, 170)])
        finally:
            p.move(150, 100)
            p.key("Caps_Lock")
        self.drag_to("b", 25, 170)
        self.assertShows()

    def test_an_unlisted_key_deselects(self):
        p = self.program
        p.move(250, 200)
        p.key("Escape")
        p.drag(1, [(250, 200), (20, 20)])
        time.sleep(0.3)
        self.assertShows()
        self.assertEqual(p.pointer_in_client(), (20, 20))


def boxes(program):
    """The message boxes on the screen, as the probe reads them."""
    found = []
    for line in program.probe("boxes").splitlines():
        fields = dict(part.split("=", 1) for part in line.strip().split("\t"))
        found.append(fields)
    return found


def is_stream_error(box):
    return (box.get("owner"), box.get("caption"), box.get("text"), box.get("buttons")) == \
        ("none", "stream error", "error", "OK")


class SaveFault(EndToEnd):
    """Enter while 1.txt cannot be written, then again once the cause is gone."""
    fault = None

    def prepare(self):
        self.cwd = os.path.join(self.scratch, "work")
        os.mkdir(self.cwd)
        if self.fault == "full":
            # A full disk: a tiny tmpfs (CTest runs this only where one can be
            # mounted), filled up.
            subprocess.run(["mount", "-t", "tmpfs", "-o", "size=64k", "tmpfs", self.cwd],
                           check=True)
            self.addCleanup(self.unmount)
            subprocess.run(["dd", "if=/dev/zero", f"of={self.cwd}/filler", "bs=4096"],
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        if self.fault == "readonly":
            self.addCleanup(self.make_writable)
        return self.cwd

    def unmount(self):
        if os.path.ismount(self.cwd):
            subprocess.run(["umount", "-l", self.cwd], check=True)

    def make_writable(self):
        path = self.file_path()
        if os.path.exists(path):
            subprocess.run([MACHINE, "unlock", path], check=True)

    def release_holder(self):
        if self.holder is None:
            return
        self.holder.kill()
        self.holder.wait()
        self.holder.stdout.close()
        self.holder = None

    def file_path(self):
        return os.path.join(self.cwd, "1.txt")

    def wait_for_boxes(self, count):
        found = wait_for(lambda: len(boxes(self.program)) >= count and boxes(self.program))
        self.assertEqual(len(found or []), count, f"message boxes: {found}")
        for box in found:
            self.assertTrue(is_stream_error(box), f"not the stream error box: {box}")
        return found

    def dismiss_boxes(self):
        """OK on each box, as a user does: Return with the pointer over it."""
        while True:
            shown = boxes(self.program)
            if not shown:
                return
            left, top, right, bottom = map(int, shown[0]["rect"].split(","))
            xdotool("mousemove", (left + right) // 2, (top + bottom) // 2)
            time.sleep(0.1)
            xdotool("key", "Return")
            time.sleep(0.2)

    def make_fault(self):
        path = self.file_path()
        if self.fault in ("readonly", "held"):
            with open(path, "wb") as f:
                f.write(b"previous pose")
        if self.fault == "readonly":
            # Root ignores permission bits: the machine's own way (CTest runs
            # this only where there is one).
            subprocess.run([MACHINE, "lock", path], check=True)
        elif self.fault == "directory":
            os.mkdir(path)
        elif self.fault == "held":
            holder_err = open(os.path.join(self.scratch, "holder.err"), "w+b")
            self.addCleanup(holder_err.close)
            self.holder = subprocess.Popen([WINE, PROBE, "hold", "1.txt"], cwd=self.cwd,
                                           stdout=subprocess.PIPE, stderr=holder_err,
                                           env=self.program.env)
            self.addCleanup(self.release_holder)
            said = self.holder.stdout.readline().strip()
            if said != b"held":
                status = self.holder.wait()
                holder_err.seek(0)
                self.fail(f"the probe's hold said {said!r} and ended with {status}: "
                          f"{holder_err.read().decode(errors='replace').strip()}")
        elif self.fault == "removed":
            shutil.rmtree(self.cwd)

    def file_as_it_was(self):
        path = self.file_path()
        if self.fault == "readonly":
            with open(path, "rb") as f:
                return f.read() == b"previous pose"
        if self.fault == "directory":
            return os.path.isdir(path)
        return not os.path.exists(path) or self.fault == "held"

    def clear_fault(self):
        path = self.file_path()
        if self.fault == "readonly":
            self.make_writable()
        elif self.fault == "directory":
            os.rmdir(path)
        elif self.fault == "held":
            self.release_holder()
            with open(path, "rb") as f:
                self.assertEqual(f.read(), b"previous pose")
        elif self.fault == "full":
            os.remove(os.path.join(self.cwd, "filler"))
        elif self.fault == "removed":
            os.mkdir(self.cwd)

    def check_fault(self):
        p = self.program
        self.select("n")
        p.drag(1, [p.pointer_in_client(), (200, 180), (210, 185)])
        self.drag_to("n", 210, 185)
        self.make_fault()
        p.move(150, 100)
        p.key("Return")
        self.wait_for_boxes(1)
        self.assertTrue(self.file_as_it_was())
        self.dismiss_boxes()
        self.assertShows()  # the pose is as it was
        self.select("y")
        p.drag(1, [p.pointer_in_client(), (60, 30), (70, 35)])  # editing goes on
        self.drag_to("y", 70, 35)
        self.assertShows()
        self.clear_fault()
        p.move(150, 100)
        p.key("Return")
        self.assertSaves()
        self.assertEqual(boxes(p), [])
        self.assertEqual(p.close(), 0)


class ReadOnlyFile(SaveFault):
    fault = "readonly"

    def test_save_through_the_fault(self):
        self.check_fault()


class DirectoryNamedLikeTheFile(SaveFault):
    fault = "directory"

    def test_save_through_the_fault(self):
        self.check_fault()


class FileHeldByAnotherProgram(SaveFault):
    fault = "held"

    def test_save_through_the_fault(self):
        self.check_fault()


class FullDevice(SaveFault):
    fault = "full"

    def test_save_through_the_fault(self):
        self.check_fault()


class RemovedDirectory(SaveFault):
    fault = "removed"

    def test_save_through_the_fault(self):
        self.check_fault()


class SecondSaveInsideTheBox(SaveFault):
    fault = "directory"

    def test_second_save_while_the_box_is_open(self):
        p = self.program
        self.make_fault()
        p.move(150, 100)
        p.key("Return")
        self.wait_for_boxes(1)
        # Click the main window active and press Enter there: a second save
        # runs inside the first box's loop.
        p.move(250, 200)
        p.press(1)
        p.release(1)
        p.key("Return")
        self.wait_for_boxes(2)
        self.dismiss_boxes()
        self.assertIsNone(p.process.poll())
        self.assertShows()
        self.clear_fault()
        p.move(150, 100)
        p.key("Return")
        self.assertSaves()
        self.assertEqual(p.close(), 0)


class JapaneseHelpTests(EndToEnd):
    locale = "ja_JP.UTF-8"

    def test_help_in_code_page_932(self):
        p = self.program
        p.move(200, 150)
        p.press(3)
        self.assertShows(help_visible=1)
        p.release(3)
        self.assertShows()
        self.assertEqual(p.close(), 0)


class SideBySide(unittest.TestCase):
    """Both run commands at once in one checkout, on this display, from a
    fresh build tree: both windows open, each program saves its own 1.txt
    in the directory its command started in, one Ctrl-C ends each, and
    neither shows Wine's own messages."""

    @staticmethod
    def windows():
        return subprocess.run(["xdotool", "search", "--name", "^Vendrikdidoru$"],
                              capture_output=True, text=True).stdout.split()

    def test_two_run_commands_at_once(self):
        scratch = tempfile.mkdtemp(prefix="side-", dir=os.getcwd())
        self.addCleanup(shutil.rmtree, scratch, ignore_errors=True)
        # (TMPDIR: Wine's own folder for the new prefix goes with the rest.)
        env = dict(os.environ, ZIRNA_BUILD=os.path.join(scratch, "build"), TMPDIR=scratch)
        env.pop("WINEDEBUG", None)  # the session's: the commands say nothing of Wine's then
        names = ["zirna", "zirna-mirror"]
        barrier = threading.Barrier(len(names))
        commands = {}

        def start(name):
            os.mkdir(os.path.join(scratch, name))
            barrier.wait()
            # In a process group of its own, as a terminal starts a command.
            commands[name] = subprocess.Popen([RUN, name], cwd=os.path.join(scratch, name),
                                              env=env, stdin=subprocess.DEVNULL,
                                              stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                                              start_new_session=True)
        threads = [threading.Thread(target=start, args=(name,)) for name in names]
        for thread in threads:
            thread.start()
        for thread in threads:
            thread.join()
        self.addCleanup(lambda: [os.killpg(c.pid, signal.SIGKILL) for c in commands.values()
                                 if c.poll() is None])
        wait_for(lambda: len(self.windows()) == 2 or any(c.poll() is not None
                                                          for c in commands.values()),
                 timeout=600, interval=1)
        windows = self.windows()
        self.assertEqual(len(windows), 2, "not two windows; the commands ended with " +
                        str([c.poll() for c in commands.values()]))
        # Without a window manager both open at (0,0): one goes aside. A
        # right click (the help, shown and gone) makes the window under the
        # pointer the active one, which Enter goes to.
        xdotool("windowmove", "--sync", windows[1], 400, 300)
        for window in windows:
            geometry = subprocess.run(["xdotool", "getwindowgeometry", "--shell", window],
                                      check=True, capture_output=True, text=True).stdout
            fields = dict(line.split("=", 1) for line in geometry.split())
            x, y = int(fields["X"]) + 100, int(fields["Y"]) + 100
            xdotool("mousemove", x, y + 1)
            xdotool("mousemove", x, y)
            xdotool("click", 3)
            time.sleep(0.2)
            xdotool("key", "Return")
        for name in names:
            path = os.path.join(scratch, name, "1.txt")
            wait_for(lambda: os.path.exists(path) and os.path.getsize(path) > 0)
            with open(path, "rb") as f:
                self.assertEqual(f.read(), pose_record(DEFAULT_POSE), name)
        for command in commands.values():
            os.killpg(command.pid, signal.SIGINT)
        for name, command in commands.items():
            self.assertEqual(command.wait(15), 130, name)
            said = command.stdout.read().decode(errors="replace").strip()
            command.stdout.close()
            print(f"run.sh {name}:", said.replace("\n", "\n    "), file=sys.stderr)
            self.assertNotIn("err:", said, f"{name}: Wine's messages on the terminal")
        self.assertTrue(wait_for(lambda: not self.windows()), "a window is left after Ctrl-C")


def main():
    global PROGRAM, PROBE, RUN
    parser = argparse.ArgumentParser()
    parser.add_argument("--program", required=True)
    parser.add_argument("--probe", required=True)
    parser.add_argument("--run", default="run.sh", help="the run command, for SideBySide")
    parser.add_argument("--exclude", default="",
                        help="test classes not to run, separated by commas")
    args, rest = parser.parse_known_args()
    PROGRAM, PROBE = os.path.abspath(args.program), os.path.abspath(args.probe)
    RUN = os.path.abspath(args.run)
    EndToEnd.mirror = "mirror" in os.path.basename(PROGRAM)
    print(f"end to end: {os.path.basename(PROGRAM)}", flush=True)
    excluded = set(filter(None, args.exclude.split(",")))
    classes = [name for name, value in globals().items()
               if isinstance(value, type) and issubclass(value, unittest.TestCase) and
               unittest.defaultTestLoader.getTestCaseNames(value) and name not in excluded]
    unittest.main(argv=[sys.argv[0], "-v", *rest], defaultTest=classes)


if __name__ == "__main__":
    main()
