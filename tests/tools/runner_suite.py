#!/usr/bin/python3
"""tervik-run as a CI step: suites with the command line's options as defaults, runs that cannot
start or fail, the JUnit report (read back with a real XML parser), --timeout, SIGTERM, SIGINT
and SIGKILL in the middle of a suite, a trace whose output fails; modules that hang, call
exit(0), abort or raise signals in each entry point; every output option against every input
and every other output; read-only outputs, full disks and file size limits.

    runner_suite.py TERVIK_RUN TERVIK_AS THROWER_MODULE MISBEHAVING_MODULE

Each case of the table runs tervik-run in a fresh folder holding the programs below and checks
its exit status, the report's cases and the console lines."""
import os
import re
import resource
import select
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import xml.etree.ElementTree as ElementTree

RUNNER, ASSEMBLER, THROWER, MISBEHAVE = (os.path.abspath(p) for p in sys.argv[1:5])

PROGRAMS = {
    # Sets R1 and halts at a jump to itself ("halt").
    "five": "start: MOVEL R1,H#5%\nhalt: JUMPI halt%\n",
    # The same with its halt label elsewhere: --until halt names another address.
    "seven": "start: MOVEL R1,H#7%\n NOP\nhalt: JUMPI halt%\n",
    # A line "A" every three instructions, for ever.
    "endless": "start: MOVEL R2,H#7000%\nloop: STOREI R2,'A'\n STOREI R2,'\\n'\n JUMPI loop%\n",
    # Bytes that are not UTF-8, a control character, valid UTF-8 and markup, on one line.
    "bytes": "start: MOVEL R2,H#7000%\n" +
             "".join(" STOREI R2,H#%X\n" % b for b in b"\xff\x01\xc3\xa9<&]]>\n") +
             "halt: JUMPI halt%\n",
    # Reads the throwing module's word.
    "throws": "start: LOADI R1,R0,H#7100\nhalt: JUMPI halt%\n",
    # Places no word.
    "empty": "; nothing here\n",
    # Reads the misbehaving module's word.
    "reads": "start: LOADI R1,R0,H#7200\nhalt: JUMPI halt%\n",
}
# The map's folder holds a copy of the throwing module (a map names a module without a folder).
MAP = ("0x0000 0x1000 ROM\n0x1000 0x1000 RAM\n0x7000 0x4 DLL libtervik_terminal.so\n"
       "0x7100 0x1 DLL %s\n" % os.path.basename(THROWER))

OK, FAILURE, ERROR = "passed", "failure", "error"

# What misbehave.c does in an entry point, and what becomes of its run: its verdict, the report's
# type and the runner's line about it.
MISBEHAVIOURS = {
    "hang": (FAILURE, "exit status 7", "the run took longer than --timeout 0.5"),
    "exit0": (ERROR, "exit status 4", "the run ended without a result: a module called exit(0)"),
    "abort": (ERROR, "exit status 4", "the run ended without a result: killed by SIGABRT"),
    "segv": (ERROR, "exit status 4", "the run ended without a result: killed by SIGSEGV"),
    "kill": (ERROR, "exit status 4", "the run ended without a result: killed by SIGKILL"),
}
ENTRIES = ("init", "reset", "clock", "read")


def bad_map(action, entry):
    return "bad-%s-%s.map" % (action, entry)


class Case:
    def __init__(self, name, lines, args, status, cases, out=(), err=(), not_err=(),
                 outputs=None):
        self.name = name
        self.lines = lines  # the suite file's lines, bytes (None: no --suite)
        self.args = args  # besides --suite and --junit
        self.status = status  # tervik-run's exit status
        self.cases = cases  # [(name, verdict, type or None)] in the report, in order; None: none
        self.out = out  # lines standard output holds, in this order
        self.err = err  # texts standard error holds
        self.not_err = not_err  # texts it must not hold
        self.outputs = outputs or {}  # a case's name: its <system-out>


