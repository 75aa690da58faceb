#!/usr/bin/env python3
"""Every program and DLL of a Windows tree carries a full RSDS CodeView
record in its debug directory, naming <its own name>.pdb.
    check_debug_ids.py TREE"""
import pathlib
import struct
import sys


def codeview_record(data):
    """The RSDS record of a PE file's debug directory, or None."""
    nt = struct.unpack_from("<I", data, 60)[0]
    if data[nt:nt + 4] != b"PE\0\0":
        return None
    sections = struct.unpack_from("<H", data, nt + 6)[0]
    optional_size = struct.unpack_from("<H", data, nt + 20)[0]
    optional = nt + 24
    rva, size = struct.unpack_from("<II", data, optional + 96 + 6 * 8)
    table = optional + optional_size

    def offset(at):
        for i in range(sections):
            vsize, va, _, raw = struct.unpack_from("<IIII", data, table + 40 * i + 8)
            if va <= at < va + max(vsize, 1):
                return at - va + raw
        return None

    start = offset(rva) if rva else None
    if start is None:
        return None
    for entry in range(start, start + size, 28):
        kind, length, _, pointer = struct.unpack_from("<IIII", data, entry + 12)
        if kind == 2:
            return data[pointer:pointer + length]
    return None


def main():
    tree = pathlib.Path(sys.argv[1])
    # Wine prefixes, CMake's probes and the unstripped copies are not ours.
    modules = [p for p in tree.rglob("*") if p.suffix in (".exe", ".dll")
               and not any(part.endswith("prefix") or part == "CMakeFiles" for part in p.parts)
               and not p.name.endswith(".debug.exe")]
    failures = 0
    for path in sorted(modules):
        record = codeview_record(path.read_bytes())
        expected = path.stem + ".pdb"
        if (record is None or record[:4] != b"RSDS" or len(record) != 24 + len(expected) + 1
                or record[24:-1].decode("latin-1") != expected or record[-1] != 0):
            print(f"{path}: no full RSDS record naming {expected}: {record!r}")
            failures += 1
    print(f"{len(modules) - failures} passed, {failures} failed")
    return 1 if failures or not modules else 0


if __name__ == "__main__":
    sys.exit(main())
