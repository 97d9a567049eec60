"""Takes the README's screenshots from the real program in a real X server:
the main window after a GetUID exchange with the simulated card ("exchange"),
or the Insight panel after a 5000-run GetUID loop ("insight").
    screenshot.py PROGRAM FOLDER OUTPUT.png [exchange|insight]
Run by scripts/screenshot (inside scripts/with-sim-pcscd and scripts/with-xvfb)."""

import subprocess
import sys

from desktop import Program, wait_for, xdotool


def main():
    program_path, folder, output = sys.argv[1:4]
    scene = sys.argv[4] if len(sys.argv) > 4 else "exchange"
    program = Program(program_path, folder, subprocess.DEVNULL)
    try:
        program.press_shared("e", "push button", "Establish Context")
        program.wait_log("SCardEstablishContext: SUCCESS!")
        program.keys("alt+l")
        program.wait_log("SCardListReaders: SUCCESS!")
        program.press_shared("c", "push button", "Connect")
        program.wait_text("Log", lambda log: "SCardConnect: OK" in log, "the connect line")
        program.press_shared("s", "radio button", "Compose Storage Card APDU")
        wait_for("the storage composer", lambda: program.checked("Compose Storage Card APDU"))
        if scene == "insight":
            # The widened window must fit the screen: it grows to the right.
            xdotool("windowmove", "--sync", program.window_id, "0", "0")
            program.keys("alt+x")
            wait_for("the loop count enabled", lambda: program.enabled("text", "Loop Count"))
            program.keys("Tab", "Tab", "ctrl+a")
            program.type("5000")
            program.wait_text("Loop Count", lambda text: text == "5000", "the loop count")
            program.keys("F2")
            wait_for("the Insight panel", lambda: program.showing("text", "Expected SW"))
        program.keys("alt+t")
        program.wait_log("SCardTransmit: Output:", timeout=120)
        subprocess.run(["/usr/bin/import", "-window", program.window_id, output], check=True, timeout=30)
        print("wrote", output)
    finally:
        program.stop()


if __name__ == "__main__":
    main()
