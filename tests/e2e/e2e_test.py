"""End-to-end: the built program in a real X server against the simulated
reader, driven with the keyboard through the captions' mnemonics, checked
through what its window shows on the accessibility bus.
    e2e_test.py PROGRAM VERSION
Runs inside scripts/with-sim-pcscd and scripts/with-xvfb (see CMakeLists.txt)."""

import os
import sys
import tempfile

import pyatspi

from desktop import Failure, Program, wait_for, xdotool

UID_RESPONSE = "04 A1 B2 C3 90 00"
FIRMWARE_REVISION = "51 53 49 4D 2D 31 4B 20   31 2E 30 2E 30"  # "QSIM-1K 1.0.0"


def check(condition, what):
    if not condition:
        raise Failure(what)
    print("ok:", what, flush=True)


def run(program, version):
    readers = [os.environ.get("QTU_SIM_READER0", ""), os.environ.get("QTU_SIM_READER1", "")]
    check(all(readers), "the simulated readers are served")

    program.press_shared("e", "push button", "Establish Context")
    program.wait_log("SCardEstablishContext: SUCCESS!")
    check(program.text("Win Status") == "0x00000000", "Establish Context: status 0x00000000")
    wait_for("List Devices enabled", lambda: program.enabled("push button", "List Devices"))

    program.keys("alt+l")
    program.wait_log("SCardListReaders: SUCCESS!")
    reader_list = program.control("list", "Reader List")
    listed = [reader_list.getChildAtIndex(i).name for i in range(reader_list.childCount)]
    check(listed == readers, f"List Devices: the reader list shows {listed}")

    program.press_shared("c", "push button", "Connect")
    log = program.wait_text("Log", lambda log: "SCardConnect: OK, protocol = 0x" in log, "the connect line")
    check(program.text("Connected Reader") == readers[0], "Connect: the first reader is connected")
    check(program.text("ATR").startswith("3B "), f"Connect: the ATR {program.text('ATR')!r} is shown")

    # A GetUID APDU typed as hex digits and sent directly.
    program.keys("alt+h")
    wait_for("the hex field enabled", lambda: program.enabled("text", "Hex Data"))
    program.keys("Tab", "Tab")
    hex_field = program.control("text", "Hex Data")
    wait_for("the focus in the hex field", lambda: hex_field.getState().contains(pyatspi.STATE_FOCUSED))
    program.keys("ctrl+a")
    program.type("00ca000000")
    program.wait_text("Hex Data", lambda text: text == "00CA000000", "the typed capitals")
    program.wait_text("Hex Length", lambda text: text == "5", "5 bytes")
    program.keys("alt+y")
    wait_for("Direct selected", lambda: program.checked("Directly Send Data to Card"))
    program.keys("alt+t")
    log = program.wait_text("Log", lambda log: "SCardTransmit: Output:" in log.split("SCardConnect: OK")[-1],
                            "the response")
    lines = log.splitlines()
    request = lines[lines.index("SCardTransmit: Input:") + 1]
    response = lines[lines.index("SCardTransmit: Output:") + 1]
    check(request.strip() == "00 CA 00 00 00", f"direct transmit: request {request!r}")
    check(response.strip() == UID_RESPONSE, f"direct transmit: response {response!r}")
    check(program.text("Win Status") == "0x00000000", "direct transmit: status 0x00000000")

    # F2 opens the Insight panel, which no window manager takes: the window
    # widens to the right and moves left as far as the screen needs (to its
    # left edge when wider than the screen); F2 closes it again.
    x, y, width, height = program.geometry()
    screen_width = int(xdotool("getdisplaygeometry").split()[0])
    program.keys("F2")
    wait_for("the Insight panel", lambda: program.showing("text", "Expected SW"))
    wider = wait_for("the wider window", lambda: program.geometry()[2] > width and program.geometry())
    left = max(0, min(x, screen_width - wider[2]))
    check(wider[:2] == (left, y) and wider[3] == height,
          f"F2: the window widens from {width} to {wider[2]} at x {wider[0]} (expected {left}) on {screen_width}")
    # The page buttons are one group of radio buttons for a screen reader,
    # the open page's checked.
    def page_checked(name):
        return program.checked(name)
    check(page_checked("Transmit Loop") and not page_checked("Card"),
          "F2: the Transmit Loop page's button is checked, the other not")
    program.keys("F2")
    wait_for("the panel to close", lambda: not program.showing("text", "Expected SW") and program.geometry()[2] == width)

    # A vendor request chosen from the popup: Get Firmware Revision, the last item.
    program.keys("alt+v")
    wait_for("the vendor button enabled", lambda: program.enabled("push button", "Vendor I/O ..."))
    check(not program.enabled("check box", "Execute Command in Loop:"), "vendor type: the loop box is disabled")
    program.keys("alt+o")
    x, y, width, height = program.wait_popup()
    button_x, button_y, _, _ = program.extents("push button", "Vendor I/O ...")
    check((x, y + height) == (button_x, button_y), "the vendor popup opens upward from the button's corner")
    program.keys("Up", "Return")
    program.wait_text("Vendor Command", lambda text: text == "Get Firmware Revision", "the chosen command")
    check(program.text("Vendor Le") == "255", "Get Firmware Revision: Le reads 255")
    program.keys("alt+t")
    log = program.wait_text("Log", lambda log: "SCardControl: Output:" in log, "the vendor reply")
    lines = log.splitlines()
    reply = lines[lines.index("SCardControl: Output:") + 1:]
    check(reply[0] == "CMD = 8, PA = 0x00000000, PB = 0x00000000, PC = 0x00000000, LE = 13",
          f"vendor request: reply header {reply[0]!r}")
    check(reply[1].strip() == FIRMWARE_REVISION, f"vendor request: firmware revision {reply[1]!r}")
    check(program.text("Win Status") == "0x00000000", "vendor request: status 0x00000000")

    # The About box from the window menu shows the version stamped into the
    # program, started here by its full path from a folder off PATH.
    program.keys("alt+space")
    program.wait_popup()
    program.keys("Up", "Return")
    about = wait_for("the About box", lambda: next(
        (window for window in program.app if window is not None and window.name == "About . . ."), None))
    line = pyatspi.findDescendant(about, lambda a: a.getRoleName() == "label" and "Version" in a.name)
    expected = "quarnel-test-utility - Version " + version
    check(line is not None and line.name == expected, f"About shows {expected!r}")
    ok = pyatspi.findDescendant(about, lambda a: a.getRoleName() == "push button" and a.name == "OK")
    ok.queryAction().doAction(0)
    wait_for("the About box to close", lambda: about.name != "About . . ." or
             not about.getState().contains(pyatspi.STATE_SHOWING))

    program.keys("alt+q")
    wait_for("the program to end", lambda: program.process.poll() is not None, 10)
    check(program.process.returncode == 0, "Quit ends the program with 0")


def main():
    with tempfile.TemporaryDirectory(prefix="qtu-e2e-") as folder, \
            open(os.path.join(folder, "program.log"), "w+") as output:
        program = None
        try:
            program = Program(sys.argv[1], folder, output)
            run(program, ".".join((sys.argv[2].split(".") + ["0"] * 4)[:4]))
            return 0
        except Failure as failure:
            print("FAILED:", failure, flush=True)
            if program is not None:
                try:
                    print("---- log pane ----\n" + program.text("Log"), flush=True)
                except Exception:
                    pass
            output.seek(0)
            print("---- program output ----\n" + output.read(), flush=True)
            return 1
        finally:
            if program is not None:
                program.stop()


if __name__ == "__main__":
    sys.exit(main())
