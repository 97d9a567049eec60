"""The window on a tester's desktop: the built program under a window
manager (openbox, scripts/with-xvfb --wm) on a screen of a given size, at
the scale QT_SCALE_FACTOR asks for. What a person must be able to reach
lies on the screen: the managed window's frame, with and without the
Insight panel (opened by F2, a key no window manager takes), and every
button of the window and of the panel.
    desktop_test.py PROGRAM"""

import os
import subprocess
import sys
import tempfile

import pyatspi

from desktop import Failure, Program, wait_for, xdotool


def check(condition, what):
    if not condition:
        raise Failure(what)
    print("ok:", what, flush=True)


def frame(program):
    """The managed window's frame (x, y, width, height): its client area
    and the border the window manager draws around it."""
    extents = subprocess.run(["xprop", "-id", program.window_id, "_NET_FRAME_EXTENTS"], capture_output=True,
                             text=True, timeout=10).stdout
    if "=" not in extents:
        return None
    left, right, top, bottom = (int(value) for value in extents.split("=")[1].split(","))
    info = subprocess.run(["xwininfo", "-id", program.window_id], capture_output=True, text=True, timeout=10).stdout
    fields = dict(line.strip().split(":", 1) for line in info.splitlines() if ":" in line)
    x, y = int(fields["Absolute upper-left X"]), int(fields["Absolute upper-left Y"])
    width, height = int(fields["Width"]), int(fields["Height"])
    return x - left, y - top, width + left + right, height + top + bottom


def inside(box, screen):
    x, y, width, height = box
    return x >= 0 and y >= 0 and x + width <= screen[0] and y + height <= screen[1]


def check_reachable(program, screen, what):
    box = wait_for("the managed frame", lambda: frame(program))
    check(inside(box, screen), f"{what}: the frame {box} lies inside the screen {screen}")
    buttons = pyatspi.findAllDescendants(program.window, lambda a: a.getRoleName() == "push button"
                                         and a.getState().contains(pyatspi.STATE_SHOWING))
    outside = []
    for button in buttons:
        extents = button.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
        if not inside((extents.x, extents.y, extents.width, extents.height), screen):
            outside.append((button.name, extents.x, extents.y))
    check(buttons and not outside, f"{what}: all {len(buttons)} buttons on the screen (off it: {outside})")
    return box


def run(program):
    screen = tuple(int(value) for value in xdotool("getdisplaygeometry").split())
    scale = os.environ.get("QT_SCALE_FACTOR", "1")
    print(f"screen {screen[0]}x{screen[1]}, scale {scale}", flush=True)
    wait_for("openbox to manage the window", lambda: frame(program))
    closed = check_reachable(program, screen, "the window")
    program.keys("F2")
    wait_for("the Insight panel", lambda: program.showing("text", "Expected SW"))
    wait_for("the wider window", lambda: frame(program)[2] > closed[2])
    opened = check_reachable(program, screen, "the window with the panel")
    print(f"frames: closed {closed}, with the panel {opened}", flush=True)
    program.keys("F2")
    wait_for("the panel to close", lambda: not program.showing("text", "Expected SW"))
    # Alt+F4 reaches the program's own close handling through the window manager.
    program.keys("alt+F4")
    wait_for("the program to end", lambda: program.process.poll() is not None, 10)
    check(program.process.returncode == 0, "Alt+F4 ends the program with 0")


def main():
    with tempfile.TemporaryDirectory(prefix="qtu-desktop-") as folder, \
            open(os.path.join(folder, "program.log"), "w+") as output:
        program = None
        try:
            program = Program(sys.argv[1], folder, output)
            run(program)
            return 0
        except Failure as failure:
            print("FAILED:", failure, flush=True)
            output.seek(0)
            print("---- program output ----\n" + output.read(), flush=True)
            return 1
        finally:
            if program is not None:
                program.stop()


if __name__ == "__main__":
    sys.exit(main())
