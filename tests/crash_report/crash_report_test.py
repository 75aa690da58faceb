#!/usr/bin/env python3
"""The bug report of a failing program that carries the core, under Wine.
    crash_report_test.py WINE_RUN PREFIX SOURCE full PROGRAM
        the complete report of a C++ exception in a worker thread, line by line
    crash_report_test.py WINE_RUN PREFIX SOURCE dump PROGRAM SYMBOLS TOOLS
        the minidump beside the report file, read by the crash servers' processor
    crash_report_test.py WINE_RUN PREFIX SOURCE upload PROGRAM PORT
        the dump and the report posted to a server on 127.0.0.1:PORT; kept
        for the next start when the server fails
    crash_report_test.py WINE_RUN PREFIX SOURCE peer PROGRAM PROGRAM_OFF
        Wine's own crash reporter on the same failure with the core off:
        every frame and module it finds must be in our report
Lines of SOURCE marked "// frame: NAME" are where NAME calls on or fails."""
import email.parser
import email.policy
import http.server
import os
import re
import shutil
import subprocess
import sys
import tempfile
import threading
import time

# The checks shared by the tests written in Python.
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "python"))
from checks import Checks  # noqa: E402

wine_run, prefix, source, mode = sys.argv[1:5]
args = sys.argv[5:]
check = Checks()


def marks():
    found = {}
    with open(source) as f:
        for number, line in enumerate(f, 1):
            m = re.search(r"// frame: (\w+)", line)
            if m:
                found[m.group(1)] = number
    return found


def wine(work, *command, timeout=240):
    return subprocess.run([wine_run, prefix, *command], cwd=work, capture_output=True,
                          text=True, errors="replace", timeout=timeout)


def run_program(work, program, scenario):
    """Runs a copy of PROGRAM in WORK, so that its report file and minidump
    land there; returns (exit code, output lines, report lines)."""
    copy = os.path.join(work, os.path.basename(program))
    shutil.copy(program, copy)
    done = wine(work, copy, scenario)
    lines = done.stdout.replace("\r", "").split("\n")
    report = []
    if "=== report ===" in lines and "=== end ===" in lines:
        report = lines[lines.index("=== report ===") + 1:lines.index("=== end ===")]
    check(report, f"{scenario}: no report was printed: {done.stdout[-2000:]!r}")
    return done.returncode, lines, report


CAPTION = re.compile(r"^(.+) \(\$[0-9a-f]+\):( <.*>)?$")
STACK_LINE = re.compile(r"^([0-9a-f]{8}) (\S+)\s+(?:(\S+\.\w+)\s+(\d+) )?\s*(.+)$")


def thread_blocks(report):
    """[(caption, [stack lines])] in report order, up to the module list."""
    blocks = []
    for line in report:
        if line == "modules:":
            break
        m = CAPTION.match(line)
        if m:
            blocks.append((m.group(1), []))
        elif blocks and line:
            blocks[-1][1].append(line)
    return blocks


def short_name(function):
    """The function's own name: after the last "." or "::", leading
    underscores and the offset dropped."""
    function = re.sub(r"\+0x[0-9a-f]+$", "", function)
    return re.split(r"\.|::", function)[-1].lstrip("_")