CASES = [
    Case("a command-line --expect applies to every line, after the line's own",
         [b"--name a --lst five.lst", b"--name b --lst seven.lst --expect 'R1 == 7'"],
         ["--map", "m.map", "--expect", "R1 == 12345"], 6,
         [("a", FAILURE, "exit status 6"), ("b", FAILURE, "exit status 6")],
         out=["a: failed (exit status 6)", "b: failed (exit status 6)", "0 passed, 2 failed"],
         err=["s.suite:2: --expect 'R1 == 12345' does not hold",
              "s.suite:3: --expect 'R1 == 12345' does not hold"],
         not_err=["'R1 == 7' does not hold"]),
    Case("a command-line --steps ends a loop; a line's own --steps replaces it",
         [b"--name loop --lst endless.lst", b"--name long --lst five.lst --steps 100000"],
         ["--map", "m.map", "--steps", "1000"], 2,
         [("loop", FAILURE, "exit status 2"), ("long", OK, None)],
         out=["step limit: pc 00000001 after 1000 steps", "loop: failed (exit status 2)",
              "long: passed", "1 passed, 1 failed"]),
    Case("--until takes each run's own symbols; --name, --dump-regs and --trace are defaults",
         [b"--lst five.lst", b"--lst seven.lst --name mine"],
         ["--map", "m.map", "--until", "halt", "--name", "common", "--dump-regs", "--trace"], 0,
         [("common", OK, None), ("mine", OK, None)],
         out=["       1 00000000", "until: reached pc 00000001 after 1 step", "common: passed",
              "       2 00000001", "R00: 00000000   R01: 00000007",
              "until: reached pc 00000002 after 2 steps", "mine: passed", "2 passed, 0 failed"]),
    Case("runs that cannot start, throw or fail are cases; the suite goes on",
         [b"--name nolabel --lst five.lst --until nosuchlabel", b"--name missing --lst none.lst",
          b"--name throws --lst throws.lst", b"--name bad-expr --lst five.lst --until 0x10+",
          b"--name range --lst five.lst --trace-from 5 --trace-to 3",
          b"--name early --lst five.lst --until 0x900", b"--name good --lst five.lst"],
         ["--map", "m.map", "--quiet"], 64,
         [("nolabel", ERROR, "exit status 64"), ("missing", ERROR, "exit status 3"),
          ("throws", ERROR, "exit status 4"), ("bad-expr", ERROR, "exit status 64"),
          ("range", ERROR, "exit status 64"), ("early", FAILURE, "exit status 1"),
          ("good", OK, None)],
         out=["nolabel: error (exit status 64)", "missing: error (exit status 3)",
              "throws: error (exit status 4)", "bad-expr: error (exit status 64)",
              "range: error (exit status 64)", "early: failed (exit status 1)", "good: passed",
              "1 passed, 6 failed"],
         err=["tervik-run: s.suite:2: --until: col 1: undefined symbol 'nosuchlabel'\n",
              "tervik-run: s.suite:3: cannot read the listing 'none.lst'\n",
              "tervik-run: s.suite:4: the run failed: thrower: refused a read at offset 0\n",
              "tervik-run: s.suite:5: --until: col 6: expected an expression\n",
              "tervik-run: s.suite:6: --trace-to 3 is before --trace-from 5"]),
    Case("any name and any output give a well-formed report",
         [b"--name '\xff\x01<&>\"' --lst bytes.lst"], ["--map", "m.map"], 0,
         [("\ufffd\ufffd<&>\"", OK, None)], out=["<&>\": passed"],
         outputs={"\ufffd\ufffd<&>\"": "\ufffd\ufffd\u00e9<&]]>\n"}),
    Case("a --timeout on a line ends its run alone, as a failure",
         [b"--name slow --lst endless.lst --timeout 0.2", b"--name quick --lst five.lst"],
         ["--map", "m.map", "--quiet", "--output", "/dev/null"], 7,
         [("slow", FAILURE, "exit status 7"), ("quick", OK, None)],
         out=["timeout: pc ", "slow: failed (exit status 7)", "1 passed, 1 failed"],
         err=["tervik-run: s.suite:2: the run took longer than --timeout 0.2\n"]),
    Case("a quote left open is refused with its line; nothing runs",
         [b"--lst five.lst", b"--lst five.lst --name 'open"], ["--map", "m.map"], 64, None,
         err=["tervik-run: s.suite:3: col 23: the quote is not closed\n"]),
    Case("a mistake in the command line's defaults is refused before any run",
         [b"--lst five.lst"], ["--map", "m.map", "--steps", "1x"], 64, None,
         err=["tervik-run: --steps: col 2: unexpected 'x' in a number\n"]),
    Case("--trace-from after --trace-to is refused on the command line",
         None, ["--map", "m.map", "--lst", "five.lst", "--trace-from", "5", "--trace-to", "3"],
         64, [("five.lst", ERROR, "exit status 64")],
         err=["tervik-run: --trace-to 3 is before --trace-from 5"]),
    Case("a listing that places no word: one warning, also with --quiet",
         None, ["--map", "m.map", "--lst", "empty.lst", "--steps", "3"], 2,
         [("empty.lst", FAILURE, "exit status 2")],
         err=["tervik-run: warning: No word loaded: 'empty.lst' has no line"]),
    Case("a NUL byte in a suite line is refused with its line and column; nothing runs",
         [b"--lst five.lst", b"--lst five\x00.lst"], ["--map", "m.map"], 64, None,
         err=["tervik-run: s.suite:3: col 11: a NUL byte\n"]),
    Case("--engine given empty names no engine",
         None, ["--map", "m.map", "--lst", "five.lst", "--engine", ""], 64, None,
         err=["tervik-run: --engine: '' is neither 'interpreter' nor 'translator'\n"]),
]
# A failing run, a run whose module misbehaves, a run that passes: the suite fails with the first
# run's status, and its report holds all three.
for _action, (_verdict, _type, _text) in MISBEHAVIOURS.items():
    for _entry in ENTRIES:
        CASES.append(Case(
            "a module that does '%s' in %s ends its own run alone" % (_action, _entry),
            [b"--name fails --lst five.lst --expect 'R1 == 6'",
             b"--name bad --map %s --lst reads.lst --timeout 0.5" %
             bad_map(_action, _entry).encode(), b"--name after --lst five.lst"],
            ["--map", "m.map", "--quiet"], 6,
            [("fails", FAILURE, "exit status 6"), ("bad", _verdict, _type), ("after", OK, None)],
            out=["fails: failed (exit status 6)",
                 "bad: %s (%s)" % ("failed" if _verdict == FAILURE else "error", _type),
                 "after: passed", "1 passed, 2 failed"],
            err=["tervik-run: s.suite:3: " + _text]))


