#!/usr/bin/env python3
"""The crash servers' processor over our minidumps, under Wine: the test
program fails (an access violation five calls deep, past an inlined call; a
C++ exception that nothing catches) and writes a minidump; minidump_stackwalk with our symbol
store must show the failing thread's frames with the function, file and
line marked "frame:" in the program's source, each found by the context or
by call-frame information; minidump_dump must read every stream. Prints
each dump's size and writing time.
    crash_dump_test.py CHILD SYMBOLS TOOLS WINE_RUN PREFIX SOURCE"""
import os
import re
import subprocess
import sys
import tempfile

# The checks shared by the tests written in Python.
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "python"))
from checks import Checks  # noqa: E402

child, symbols, tools, wine_run, prefix, source = sys.argv[1:7]
check = Checks()


def marked_lines():
    marks = {}
    with open(source) as f:
        for number, line in enumerate(f, 1):
            m = re.search(r"// frame: (\w+)(?: (\w+))?", line)
            if m:
                marks[(m.group(1), m.group(2))] = number
    return marks


def run_child(work, mode, size):
    dump = os.path.join(work, f"{mode}-{size}.dmp")
    out = subprocess.run([wine_run, prefix, child, mode, size, os.path.basename(dump)], cwd=work,
                         capture_output=True, text=True, timeout=240).stdout
    m = re.search(r"result=(\d+) bytes=(\d+) ms=(\d+)", out)
    check(m is not None, f"{mode} {size}: the program reported no result: {out!r}")
    return dump, (tuple(int(g) for g in m.groups()) if m else (-1, 0, 0))


def crashed_frames(text):
    """[(function, file, line, found by)] of the crashed thread."""
    block = re.search(r"^Thread \d+ \(crashed\)\n(.*?)(?:\n\n|\Z)", text, re.S | re.M)
    frames = []
    if not block:
        return frames
    for m in re.finditer(r"^ ?\d+  (\S+?)!(\S+) \[(\S+) : (\d+) \+ 0x[0-9a-f]+\]\n(.*?)Found by: ([^\n]+)",
                         block.group(1), re.S | re.M):
        frames.append((m.group(2), m.group(3), int(m.group(4)), m.group(6)))
    return frames


def check_stack(dump, mode, marks):
    text = subprocess.run([os.path.join(tools, "minidump_stackwalk"), dump, symbols],
                          capture_output=True, text=True).stdout
    frames = crashed_frames(text)
    names = [f[0] for f in frames]
    expected = ["Level5", "Level4", "Step", "Level3", "Level2", "Level1", "main"]
    start = names.index("Level5") if "Level5" in names else -1
    check(start >= 0 and names[start:start + len(expected)] == expected,
          f"{mode}: frames {names} do not hold {expected} in order")
    if mode == "access":
        check(start == 0 and frames[0][3] == "given as instruction pointer in context",
              f"{mode}: the first frame is not the faulting one: {frames[:1]}")
    for function, file, line, found in frames[max(start, 0):max(start, 0) + len(expected)]:
        want = marks.get((function, mode)) or marks.get((function, None))
        check(file == os.path.basename(source) and line == want,
              f"{mode}: {function} at {file}:{line}, expected line {want}")
        # The inlined call's frame comes from the INLINE records at the
        # return address into Level3; every real frame from the context or CFI.
        ways = ("inline record",) if function == "Step" else ("given as instruction pointer in context",
                                                        "call frame info")
        check(found in ways, f"{mode}: {function} found by {found}")
    module = re.search(r"^0x[0-9a-f]+ - 0x[0-9a-f]+  crash_dump_child\.exe .*$", text, re.M)
    check(module is not None and "No symbols" not in module.group(0),
          f"{mode}: the program's module has no symbols: {module.group(0) if module else None}")
    return text


# What minidump_dump calls each stream it tries, and the stream's name in
# the dump's directory: a stream it cannot read must be one the dump lacks.
STREAM_READERS = {"GetThreadList": "THREAD_LIST", "GetModuleList": "MODULE_LIST",
                  "GetMemoryList": "MEMORY_LIST", "GetException": "EXCEPTION",
                  "GetSystemInfo": "SYSTEM_INFO", "GetMiscInfo": "MISC_INFO",
                  "GetMemoryInfoList": "MEMORY_INFO_LIST", "GetUnloadedModuleList": "UNLOADED_MODULE_LIST",
                  "GetAssertion": "ASSERTION_INFO", "GetBreakpadInfo": "BREAKPAD_INFO",
                  "GetThreadNameList": "THREAD_NAME_LIST"}


def check_streams(dump):
    done = subprocess.run([os.path.join(tools, "minidump_dump"), dump], capture_output=True, text=True)
    directory = set(re.findall(r"stream_type\s+= 0x[0-9a-f]+ \(MD_(\w+)_STREAM\)", done.stdout))
    for stream in ("SYSTEM_INFO", "THREAD_LIST", "MODULE_LIST", "MEMORY_LIST", "EXCEPTION", "MISC_INFO"):
        check(stream in directory, f"the dump has no {stream} stream")
    for reader in re.findall(r"ERROR: minidump\.(\w+)\(\) failed", done.stderr):
        check(STREAM_READERS.get(reader, "?") not in directory, f"minidump_dump cannot read {reader}")
    check(not re.search(r"ERROR: (?!minidump\.\w+\(\) failed)", done.stderr),
          f"minidump_dump reports errors: {done.stderr[-400:]}")
    for decoded in ("MDRawSystemInfo", "MDRawThread", "MDRawModule", "MDException", "MDRawMiscInfo"):
        check(decoded in done.stdout, f"minidump_dump shows no {decoded}")
    check('(cv_record).pdb_file_name       = "crash_dump_child.pdb"' in done.stdout,
          "the program's module has no CodeView record in the dump")


def main():
    marks = marked_lines()
    with tempfile.TemporaryDirectory() as work:
        for size in ("none", "small", "data"):
            dump, (result, size_bytes, ms) = run_child(work, "access", size)
            if size == "none":
                check(result == 1 and not os.path.exists(dump), "no dump is written when none is set")
                continue
            check(result == 0 and os.path.getsize(dump) == size_bytes, f"{size}: no dump written")
            print(f"dump size {size}: {size_bytes} bytes, written in {ms} ms")
        text = check_stack(os.path.join(work, "access-small.dmp"), "access", marks)
        check_streams(os.path.join(work, "access-small.dmp"))
        dump, (result, size_bytes, ms) = run_child(work, "cxx", "small")
        check(result == 0, "cxx: no dump written")
        print(f"dump size C++ exception: {size_bytes} bytes, written in {ms} ms")
        check_stack(dump, "cxx", marks)
        print("\n".join(text.splitlines()[:40]))
    return check.summary()


sys.exit(main())