def check_full(program):
    frame = marks()
    with tempfile.TemporaryDirectory() as work:
        code, lines, report = run_program(work, program, "throw")
        check(code == 0 and "continued" in lines, f"the program did not go on: {code}")
        text = "\n".join(report)
        print(text)
        check(report[:1] and report[0].startswith("date/time         : "),
              "the report does not start with the date")
        labels = ["computer name     : ", "user name         : ", "operating system  : ",
                  "program up time   : ", "physical memory   : ", "free disk space   : ",
                  "display mode      : ", "process id        : ", "allocated memory  : ",
                  "command line      : ", "executable        : failing_program.exe",
                  "exec. date/time   : ", "qorExcept version : 2.7i",
                  "exception class   : runtime.Exception", "exception message : Disk full."]
        at = 0
        for label in labels:
            found = next((i for i in range(at, len(report)) if report[i].startswith(label)), None)
            check(found is not None, f"no header line {label!r} in its place")
            at = found + 1 if found is not None else at
        check(any(l.startswith("command line      : ") and l.endswith(" throw") for l in report),
              "the command line lacks the argument")
        blocks = thread_blocks(report)
        captions = [c for c, _ in blocks]
        check(captions[:2] == ["failing worker", "main thread"] and "waiting helper" in captions,
              f"thread blocks {captions}: the failing worker first, then the main thread")
        if blocks and blocks[0][0] == "failing worker":
            stack = [STACK_LINE.match(l) for l in blocks[0][1]]
            first = stack[0]
            check(first is not None and first.group(3) == os.path.basename(source) and
                  int(first.group(4)) == frame["SaveSettings"] and
                  short_name(first.group(5)) == "SaveSettings",
                  f"the failing thread's first line is not the throw: {blocks[0][1][:1]}")
            check(stack[1] is not None and short_name(stack[1].group(5)) == "SaveDocument" and
                  int(stack[1].group(4) or 0) == frame["SaveDocument"],
                  f"the caller of the throw is missing: {blocks[0][1][1:2]}")
            check(any(l.startswith(">> created by main thread ($") for l in blocks[0][1]),
                  "the worker's creator is not named")
        modules = report[report.index("modules:") + 1:] if "modules:" in report else []
        modules = modules[:modules.index("")] if "" in modules else modules
        bases = [int(l[:8], 16) for l in modules]
        check(len(bases) > 5 and bases == sorted(bases), "modules are not listed by address")
        check(any(re.search(r"^00400000 failing_program\.exe .* debug id [0-9A-F]{33}$", l)
                  for l in modules), "the program's module line lacks its debug id")
        check(any(re.search(r" kernel32\.dll\s+\d+\.\d+\.\d+\.\d+ ", l) for l in modules),
              "kernel32.dll has no version")
        check("hardware:" in report and any(l.startswith("+ ") for l in report),
              "no hardware list")
        check("disassembling:" in report and any(" > " in l for l in report),
              "no disassembly of the failing function")
        dump = os.path.join(work, "bugreport.dmp")
        check(report[-1].startswith("Minidump: ") and report[-1].endswith("\\bugreport.dmp") and
              os.path.getsize(dump) > 0 if os.path.exists(dump) else False,
              f"no minidump beside the report file: {report[-1:]}")


def check_dump(program, symbols, tools):
    frame = marks()
    with tempfile.TemporaryDirectory() as work:
        code, _, report = run_program(work, program, "access")
        check(code == 1, f"an access violation of the main thread ends with 1, not {code}")
        dump = os.path.join(work, "bugreport.dmp")
        check(report[-1:] == ["Minidump: " + "Z:" + dump.replace("/", "\\")],
              f"the report's minidump line: {report[-1:]}")
        if not os.path.exists(dump):
            check(False, "no minidump was written")
            return
        print(f"minidump (small, the default): {os.path.getsize(dump)} bytes")
        walked = subprocess.run([os.path.join(tools, "minidump_stackwalk"), dump, symbols],
                                capture_output=True, text=True).stdout
        block = re.search(r"^Thread \d+ \(crashed\)\n(.*?)(?:\n\n|\Z)", walked, re.S | re.M)
        frames = re.findall(r"^ ?\d+  failing_program\.exe!(.+?) \[(\S+) : (\d+) \+ 0x[0-9a-f]+\]"
                            r"\n(?:.*\n)*?\s+Found by: ([^\n]+)", block.group(1) if block else "",
                            re.M)
        print("\n".join(l for l in (block.group(0) if block else walked).split("\n")
                        if not re.match(r"^\s+(e[a-z]{2}|eip|esp|ebp) = ", l)))
        names = [short_name(f[0]) for f in frames]
        expected = ["Level5", "Level4", "Level3", "Level2", "Level1", "main"]
        check(names[:len(expected)] == expected, f"frames {names}, expected {expected} first")
        for function, file, line, found in frames[:len(expected)]:
            name = short_name(function)
            check(file == os.path.basename(source) and int(line) == frame.get(name),
                  f"{name} at {file}:{line}, expected line {frame.get(name)}")
            check(found in ("given as instruction pointer in context", "call frame info"),
                  f"{name} found by {found}")


AEDEBUG = r"HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug"
WINEDBG = r"HKCU\Software\Wine\WineDbg"