def write(folder, name, data):
    with open(os.path.join(folder, name), "wb" if isinstance(data, bytes) else "w") as f:
        f.write(data)


FOLDERS = []


def make_folder():
    folder = tempfile.mkdtemp(prefix="runner_suite_")
    FOLDERS.append(folder)
    write(folder, "m.map", MAP)
    shutil.copy(THROWER, folder)
    shutil.copy(MISBEHAVE, folder)
    for action in MISBEHAVIOURS:
        for entry in ENTRIES:
            write(folder, bad_map(action, entry), MAP + "0x7200 0x1 DLL %s %s:%s\n" %
                  (os.path.basename(MISBEHAVE), action, entry))
    for name, source in PROGRAMS.items():
        write(folder, name + ".asm", source)
        subprocess.run([ASSEMBLER, name + ".asm"], cwd=folder, check=True)
    return folder


def read_report(path):
    """The report's suite element and its cases as (name, verdict, type), checking that its
    counts agree with its cases."""
    root = ElementTree.parse(path).getroot()
    assert root.tag == "testsuites", root.tag
    suites = root.findall("testsuite")
    assert len(suites) == 1, len(suites)
    suite = suites[0]
    cases = []
    for case in suite.findall("testcase"):
        verdict, kind = OK, None
        for element, name in ((ERROR, "error"), (FAILURE, "failure")):
            found = case.find(name)
            if found is not None:
                verdict, kind = element, found.get("type")
        cases.append((case.get("name"), verdict, kind))
    assert int(suite.get("tests")) == len(cases), suite.attrib
    assert int(suite.get("failures")) == sum(c[1] == FAILURE for c in cases), suite.attrib
    assert int(suite.get("errors")) == sum(c[1] == ERROR for c in cases), suite.attrib
    assert re.fullmatch(r"\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d", suite.get("timestamp", "")), suite.attrib
    assert suite.get("hostname"), suite.attrib
    return suite, cases


