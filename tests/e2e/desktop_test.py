"""The window on a tester's desktop: the built program under a window
manager (openbox, scripts/with-xvfb --wm) on a screen of a given size, at
the scale QT_SCALE_FACTOR asks for. What a person must be able to reach
lies on the screen: the managed window's frame, with and without the
Insight panel (opened by F2, a key no window manager takes), and every
button of the window and of the panel (on its first page and on its
Qualify page, F5), in the part of the window that
shows its content or, where the window scrolls, once Tab has reached it.
    desktop_test.py PROGRAM"""

import os
import subprocess
import sys
import tempfile
import time

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


def pixels(accessible):
    """An object's extents on the screen in pixels. Qt gives them in its
    scaled units: at QT_SCALE_FACTOR 1.5, 100 of them are 150 pixels."""
    scale = float(os.environ.get("QT_SCALE_FACTOR", "1"))
    box = accessible.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
    return tuple(value * scale for value in (box.x, box.y, box.width, box.height))


def view(program):
    """The part of the window's client area that shows its content: all of
    it, less the window's own scroll bars where it scrolls."""
    x, y, width, height = pixels(program.window)
    right, bottom = x + width, y + height
    for child in program.window:
        if child.getRoleName() == "scroll bar" and child.getState().contains(pyatspi.STATE_SHOWING):
            bar = pixels(child)
            if bar[3] > bar[2]:
                right = min(right, bar[0])
            else:
                bottom = min(bottom, bar[1])
    return x, y, right - x, bottom - y


def within(box, outer):
    return (box[0] >= outer[0] and box[1] >= outer[1] and box[0] + box[2] <= outer[0] + outer[2]
            and box[1] + box[3] <= outer[1] + outer[3])


def tab_to(program, control, presses=80):
    """Presses Tab until `control` has the focus, as a person at the keyboard
    reaches it."""
    for _ in range(presses):
        if control.getState().contains(pyatspi.STATE_FOCUSED):
            return True
        program.keys("Tab")
        time.sleep(0.1)
    return False


def scroll_to(program, control):
    """Moves the window's scroll bars, as a person with the mouse does, by
    as much as `control` lies beyond the view."""
    scale = float(os.environ.get("QT_SCALE_FACTOR", "1"))
    for child in program.window:
        if child.getRoleName() != "scroll bar" or not child.getState().contains(pyatspi.STATE_SHOWING):
            continue
        bar, box, shown = pixels(child), pixels(control), view(program)
        axis = 1 if bar[3] > bar[2] else 0
        start, end = box[axis], box[axis] + box[axis + 2]
        first, last = shown[axis], shown[axis] + shown[axis + 2]
        beyond = end - last if end > last else start - first if start < first else 0
        value = child.queryValue()
        value.currentValue = value.currentValue + round(beyond / scale)
    time.sleep(0.1)


def check_reachable(program, screen, what):
    box = wait_for("the managed frame", lambda: frame(program))
    check(inside(box, screen), f"{what}: the frame {box} lies inside the screen {screen}")
    buttons = pyatspi.findAllDescendants(program.window, lambda a: a.getRoleName() == "push button"
                                         and a.getState().contains(pyatspi.STATE_SHOWING))
    shown = (0, 0) + screen
    unreachable = []
    brought = []

    def in_view(button):
        return within(pixels(button), view(program)) and within(pixels(button), shown)

    for button in buttons:
        if in_view(button):
            continue
        # Out of view: reachable if Tab gets to it and the window then
        # scrolls it into view. A disabled button takes no focus (Tab
        # reaches it once it is enabled): the scroll bars must show it.
        if button.getState().contains(pyatspi.STATE_ENABLED):
            reached = tab_to(program, button) and in_view(button)
        else:
            scroll_to(program, button)
            reached = in_view(button)
        if reached:
            brought.append(button.name)
        else:
            unreachable.append((button.name, pixels(button), view(program)))
    check(buttons and not unreachable, f"{what}: all {len(buttons)} buttons reachable, {len(brought)} of them "
          f"brought into view {brought} (not: {unreachable})")
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
    # The Qualify page holds the panel's most buttons.
    program.keys("F5")
    wait_for("the Qualify page", lambda: program.showing("text", "Plan File"))
    check_reachable(program, screen, "the window with the Qualify page")
    program.keys("F2")
    wait_for("the panel to close", lambda: not program.showing("text", "Plan File"))
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