def winedbg_report(work, program_off):
    """Wine's crash reporter's text for the failure: started as the prefix's
    debugger for this run only, without its dialog; the settings the test
    bed had are put back afterwards."""
    wine(work, "reg", "add", AEDEBUG, "/v", "Debugger", "/d", "winedbg --auto %ld %ld", "/f")
    wine(work, "reg", "add", WINEDBG, "/v", "ShowCrashDialog", "/t", "REG_DWORD", "/d", "0", "/f")
    try:
        copy = os.path.join(work, os.path.basename(program_off))
        shutil.copy(program_off, copy)
        # The time from the fault to the reporter's finished output: the
        # failing run less a run of the same program that does not fail.
        start = time.monotonic()
        wine(work, copy, "none")
        plain = time.monotonic() - start
        start = time.monotonic()
        done = wine(work, copy, "access")
        failing = time.monotonic() - start
        print(f"winedbg: fault to finished output about {1000 * (failing - plain):.0f} ms "
              f"(failing run {1000 * failing:.0f} ms, run without the failure {1000 * plain:.0f} ms)")
        return done.stdout.replace("\r", "")
    finally:
        wine(work, "reg", "add", AEDEBUG, "/v", "Debugger", "/d", "", "/f")
        wine(work, "reg", "delete", WINEDBG, "/v", "ShowCrashDialog", "/f")


def addr2line_names(program, addresses):
    out = subprocess.run(["i686-w64-mingw32-addr2line", "-f", "-e", program] +
                         [hex(a - 1) for a in addresses], capture_output=True, text=True).stdout
    return out.split("\n")[0::2]


def check_peer(program, program_off):
    with tempfile.TemporaryDirectory() as work:
        _, _, report = run_program(work, program, "access")
        theirs = winedbg_report(work, program_off)
    # Their failing thread: "=>0 0x004015e5 Level5+0x5() [...] in module (...)"
    their_frames = []
    for m in re.finditer(r"^(?:=>| +)\d+ 0x([0-9a-f]{8}) (?:(\S+?)(?:\(.*?\))? \[.*?\] )?in "
                         r"(\S+) ", theirs[theirs.find("Backtrace:"):theirs.find("Modules:")],
                         re.M):
        their_frames.append([int(m.group(1), 16), m.group(2), m.group(3)])
    program_module = os.path.splitext(os.path.basename(program_off))[0]
    own = [f for f in their_frames if f[2] == program_module]
    # Frames in the program that it could not name are named from the
    # program's own line table (a return address lies after its call).
    for f, name in zip(own, addr2line_names(program_off, [f[0] for f in own])):
        f[1] = f[1] or name
    blocks = thread_blocks(report)
    ours = [STACK_LINE.match(l) for l in (blocks[0][1] if blocks else [])]
    ours = [(int(m.group(1), 16), m.group(2), short_name(m.group(5))) for m in ours if m]
    print(f"{'Wine crash reporter':<48} | our report")
    matched = 0
    at = 0
    previous_module = ""
    for address, name, module in their_frames:
        if module == program_module:
            hit = next((i for i in range(at, len(ours))
                        if ours[i][1].startswith("failing_program") and
                        ours[i][2] == short_name(name or "")), None)
        else:
            # The same system module at the same place: our address is the
            # call, theirs the return address after it.
            hit = next((i for i in range(at, len(ours)) if 0 < address - ours[i][0] <= 7), None)
        mine = f"{ours[hit][0]:08x} {ours[hit][1]} {ours[hit][2]}" if hit is not None else "-"
        # Known gap of our stack walker: Wine's thread-start thunk in ntdll,
        # between kernel32's thread start and RtlUserThreadStart, keeps no
        # frame that the walker follows; the crash servers' processor finds
        # it only through the frame pointer.
        known_gap = (hit is None and module == "ntdll" and previous_module == "kernel32")
        print(f"{address:08x} {module:<20} {short_name(name or ''):<18} | {mine}"
              f"{'  (known gap: thread-start thunk)' if known_gap else ''}")
        previous_module = module
        if hit is not None:
            matched += 1
            at = hit + 1
        elif not known_gap:
            check(False, f"their frame {address:08x} in {module} ({name}) is not in our report")
    print(f"frames: {matched} of their {len(their_frames)} in ours ({len(ours)} listed)")
    modules = [m.group(1).lower() for m in re.finditer(r"^PE\s+[0-9a-f]+-[0-9a-f]+\s+\S+\s+(\S+)$",
                                                         theirs, re.M)]
    our_modules = set()
    if "modules:" in report:
        for line in report[report.index("modules:") + 1:]:
            if not line:
                break
            our_modules.add(os.path.splitext(line.split()[1])[0].lower())
    print(f"modules: theirs {len(modules)}, ours {len(our_modules)}")
    for module in modules:
        name = "failing_program" if module == program_module else module
        present = name in our_modules
        print(f"  {module:<24} {'yes' if present else 'MISSING'}")
        check(present, f"their module {module} is not in our module list")
    process = re.search(r"^[0-9a-f]{8} \(D\) .*" + re.escape(program_module) + r"\.exe\n((?:\t.*\n)*)",
                        theirs, re.M)
    their_threads = process.group(1).strip("\n").split("\n") if process else []
    print(f"threads: theirs {len(their_threads)} (the debugger's break-in thread among them), "
          f"ours {len(blocks)}: {', '.join(c for c, _ in blocks)}")
    check(their_frames and len(modules) > 3, f"the crash reporter printed no backtrace: {theirs[-1500:]!r}")