def in_order(text, lines):
    at = 0
    for line in lines:
        found = text.find(line, at)
        if found < 0:
            return line
        at = found + len(line)
    return None


def check_case(case, failures):
    guarded(case.name, lambda f: check_one_case(case, f), failures)


def guarded(name, check, failures):
    """Runs one check; whatever it raises is that check's failure, and the others still run."""
    try:
        check(failures)
    except Exception as e:  # noqa: BLE001 - any fault of the runner is a finding
        failures.append("%s: %r" % (name, e))


def check_one_case(case, failures):
    folder = make_folder()
    report = os.path.join(folder, "r.xml")
    write(folder, "r.xml", "stale\n")
    args = [RUNNER] + case.args + ["--junit", "r.xml"]
    if case.lines is not None:
        write(folder, "s.suite", b"# a suite\n" + b"\n".join(case.lines) + b"\n")
        args += ["--suite", "s.suite"]
    run = subprocess.run(args, cwd=folder, capture_output=True, timeout=60)
    out = run.stdout.decode("utf-8", "replace")
    err = run.stderr.decode("utf-8", "replace")
    problems = []
    if run.returncode != case.status:
        problems.append("exit status %d, not %d" % (run.returncode, case.status))
    if case.cases is None:
        # Refused: nothing ran, nothing was touched.
        if out:
            problems.append("standard output: %r" % out)
        with open(report) as f:
            if f.read() != "stale\n":
                problems.append("the report was touched")
    else:
        suite, cases = read_report(report)
        if cases != case.cases:
            problems.append("report cases %r, not %r" % (cases, case.cases))
        expected = "s.suite" if case.lines is not None else "tervik-run"
        if suite.get("name") != expected:
            problems.append("suite name %r" % suite.get("name"))
        for element in suite.findall("testcase"):
            if element.get("name") in case.outputs:
                text = element.find("system-out").text
                if text != case.outputs[element.get("name")]:
                    problems.append("output %r" % text)
    missing = in_order(out, case.out)
    if missing is not None:
        problems.append("standard output lacks %r" % missing)
    for text in case.err:
        if text not in err:
            problems.append("standard error lacks %r" % text)
    for text in case.not_err:
        if text in err:
            problems.append("standard error holds %r" % text)
    if "No word" in err and err.count("No word") + err.count("places no word") != 1:
        problems.append("more than one line for a listing that places no word")
    if problems:
        failures.append("%s:\n  %s\n--- stdout:\n%s--- stderr:\n%s" %
                        (case.name, "\n  ".join(problems), out[-3000:], err[-3000:]))


def check_golden_report(failures):
    """The report of every kind of case that RunnerTest compares with its golden file parses,
    with the names and counts it was made from."""
    path = os.path.join(os.path.dirname(os.path.abspath(__file__)), "golden", "junit-cases.xml")
    suite, cases = read_report(path)
    expected = [("passed \ufffd\ufffd", OK, None), ("halted early", FAILURE, "exit status 1"),
                ("expectation", FAILURE, "exit status 6"), ("timeout", FAILURE, "exit status 7"),
                ("unreadable", ERROR, "exit status 3"), ("fault", ERROR, "exit status 5"),
                ("thrown", ERROR, "exit status 4"), ("usage", ERROR, "exit status 64"),
                ("interrupted", ERROR, "exit status 143")]
    if (cases != expected or suite.get("name") != "dir/a&b.suite" or
            suite.get("hostname") != 'host"1"'):
        failures.append("golden report: %r %r" % (suite.attrib, cases))
    unreadable = suite.findall("testcase")[4].find("error")
    if unreadable.get("message") != "cannot read the listing 'x\tz.lst'":
        failures.append("golden report: a tab in an attribute: %r" % unreadable.get("message"))


