"""scripts/sim as a person drives it, against the simulated readers:
    sim_tool_test.py PROGRAM DRIVER
inside scripts/with-sim-pcscd (PROGRAM is the built quarnel-test-utility,
DRIVER the sim driver). It moves the harness's card and `list` shows it; from
outside a second harness started with --publish, as scripts/run starts one, it
finds that harness's readers, and once that harness is gone it says so instead
of writing into a folder nobody reads. Against a folder of its own (no pcscd):
what it writes into the control files, tap's steps (a stand-in `sleep` records
the card at every pause), and what it refuses."""

import os
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
SIM = os.path.join(HERE, "..", "..", "scripts", "sim")
HARNESS = os.path.join(HERE, "..", "..", "scripts", "with-sim-pcscd")
ROUNDS = 300  # pcscd looks at a reader about every 0.4 s; this bounds the waits, it times nothing

# Arguments; the reader whose control file is looked at, the file before and
# what it holds after (None: no file, or left as it was); the pauses tap makes
# (with the card at each); the exit status and the start of stderr.
USAGE = "usage: sim "
FOLDER_CASES = [
    (["remove"], 0, None, "card=none\n", [], 0, ""),
    # One key changes, the others stay.
    (["insert"], 0, "unplugged=1\ncard=none\nuid=04000001\n", "unplugged=1\nuid=04000001\ncard=storage1k\n", [], 0, ""),
    (["unplug"], 0, "card=none\n", "card=none\nunplugged=1\n", [], 0, ""),
    (["replug"], 0, "unplugged=1\n", "unplugged=0\n", [], 0, ""),
    # Reader 1 starts empty: the card comes and goes, and ends out.
    (["--reader", "1", "tap", "2", "0.5"], 1, None, "card=none\n", ["0.5 storage1k", "0.5 none", "0.5 storage1k"], 0, ""),
    # Reader 0 starts with its card: it goes out first.
    (["tap"], 0, None, "card=none\n", ["1 none", "1 storage1k"], 0, ""),
    (["tap", "1", "2"], 0, "card=none\n", "card=none\n", ["2 storage1k"], 0, ""),
    (["--reader", "2", "remove"], 2, None, None, [], 1, "sim: no simulated reader 2 in "),
    ([], 0, None, None, [], 2, USAGE),
    (["bogus"], 0, None, None, [], 2, USAGE),
    (["remove", "now"], 0, None, None, [], 2, USAGE),
    (["--reader"], 0, None, None, [], 2, USAGE),
    (["--reader", "x", "remove"], 0, None, None, [], 2, USAGE),
    (["tap", "0"], 0, None, None, [], 2, "sim: tap: COUNT is 1 to 9999"),
    (["tap", "1", "0.4"], 0, None, None, [], 2, "sim: tap: SECONDS is 0.5 to 9999"),
    (["tap", "1", "1", "1"], 0, None, None, [], 2, USAGE),
]


class Failure(Exception):
    pass


def sim(arguments, env=None):
    return subprocess.run(["/bin/bash", SIM, *arguments], capture_output=True, text=True, timeout=60, env=env)


def reader_state(program, reader, env=None):
    """The state word `list` shows for reader N ("EMPTY", "PRESENT", ...)."""
    shown = subprocess.run([program, "list"], capture_output=True, text=True, timeout=60, env=env).stdout
    for line in shown.splitlines():
        if line.startswith(f"{reader}: "):
            return line.rsplit(": ", 1)[1].split(",")[0]
    return f"not listed in {shown!r}"


def wait_for_state(program, reader, state):
    for _ in range(ROUNDS):
        shown = reader_state(program, reader)
        if shown == state:
            return
        time.sleep(0.1)
    raise Failure(f"reader {reader} is {shown}, not {state}")


def check_harness(program):
    """remove and insert move the card of the harness this test runs in."""
    control = os.path.join(os.environ["QTU_SIM_DIR"], "reader0.ctl")
    try:
        for command, state in [("remove", "EMPTY"), ("insert", "PRESENT")]:
            done = sim([command])
            if done.returncode != 0:
                raise Failure(f"sim {command}: exit status {done.returncode}: {done.stderr}")
            wait_for_state(program, 0, state)
            print(f"ok: sim {command}: reader 0 {state}", flush=True)
    finally:
        if os.path.exists(control):
            os.unlink(control)
        wait_for_state(program, 0, "PRESENT")


