"""Qualifies the reader of a labgrid place: powers the reader's hub port off
and on, waits for pcscd to see a card, runs the plan on the bench host and
brings its reports back into reports/ here (docs/lab.md). Run with the place
acquired:
    pytest --lg-env labgrid-env.yaml test_qualify_labgrid.py --junitxml=reports/pytest.xml"""

import os
import shlex

PLAN = os.path.join(os.path.dirname(os.path.abspath(__file__)), "reader-plan.txt")
WORK = "/tmp/quarnel-qualify"  # on the bench host
REPORTS = ("qualify.xml", "samples.csv", "qualify.jsonl")
# The reader as `list` shows it, by index or by name.
READER = os.environ.get("QUALIFY_READER", "0")
LIST = "quarnel-test-utility list"
QUALIFY = (f"quarnel-test-utility qualify --reader {shlex.quote(READER)} --junit {WORK}/qualify.xml "
           f"--samples {WORK}/samples.csv --json {WORK}/reader-plan.txt > {WORK}/qualify.jsonl")


def test_qualify(target):
    power = target.get_driver("USBPowerDriver")
    shell = target.get_driver("SSHDriver")
    power.cycle()  # a reader fresh from its power-up, whatever the last job left
    shell.run_check(f"rm -rf {WORK} && mkdir -p {WORK}")
    shell.put(PLAN, f"{WORK}/reader-plan.txt")
    # pcscd sees a reader within seconds of its power-up, and the card a moment later.
    shell.wait_for(LIST, "PRESENT", timeout=30.0)
    _, stderr, status = shell.run(QUALIFY, timeout=3600)
    os.makedirs("reports", exist_ok=True)
    for name in REPORTS:  # those written (a plan refused leaves no JUnit), none of an earlier run
        if os.path.exists(os.path.join("reports", name)):
            os.remove(os.path.join("reports", name))
        if shell.run(f"test -f {WORK}/{name}")[2] == 0:
            shell.get(f"{WORK}/{name}", "reports")
    assert status == 0, "\n".join(stderr) or f"qualify exited {status}"