def check_quiet_warning(failures):
    folder = make_folder()
    run = subprocess.run([RUNNER, "--map", "m.map", "--lst", "empty.lst", "--steps", "3",
                          "--quiet"], cwd=folder, capture_output=True, text=True, timeout=60)
    if run.stderr != ("tervik-run: warning: No word loaded: 'empty.lst' has no line with an "
                      "address and a word\n"):
        failures.append("--quiet and a listing that places no word:\n" + run.stderr)


def check_bounded_output(failures):
    """A run's output in the report is a bounded tail, led by a note of what was cut."""
    folder = make_folder()
    write(folder, "s.suite", "--name chatty --map m.map --lst endless.lst --steps 300001\n")
    run = subprocess.run([RUNNER, "--suite", "s.suite", "--junit", "r.xml", "--quiet",
                          "--output", "out.txt"], cwd=folder, capture_output=True, timeout=60)
    written = os.path.getsize(os.path.join(folder, "out.txt"))
    suite, _ = read_report(os.path.join(folder, "r.xml"))
    text = suite.find("testcase").find("system-out").text
    note = re.match(r"\[tervik-run: the first (\d+) bytes of the program's output are not kept "
                    r"here\]\n", text)
    kept = text[note.end():] if note else ""
    if (run.returncode != 2 or written != 200000 or note is None or len(kept) > 64 * 1024 or
            int(note.group(1)) + len(kept) != written or not kept.startswith("A\n")):
        failures.append("bounded output: status %d, %d bytes written, report text starts %r" %
                        (run.returncode, written, text[:120]))


def start_suite(folder, lines):
    write(folder, "s.suite", "\n".join(lines) + "\n")
    write(folder, "r.xml", "stale\n")
    return subprocess.Popen([RUNNER, "--suite", "s.suite", "--junit", "r.xml", "--quiet",
                             "--output", "/dev/null"], cwd=folder, stdout=subprocess.PIPE,
                            stderr=subprocess.PIPE, bufsize=0)  # unbuffered: see read_line


def read_line(child, seconds=30):
    """The child's next line of standard output, or an error when none comes in time. The pipe
    is unbuffered, so a line read leaves the next one in the pipe, where select sees it."""
    ready, _, _ = select.select([child.stdout], [], [], seconds)
    assert ready, "no line from the runner"
    return child.stdout.readline()


def wait_for_run(child, folder):
    """Waits until the endless run has started: the first run's line is out and the stale report
    is gone."""
    line = read_line(child)
    assert line.startswith(b"halted: "), line
    line = read_line(child)
    assert line == b"first: passed\n", line
    for _ in range(200):
        if not os.path.exists(os.path.join(folder, "r.xml")):
            return
        time.sleep(0.05)
    raise AssertionError("the stale report is still there")


def check_signals(failures):
    """SIGTERM and SIGINT end the endless run as an error, write the report of the runs so far
    and end the runner by the signal; SIGKILL leaves no report at all (the stale one is gone)."""
    lines = ["--name first --map m.map --lst five.lst",
             "--name endless --map m.map --lst endless.lst", "--name never --map m.map --lst five.lst"]
    for sig, name in ((signal.SIGTERM, "SIGTERM"), (signal.SIGINT, "SIGINT"),
                      (signal.SIGKILL, "SIGKILL")):
        folder = make_folder()
        child = start_suite(folder, lines)
        try:
            wait_for_run(child, folder)
            time.sleep(0.3)
            child.send_signal(sig)
            out, err = child.communicate(timeout=30)
        except Exception as e:  # noqa: BLE001 - reported with the case
            child.kill()
            failures.append("%s: %r" % (name, e))
            continue
        report = os.path.join(folder, "r.xml")
        problems = []
        if child.returncode != -sig:
            problems.append("ended with %d, not by the signal" % child.returncode)
        if sig == signal.SIGKILL:
            if os.path.exists(report):
                problems.append("a report survived")
        else:
            _, cases = read_report(report)
            expected = [("first", OK, None), ("endless", ERROR, "exit status %d" % (128 + sig))]
            if cases != expected:
                problems.append("cases %r" % cases)
            if b"tervik-run: s.suite:2: interrupted by " + name.encode() + b"\n" not in err:
                problems.append("standard error %r" % err)
            if not re.search(rb"interrupted: pc [0-9A-F]{8} after \d+ steps\n"
                             rb"endless: error \(exit status \d+\)\n1 passed, 1 failed\n$", out):
                problems.append("standard output %r" % out)
        if problems:
            failures.append(name + ": " + "; ".join(problems))


