"""Takes the README's screenshot: the main window after a GetUID exchange
with the simulated card, from the real program in a real X server.
    screenshot.py PROGRAM FOLDER OUTPUT.png
Run by scripts/screenshot (inside scripts/with-sim-pcscd and scripts/with-xvfb)."""

import subprocess
import sys

from desktop import Program, wait_for


def main():
    program_path, folder, output = sys.argv[1:4]
    program = Program(program_path, folder, subprocess.DEVNULL)
    try:
        program.press_shared("e", "push button", "Establish Context")
        program.wait_log("SCardEstablishContext: SUCCESS!")
        program.keys("alt+l")
        program.wait_log("SCardListReaders: SUCCESS!")
        program.press_shared("c", "push button", "Connect")
        program.wait_text("Log", lambda log: "SCardConnect: OK" in log, "the connect line")
        program.press_shared("s", "check box", "Compose Storage Card APDU")
        wait_for("the storage composer", lambda: program.checked("Compose Storage Card APDU"))
        program.keys("alt+t")
        program.wait_log("SCardTransmit: Output:")
        subprocess.run(["/usr/bin/import", "-window", program.window_id, output], check=True, timeout=30)
        print("wrote", output)
    finally:
        program.stop()


if __name__ == "__main__":
    main()