class UploadServer:
    """Records every POST on 127.0.0.1:PORT and answers with `status`."""

    def __init__(self, port):
        self.requests = []
        self.status = 200
        server = self

        class Handler(http.server.BaseHTTPRequestHandler):
            protocol_version = "HTTP/1.1"

            def do_POST(self):
                body = self.rfile.read(int(self.headers.get("Content-Length", "0")))
                server.requests.append((self.requestline, dict(self.headers.items()), body))
                self.send_response(server.status)
                self.send_header("Content-Length", "0")
                self.end_headers()

            def log_message(self, *_):
                pass

        self.httpd = http.server.ThreadingHTTPServer(("127.0.0.1", int(port)), Handler)
        threading.Thread(target=self.httpd.serve_forever, daemon=True).start()

    def close(self):
        self.httpd.shutdown()
        self.httpd.server_close()


def form_parts(headers, body):
    """{field name: (file name, bytes)} of a multipart/form-data body."""
    message = email.parser.BytesParser(policy=email.policy.HTTP).parsebytes(
        f"Content-Type: {headers.get('Content-Type', '')}\r\n\r\n".encode() + body)
    return {part.get_param("name", header="content-disposition"):
            (part.get_filename(), part.get_payload(decode=True))
            for part in message.iter_parts()}


def waiting(queue):
    """The reports waiting in the queue folder (beside its state file)."""
    return [n for n in os.listdir(queue) if n.endswith(".upload")] if os.path.isdir(queue) else []


def check_upload(program, port):
    server = UploadServer(port)
    try:
        with tempfile.TemporaryDirectory() as work:
            queue = os.path.join(work, "crash uploads")
            code, _, report = run_program(work, program, "throw")
            check(code == 0, f"the program did not go on: {code}")
            check(len(server.requests) == 1, f"{len(server.requests)} requests, expected 1")
            if server.requests:
                line, headers, body = server.requests[0]
                print(line)
                for key in ("Host", "Content-Type", "Content-Length", "User-Agent"):
                    print(f"{key}: {headers.get(key)}")
                parts = form_parts(headers, body)
                print("fields:", ", ".join(f"{name}" + (f" ({f})" if f else "")
                                           for name, (f, _) in parts.items()))
                check(line.startswith("POST /submit ") and
                      headers.get("Content-Type", "").startswith("multipart/form-data"),
                      f"not a form POST: {line} {headers.get('Content-Type')}")
                check(parts.get("prod", (0, b""))[1] == b"FailingProgram" and
                      parts.get("ver", (0, b""))[1] == b"1.2.3" and
                      re.fullmatch(rb"[0-9a-f]{8}(-[0-9a-f]{4}){3}-[0-9a-f]{12}",
                                   parts.get("guid", (0, b""))[1]),
                      f"form fields: {[(k, v[1][:40]) for k, v in parts.items() if not v[0]]}")
                with open(os.path.join(work, "bugreport.dmp"), "rb") as f:
                    check(parts.get("upload_file_minidump", (0, b""))[1] == f.read(),
                          "the uploaded dump differs from the one beside the report file")
                check(parts.get("upload_file_report", (0, b""))[1].decode("latin-1")
                      .replace("\r", "").rstrip("\n") == "\n".join(report),
                      "the uploaded report differs from the composed one")
            check(not waiting(queue), "a delivered report stayed queued")
            # A failing server: the report waits for the next start, which
            # sends it.
            server.status = 500
            run_program(work, program, "throw")
            check(len(waiting(queue)) == 1, "a report the server refused with 500 is not queued")
            server.status = 200
            before = len(server.requests)
            wine(work, os.path.join(work, os.path.basename(program)), "none")
            check(len(server.requests) == before + 1 and not waiting(queue),
                  f"the start did not send the queued report ({len(server.requests) - before} "
                  f"requests, {len(waiting(queue))} waiting)")
    finally:
        server.close()


{"full": check_full, "dump": check_dump, "peer": check_peer, "upload": check_upload}[mode](*args)
sys.exit(check.summary())