def check_full_trace(failures):
    """A trace that cannot be written ends an endless run at once with 4."""
    folder = make_folder()
    with open("/dev/full", "wb") as full:
        try:
            run = subprocess.run([RUNNER, "--map", "m.map", "--lst", "endless.lst", "--trace",
                                  "--quiet", "--output", "/dev/null"], cwd=folder, stdout=full,
                                 stderr=subprocess.PIPE, timeout=30)
        except subprocess.TimeoutExpired:
            failures.append("a trace to /dev/full did not end the run")
            return
    if run.returncode != 4 or run.stderr != (b"tervik-run: cannot write the output: No space "
                                             b"left on device\n"):
        failures.append("trace to /dev/full: %d %r" % (run.returncode, run.stderr))


def check_signal_while_loading(failures):
    """One SIGTERM ends a run whose module hangs in Initialize (no --timeout) within a second:
    the report holds the runs so far, the hung one as interrupted."""
    folder = make_folder()
    child = start_suite(folder, ["--name first --map m.map --lst five.lst",
                                 "--name hung --map %s --lst reads.lst" % bad_map("hang", "init"),
                                 "--name never --map m.map --lst five.lst"])
    try:
        wait_for_run(child, folder)
        time.sleep(0.3)
        sent = time.monotonic()
        child.send_signal(signal.SIGTERM)
        child.communicate(timeout=30)
        took = time.monotonic() - sent
    except Exception as e:  # noqa: BLE001 - reported with the case
        child.kill()
        failures.append("SIGTERM while a module hangs in Initialize: %r" % e)
        return
    _, cases = read_report(os.path.join(folder, "r.xml"))
    if (child.returncode != -signal.SIGTERM or took > 1.0 or
            cases != [("first", OK, None), ("hung", ERROR, "exit status 143")]):
        failures.append("SIGTERM while a module hangs in Initialize: %d after %.2f s, cases %r" %
                        (child.returncode, took, cases))


def check_fifo_without_reader(failures):
    """A report into a FIFO that no process reads fails within a second or two; SIGTERM while the
    runner waits for a reader ends it at once. tervik-as does the same with its listing."""
    folder = make_folder()
    os.mkfifo(os.path.join(folder, "fifo"))
    commands = [("tervik-run --junit", [RUNNER, "--map", "m.map", "--lst", "five.lst", "--quiet",
                                        "--junit", "fifo"], 4),
                ("tervik-run --dump-display", [RUNNER, "--map", "d.map", "--lst", "five.lst",
                                               "--quiet", "--dump-display", "fifo"], 4),
                ("tervik-as -o", [ASSEMBLER, "five.asm", "-o", "fifo"], 1)]
    write(folder, "d.map", MAP + "0x6000 0x800 DLL libtervik_display.so 64x32\n")
    for name, args, status in commands:
        started = time.monotonic()
        run = subprocess.run(args, cwd=folder, capture_output=True, timeout=30)
        took = time.monotonic() - started
        if (run.returncode != status or took > 5 or
                b"no process reads the FIFO" not in run.stderr):
            failures.append("%s into a FIFO without a reader: %d after %.2f s: %r" %
                            (name, run.returncode, took, run.stderr))
    child = subprocess.Popen(commands[0][1], cwd=folder, stdout=subprocess.DEVNULL,
                             stderr=subprocess.DEVNULL)
    time.sleep(0.4)  # the run is over; the runner waits for the FIFO's reader
    sent = time.monotonic()
    child.send_signal(signal.SIGTERM)
    child.wait(timeout=30)
    if child.returncode != -signal.SIGTERM or time.monotonic() - sent > 0.3:
        failures.append("SIGTERM while waiting for a FIFO's reader: %d after %.2f s" %
                        (child.returncode, time.monotonic() - sent))


