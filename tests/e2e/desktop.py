"""Drives the real program in a real X server the way a person does: keys
through xdotool, and what the window shows read through the accessibility
tree (AT-SPI). Runs inside scripts/with-xvfb; every wait has a deadline, so
a stuck program fails the run instead of hanging it."""

import os
import signal
import subprocess
import time

import pyatspi
from gi.repository import Atspi

WINDOW_TITLE = "Quarnel Test Utility"

# Every accessibility call waits while the program's GUI thread is busy.
Atspi.set_timeout(5000, 15000)


class Failure(Exception):
    pass


def wait_for(what, probe, timeout=10.0):
    """Polls probe() until it gives a true value, which is returned."""
    deadline = time.monotonic() + timeout
    problem = None
    while True:
        try:
            value = probe()
            if value:
                return value
        except Exception as error:  # a widget that went away, a call that timed out
            problem = error
        if time.monotonic() > deadline:
            raise Failure(f"timed out waiting for {what}" + (f" ({problem})" if problem else ""))
        time.sleep(0.1)


def xdotool(*args, timeout=15):
    result = subprocess.run(["xdotool", *args], capture_output=True, text=True, timeout=timeout)
    if result.returncode != 0:
        raise Failure(f"xdotool {' '.join(args)}: {result.stderr.strip()}")
    return result.stdout.strip()


class Program:
    """The built program as a process of its own, started in `folder`."""

    def __init__(self, path, folder, output):
        environment = dict(os.environ, QT_QPA_PLATFORM="xcb", QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1")
        environment.pop("NO_AT_BRIDGE", None)
        self.process = subprocess.Popen([path], cwd=folder, env=environment, stdout=output,
                                        stderr=subprocess.STDOUT, start_new_session=True)
        self.app = wait_for("the program on the accessibility bus", self._find_app, 30)
        self.window = wait_for("the main window", lambda: next(
            (child for child in self.app if child is not None and child.name == WINDOW_TITLE), None), 15)
        self.window_id = wait_for("the X window", lambda: xdotool(
            "search", "--onlyvisible", "--name", f"^{WINDOW_TITLE}$").split()[0])
        self.controls = {}

    def _find_app(self):
        if self.process.poll() is not None:
            raise Failure(f"the program ended with {self.process.returncode}")
        for app in pyatspi.Registry.getDesktop(0):
            if app is not None and app.get_process_id() == self.process.pid:
                return app
        return None

    def stop(self):
        if self.process.poll() is None:
            os.killpg(self.process.pid, signal.SIGTERM)
            try:
                self.process.wait(5)
            except subprocess.TimeoutExpired:
                os.killpg(self.process.pid, signal.SIGKILL)
                self.process.wait(5)

    def control(self, role, name):
        key = (role, name)
        if key not in self.controls:
            found = pyatspi.findDescendant(self.window, lambda a: a.getRoleName() == role and a.name == name)
            if found is None:
                raise Failure(f"no {role} named {name!r}")
            self.controls[key] = found
        return self.controls[key]

    def text(self, name):
        """The text of an edit field or of the log."""
        return self.control("text", name).queryText().getText(0, -1)

    def enabled(self, role, name):
        return self.control(role, name).getState().contains(pyatspi.STATE_ENABLED)

    def showing(self, role, name):
        return self.control(role, name).getState().contains(pyatspi.STATE_SHOWING)

    def checked(self, name):
        """Whether a radio button is checked."""
        return self.control("radio button", name).getState().contains(pyatspi.STATE_CHECKED)

    def keys(self, *keys):
        """Types keys into the main window, as a person at the keyboard would."""
        xdotool("windowfocus", "--sync", self.window_id)
        xdotool("key", "--clearmodifiers", "--delay", "50", *keys)

    def type(self, text):
        xdotool("windowfocus", "--sync", self.window_id)
        xdotool("type", "--clearmodifiers", "--delay", "20", text)

    def press_shared(self, key, role, name):
        """A mnemonic that two captions share only moves the focus, to each in
        turn: repeat it until the control has the focus, then press Space."""
        control = self.control(role, name)
        for _ in range(3):
            self.keys(f"alt+{key}")
            try:
                wait_for(f"the focus on {name!r}", lambda: control.getState().contains(pyatspi.STATE_FOCUSED), 2)
                break
            except Failure:
                continue
        self.keys("space")

    def wait_popup(self):
        """Waits for a popup of the program (a window beside the main one) and
        returns its geometry (x, y, width, height)."""
        def popup():
            windows = xdotool("search", "--onlyvisible", "--pid", str(self.process.pid)).split()
            others = [window for window in windows if window != self.window_id]
            return others[0] if others else None
        return self.geometry(wait_for("a popup", popup))

    def geometry(self, window=None):
        """The X window's (x, y, width, height), the main window's by default."""
        shell = xdotool("getwindowgeometry", "--shell", window or self.window_id)
        geometry = dict(line.split("=") for line in shell.split())
        return tuple(int(geometry[key]) for key in ("X", "Y", "WIDTH", "HEIGHT"))

    def extents(self, role, name):
        box = self.control(role, name).queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
        return box.x, box.y, box.width, box.height

    def wait_text(self, name, predicate, what, timeout=10.0):
        return wait_for(f"{what} in {name!r}", lambda: predicate(self.text(name)) and self.text(name), timeout)

    def wait_log(self, entry, timeout=10.0):
        """Waits until the log holds `entry` as one of its lines."""
        return self.wait_text("Log", lambda log: entry in log.splitlines(), repr(entry), timeout)