def check_published(program, driver):
    """From outside a harness that published its readers, as scripts/run does."""
    with tempfile.TemporaryDirectory(prefix="qtu-sim-tool-") as runtime:
        env = {name: value for name, value in os.environ.items() if not name.startswith("QTU_")}
        env["XDG_RUNTIME_DIR"] = runtime
        session = os.path.join(runtime, "quarnel-sim", "session")
        # The harness ends once its first reader is empty.
        waits = f"for i in $(seq {ROUNDS}); do \"$1\" list | grep -q '^0: .*: EMPTY$' && exit 0; sleep 0.1; done; exit 1"
        harness = subprocess.Popen([HARNESS, "--driver", driver, "--publish", session, "sh", "-c", waits, "sh",
                                    program], env=env, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
        try:
            for _ in range(ROUNDS):
                folder = open(session).readline().rstrip("\n") if os.path.exists(session) else ""
                if folder and os.path.exists(os.path.join(folder, "reader.conf.d", "quarnel-sim")):
                    break
                time.sleep(0.1)
            else:
                raise Failure(f"the harness published no readers in {session}")
            done = sim(["remove"], env)
            if done.returncode != 0:
                raise Failure(f"sim remove from outside: exit status {done.returncode}: {done.stderr}")
            output, _ = harness.communicate(timeout=120)
            if harness.returncode != 0:
                raise Failure(f"the published harness never saw its card go: {harness.returncode}\n{output}")
            print("ok: sim remove from outside the published harness", flush=True)
        finally:
            harness.kill()
            harness.wait()

        # Gone, and gone but its session file left behind (the harness killed
        # outright, its folder kept): no pcscd reads that folder.
        ended = subprocess.Popen(["true"])
        ended.wait()
        left_folder = os.path.join(runtime, "left")
        os.makedirs(os.path.join(left_folder, "reader.conf.d"))
        with open(os.path.join(left_folder, "reader.conf.d", "quarnel-sim"), "w") as file:
            file.write(f'DEVICENAME "sim:card=storage1k,ctl={left_folder}/reader0.ctl"\n')
        for left in [None, f"{left_folder}\n{ended.pid}\n"]:
            if left:
                with open(session, "w") as file:
                    file.write(left)
            done = sim(["remove"], env)
            if done.returncode != 1 or not done.stderr.startswith("sim: no simulated readers running"):
                raise Failure(f"sim remove after the harness ended ({'left' if left else 'removed'}): exit status "
                              f"{done.returncode}: {done.stderr}")
        print("ok: sim remove after the published harness ended", flush=True)


def check_folder():
    with tempfile.TemporaryDirectory(prefix="qtu-sim-tool-") as folder:
        conf = os.path.join(folder, "reader.conf.d")
        os.mkdir(conf)
        with open(os.path.join(conf, "quarnel-sim"), "w") as file:
            file.write(f'DEVICENAME "sim:card=storage1k,uid=04A1B2C3,ctl={folder}/reader0.ctl"\n'
                       f'DEVICENAME "sim:card=none,uid=04D5E6F7,ctl={folder}/reader1.ctl"\n')
        stubs = os.path.join(folder, "stubs")
        os.mkdir(stubs)
        with open(os.path.join(stubs, "sleep"), "w") as stub:
            stub.write('#!/bin/sh\necho "$1 $(sed -n \'s/^card=//p\' "$QTU_SIM_DIR/reader$STUB_READER.ctl")" '
                       '>>"$STUB_LOG"\n')
        os.chmod(os.path.join(stubs, "sleep"), 0o755)
        pauses = os.path.join(folder, "pauses")
        for arguments, reader, before, after, steps, status, err in FOLDER_CASES:
            path = os.path.join(folder, f"reader{reader}.ctl")
            for old in [path, pauses]:
                if os.path.exists(old):
                    os.unlink(old)
            stamp = 0
            if before is not None:
                with open(path, "w") as file:
                    file.write(before)
                # A time ahead of the clock: the new file's must still be later, or the driver misses it.
                stamp = time.time_ns() + 1000 * 10**9
                os.utime(path, ns=(stamp, stamp))
            env = dict(os.environ, QTU_SIM_DIR=folder, PATH=f"{stubs}:{os.environ['PATH']}", STUB_LOG=pauses,
                       STUB_READER=str(reader))
            done = sim(arguments, env)
            problems = [] if done.returncode == status else [f"exit status {done.returncode}, not {status}"]
            if not done.stderr.startswith(err) or (not err and done.stderr):
                problems.append(f"stderr {done.stderr!r}")
            held = open(path).read() if os.path.exists(path) else None
            if held != (before if after is None else after):
                problems.append(f"the control file holds {held!r}")
            if after is not None and before is not None and os.stat(path).st_mtime_ns <= stamp:
                problems.append("the control file's modification time did not move forward")
            made = open(pauses).read().splitlines() if os.path.exists(pauses) else []
            if made != steps:
                problems.append(f"pauses {made}, not {steps}")
            if [name for name in os.listdir(folder) if name.startswith(".reader")]:
                problems.append("a temporary file is left")
            if problems:
                raise Failure(f"sim {' '.join(arguments)}: " + "; ".join(problems))
            print("ok: sim", " ".join(arguments), flush=True)


def main():
    program, driver = sys.argv[1], sys.argv[2]
    try:
        check_folder()
        check_harness(program)
        check_published(program, driver)
    except Failure as failure:
        print("FAILED:", failure, flush=True)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