def snapshot(folder):
    """Every file of the folder (links not followed) with its bytes or link text."""
    files = {}
    for name in sorted(os.listdir(folder)):
        path = os.path.join(folder, name)
        if os.path.islink(path):
            files[name] = "-> " + os.readlink(path)
        elif os.path.isfile(path):
            with open(path, "rb") as f:
                files[name] = f.read()
    return files


def check_outputs_against_inputs(failures):
    """Every output option against every input and every other output, directly and through a
    link: refused with 64 before anything runs, every file byte-identical afterwards."""
    outputs = {"--output": [], "--junit": [], "--dump-display": []}
    inputs = {"map": "d.map", "listing": "five.lst", "symbol file": "five.sym",
              "suite": "s.suite", "input file": "in.txt", "link to the listing": "link.lst"}
    for option in outputs:
        targets = dict(inputs)
        for other in outputs:
            if other != option:
                targets[other] = "other.out"
        for what, target in targets.items():
            folder = make_folder()
            write(folder, "d.map", MAP + "0x6000 0x800 DLL libtervik_display.so 64x32\n")
            write(folder, "s.suite", "--name one --lst five.lst\n")
            write(folder, "in.txt", "typed\n")
            os.symlink("five.lst", os.path.join(folder, "link.lst"))
            write(folder, "other.out", "another output\n")
            args = [RUNNER, "--map", "d.map", "--suite", "s.suite", "--input-file", "in.txt",
                    option, target]
            if what in outputs:
                args += [what, target]
            before = snapshot(folder)
            run = subprocess.run(args, cwd=folder, capture_output=True, timeout=60)
            if run.returncode != 64 or snapshot(folder) != before or run.stdout:
                failures.append("%s onto the %s: %d, files changed: %s, %r" %
                                (option, what, run.returncode, snapshot(folder) != before,
                                 run.stderr[-300:]))


def check_read_only_outputs(failures):
    """A read-only output (mode 0444) is refused with 64 and left alone; --force replaces it and
    keeps its mode."""
    folder = make_folder()
    write(folder, "d.map", MAP + "0x6000 0x800 DLL libtervik_display.so 64x32\n")
    commands = {
        "tervik-run --output": [RUNNER, "--map", "m.map", "--lst", "bytes.lst", "--output"],
        "tervik-run --junit": [RUNNER, "--map", "m.map", "--lst", "five.lst", "--junit"],
        "tervik-run --dump-display": [RUNNER, "--map", "d.map", "--lst", "five.lst",
                                      "--dump-display"],
        "tervik-as -o": [ASSEMBLER, "five.asm", "-o"],
        "tervik-as --sym": [ASSEMBLER, "five.asm", "-o", "other.lst", "--sym"],
        "tervik-rom -o": [os.path.join(os.path.dirname(RUNNER), "tervik-rom"), "--lst",
                          "five.lst", "-f", "ihex", "-o"],
    }
    for name, args in commands.items():
        target = os.path.join(folder, "ro.out")
        for force in (False, True):
            if os.path.exists(target):
                os.chmod(target, 0o644)
            write(folder, "ro.out", "precious\n")
            os.chmod(target, 0o444)
            run = subprocess.run(args + ["ro.out"] + (["--force"] if force else []), cwd=folder,
                                 capture_output=True, timeout=60)
            with open(target, "rb") as f:
                text = f.read()
            mode = os.stat(target).st_mode & 0o777
            if force and (run.returncode != 0 or text == b"precious\n" or mode != 0o444):
                failures.append("%s --force onto a read-only file: %d %r, mode %o" %
                                (name, run.returncode, run.stderr[-200:], mode))
            if not force and (run.returncode != 64 or text != b"precious\n" or
                              b"it is read-only" not in run.stderr):
                failures.append("%s onto a read-only file: %d %r" %
                                (name, run.returncode, run.stderr[-200:]))


