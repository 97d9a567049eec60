"""The lab's examples of docs/examples/ (docs/lab.md) as a lab copies them:
    lab_examples_test.py PROGRAM
inside scripts/with-sim-pcscd (PROGRAM is the built quarnel-test-utility). The
YAML files parse; every quarnel-test-utility line of the GitLab job and of the
labgrid test names a command and options that command's --help shows. The
GitLab job's script, run as a shell runner runs it (bash, from the checkout,
the program on PATH, the matrix's first bench) against the simulated reader,
passes the sample plan and fails a plan no reader meets (the pipe to tee keeps
the status), leaving the JUnit report where artifacts:reports:junit looks and
every path artifacts:paths keeps either way. The labgrid test asks for drivers
its environment declares, and the exporter offers what those drivers bind to."""

import ast
import os
import re
import shlex
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ElementTree

import yaml

EXAMPLES = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "docs", "examples")
TOOL = "quarnel-test-utility"
# A command line up to the end of its shell command (a pipe, a redirection, a list).
COMMAND_LINE = re.compile(TOOL + r"(?: [^|;&>]*)?")
# The resource each of the labgrid test's drivers binds to, as the exporter offers it.
BINDS_TO = {"SSHDriver": "NetworkService", "USBPowerDriver": "USBPowerPort"}


class Loader(yaml.SafeLoader):
    """labgrid's loader: `!template $LG_...` is a string it fills in later."""


Loader.add_constructor("!template", lambda loader, node: loader.construct_scalar(node))


def load(name):
    with open(os.path.join(EXAMPLES, name)) as text:
        return yaml.load(text, Loader=Loader)


def help_problems(program, line):
    """What of one command line the program's --help does not show."""
    words = shlex.split(line)
    if len(words) < 2:
        return [f"{line!r}: no command (the window would open)"]
    command = [] if words[1].startswith("-") else words[1:2]
    shown = subprocess.run([program, *command, "--help"], capture_output=True, text=True, timeout=60)
    if shown.returncode != 0:
        return [f"{line!r}: {TOOL} {' '.join(command)} --help exits {shown.returncode}"]
    options = {word.split("=")[0] for word in words[1:] if word.startswith("-")}
    return [f"{line!r}: {option} is not in its --help" for option in sorted(options)
            if not re.search(r"(?<![\w-])" + re.escape(option) + r"(?![\w-])", shown.stdout)]


def python_strings(tree):
    """Every string of a module, an f-string's fields as `X`."""
    parts = set()
    for node in ast.walk(tree):
        if isinstance(node, ast.JoinedStr):
            parts.update(map(id, node.values))
            yield "".join(part.value if isinstance(part, ast.Constant) else "X" for part in node.values)
        elif isinstance(node, ast.Constant) and isinstance(node.value, str) and id(node) not in parts:
            yield node.value


def check_gitlab(program, problems):
    pipeline = load("gitlab-ci.yml")
    job = pipeline["qualify"]
    if not all(isinstance(line, str) for line in job["script"]):
        problems.append("a script line is no string (YAML reads `- key: value` or `- true` so)")
        return
    lines = [found for line in job["script"] for found in COMMAND_LINE.findall(line)]
    if not any(line.startswith(TOOL + " qualify") for line in lines):
        problems.append("the qualify job runs no qualify")
    for line in lines:
        problems += help_problems(program, line)
    variables = {**pipeline["variables"], **job.get("variables", {}),
                 **{name: values[0] for name, values in job["parallel"]["matrix"][0].items()}}
    plan = os.path.join(EXAMPLES, "..", "..", variables["QUALIFY_PLAN"])
    if not os.path.isfile(plan):
        problems.append(f"QUALIFY_PLAN {variables['QUALIFY_PLAN']} is no file of the repository")
        return
    suites = sum(line.startswith("suite ") for line in open(plan))
    artifacts = job["artifacts"]
    if artifacts.get("when") != "always":
        problems.append("the artifacts are not kept when the job fails")
    # The sample plan passes on the simulated reader; one no reader meets must fail the job through its pipe.
    for plan, status in [(variables["QUALIFY_PLAN"], 0), ("../fail.plan", 1)]:
        with tempfile.TemporaryDirectory(prefix="qtu-lab-") as folder:
            checkout = os.path.join(folder, "checkout")
            os.mkdir(checkout)
            os.symlink(os.path.join(EXAMPLES, ".."), os.path.join(checkout, "docs"))
            with open(os.path.join(folder, "fail.plan"), "w") as failing:
                failing.write("suite stability apdu=FFCA000000 runs=1\nlimit max_us < 0.001\n")
            os.mkdir(os.path.join(folder, "bin"))
            os.symlink(program, os.path.join(folder, "bin", TOOL))
            path = os.path.join(folder, "bin") + ":" + os.environ["PATH"]
            # The install of before_script is the runner's own business: the program on PATH stands for it.
            done = subprocess.run(["bash", "-e", "-c", "\n".join(job["script"])], cwd=checkout,
                                  env={**os.environ, **variables, "QUALIFY_PLAN": plan, "PATH": path},
                                  capture_output=True, text=True, timeout=600)
            if done.returncode != status:
                problems.append(f"with {plan} the qualify job's script exits {done.returncode}, not {status}:\n"
                                f"{done.stdout}{done.stderr}")
            for kept in artifacts["paths"]:
                if not os.path.exists(os.path.join(checkout, kept)):
                    problems.append(f"with {plan} artifacts:paths {kept} was not written")
            junit = os.path.join(checkout, artifacts["reports"]["junit"])
            cases = len(ElementTree.parse(junit).findall(".//testcase")) if os.path.exists(junit) else 0
            if cases != (suites if status == 0 else 1):
                problems.append(f"with {plan} {artifacts['reports']['junit']} holds {cases} test cases")


def check_labgrid(program, problems):
    environment, exporter = load("labgrid-env.yaml"), load("labgrid-exporter.yaml")
    main = environment["targets"]["main"]
    if "RemotePlace" not in main["resources"]:
        problems.append("labgrid-env.yaml: the main target has no RemotePlace")
    with open(os.path.join(EXAMPLES, "test_qualify_labgrid.py")) as source:
        tree = ast.parse(source.read())
    used = [node.args[0].value for node in ast.walk(tree) if isinstance(node, ast.Call)
            and getattr(node.func, "attr", "") == "get_driver"]
    if not used:
        problems.append("test_qualify_labgrid.py uses no driver")
    for driver in used:
        if driver not in main["drivers"]:
            problems.append(f"labgrid-env.yaml: no driver {driver} for the test")
        for group, resources in exporter.items():
            if BINDS_TO.get(driver) not in resources:
                problems.append(f"labgrid-exporter.yaml: {group} offers no {BINDS_TO.get(driver)} for {driver}")
    lines = [found for text in python_strings(tree) for found in COMMAND_LINE.findall(text)]
    if not any(line.startswith(TOOL + " qualify") for line in lines):
        problems.append("test_qualify_labgrid.py runs no qualify")
    for line in lines:
        problems += help_problems(program, line)


def main():
    program = os.path.abspath(sys.argv[1])
    problems = []
    check_gitlab(program, problems)
    check_labgrid(program, problems)
    for problem in problems:
        print("FAILED:", problem, flush=True)
    if not problems:
        print("ok: gitlab-ci.yml, labgrid-env.yaml, labgrid-exporter.yaml, test_qualify_labgrid.py, reader-plan.txt")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
