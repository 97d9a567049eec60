"""Takes the README's screenshots from the real program in a real X server:
the main window after a GetUID exchange with the simulated card ("exchange"),
the Insight panel after a 5000-run GetUID loop ("insight"), its Card and
Reader page after a 6A 82 answer and the card's removal ("card"), or its
Qualify page after a short plan, the sweep selected ("qualify").
    screenshot.py PROGRAM FOLDER OUTPUT.png [exchange|insight|card|qualify]
Run by scripts/screenshot (inside scripts/with-sim-pcscd and scripts/with-xvfb)."""

import os
import subprocess
import sys
import tempfile

from desktop import Program, wait_for, xdotool


def shoot_card_page(program, output):
    xdotool("windowmove", "--sync", program.window_id, "0", "0")
    program.keys("F3")
    wait_for("the Card and Reader page", lambda: program.showing("list", "Card Events"))
    program.keys("alt+h")
    wait_for("hex entry", lambda: program.checked("Enter Data in HEX"))
    select = "00 A4 04 00 05 F0 01 02 03 04"
    program.control("text", "Hex Data").queryEditableText().setTextContents(select)
    program.wait_text("Hex Data", lambda text: text == select, "the SELECT command")
    program.keys("alt+t")
    program.wait_text("Last Result", lambda text: "6A 82" in text, "the 6A 82 meaning")
    with open(os.path.join(os.environ["QTU_SIM_DIR"], "reader0.ctl"), "w") as control:
        control.write("card=none\n")
    gone = "The card has left this reader."
    wait_for("the card's removal", lambda: program.control("text", "Connected Reader").description == gone)
    subprocess.run(["/usr/bin/import", "-window", program.window_id, output], check=True, timeout=30)
    print("wrote", output)


PLAN = """suite stability apdu=FFCA000000 runs=200 expect=9000
limit median_us < 20000
limit p99_us < 50000
suite sweep le header=FFB00000 from=1 to=16 runs=5
limit per_byte_us < 100
suite power cycles=5
limit max_ms < 1000
"""


def shoot_qualify_page(program, output):
    xdotool("windowmove", "--sync", program.window_id, "0", "0")
    with tempfile.NamedTemporaryFile("w", suffix=".plan", delete=False) as plan:
        plan.write(PLAN)
    program.keys("F5")
    wait_for("the Qualify page", lambda: program.showing("text", "Plan File"))
    program.control("text", "Plan File").queryEditableText().setTextContents(plan.name)
    program.wait_text("Plan File", lambda text: text == plan.name, "the plan's path")
    program.control("push button", "Run").queryAction().doAction(0)
    program.wait_text("Qualify Status", lambda text: text.startswith("Verdicts:"), "the run's end", timeout=120)
    # The sweep's row, with its limits and its chart.
    cell = program.control("table", "Verdicts").queryTable().getAccessibleAt(1, 0)
    box = cell.queryComponent().getExtents(0)
    xdotool("mousemove", str(box.x + box.width // 2), str(box.y + box.height // 2), "click", "1")
    program.wait_text("Qualify Status", lambda text: True, "the click")
    subprocess.run(["/usr/bin/import", "-window", program.window_id, output], check=True, timeout=30)
    os.unlink(plan.name)
    print("wrote", output)


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
        if scene == "card":
            shoot_card_page(program, output)
            return
        if scene == "qualify":
            shoot_qualify_page(program, output)
            return
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