def limited(size):
    """A child's preexec: files it writes may grow to `size` bytes; past it a write fails with
    EFBIG (or the process gets SIGXFSZ, which subprocess restores to its default action)."""
    return lambda: resource.setrlimit(resource.RLIMIT_FSIZE, (size, size))


def check_writes_that_fail(failures):
    """--output on a full device says why; past the file size limit, --output and tervik-as's
    listing fail with the system's reason and leave neither the file nor a temporary one."""
    folder = make_folder()
    run = subprocess.run([RUNNER, "--map", "m.map", "--lst", "bytes.lst", "--quiet", "--output",
                          "/dev/full"], cwd=folder, capture_output=True, timeout=60)
    if run.returncode != 4 or (b"cannot write '/dev/full': No space left on device\n"
                               not in run.stderr):
        failures.append("--output /dev/full: %d %r" % (run.returncode, run.stderr))
    before = snapshot(folder)
    run = subprocess.run([RUNNER, "--map", "m.map", "--lst", "endless.lst", "--steps", "30000",
                          "--quiet", "--output", "lines.txt"], cwd=folder, capture_output=True,
                         timeout=60, preexec_fn=limited(4096))
    if (run.returncode != 4 or b"cannot write 'lines.txt': File too large\n" not in run.stderr or
            snapshot(folder) != before):
        failures.append("--output past the file size limit: %d %r, files %r" %
                        (run.returncode, run.stderr, sorted(set(snapshot(folder)) - set(before))))
    write(folder, "big.asm", "start:\n" + " NOP\n" * 2000 + "halt: JUMPI halt%\n")
    before = snapshot(folder)
    run = subprocess.run([ASSEMBLER, "big.asm"], cwd=folder, capture_output=True, timeout=60,
                         preexec_fn=limited(4096))
    if (run.returncode != 1 or b"File too large" not in run.stderr or
            snapshot(folder) != before):
        failures.append("tervik-as past the file size limit: %d %r, files %r" %
                        (run.returncode, run.stderr, sorted(set(snapshot(folder)) - set(before))))


def check_large_input_file(failures):
    """--input-file is read as the terminal takes it: a 256 MB input costs no more memory than a
    short one."""
    folder = make_folder()
    with open(os.path.join(folder, "huge.txt"), "wb") as f:
        f.truncate(256 << 20)  # sparse: no disk space
    child = subprocess.Popen([RUNNER, "--map", "m.map", "--lst", "five.lst", "--quiet",
                              "--input-file", "huge.txt"], cwd=folder,
                             stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    _, status, usage = os.wait4(child.pid, 0)
    child.returncode = status
    if os.waitstatus_to_exitcode(status) != 0 or usage.ru_maxrss > 128 * 1024:
        failures.append("a 256 MB --input-file: status %d, %d kB resident" %
                        (os.waitstatus_to_exitcode(status), usage.ru_maxrss))


def main():
    failures = []
    for case in CASES:
        check_case(case, failures)
    for check in (check_golden_report, check_quiet_warning, check_bounded_output, check_signals,
                  check_full_trace, check_signal_while_loading, check_fifo_without_reader,
                  check_outputs_against_inputs, check_read_only_outputs, check_writes_that_fail,
                  check_large_input_file):
        guarded(check.__name__, check, failures)
    for failure in failures:
        print("FAILED: " + failure + "\n")
    for folder in FOLDERS:
        shutil.rmtree(folder, ignore_errors=True)
    print("%d checks failed" % len(failures) if failures else "all checks passed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
