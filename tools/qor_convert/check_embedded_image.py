#!/usr/bin/env python3
"""A program whose debug information the converter embedded is a sound
image and carries its resources once:
  - exactly one .rsrc section, and no DWARF;
  - sections follow each other without gaps (the loader insists on it);
  - the base relocations are those of the linked program, byte for byte,
    and the data directory points at them;
  - every resource of the linked program is there with the same bytes.
    check_embedded_image.py LINKED.debug.exe EMBEDDED.exe"""
import struct
import sys


class Image:
    def __init__(self, path):
        self.data = open(path, "rb").read()
        nt = struct.unpack_from("<I", self.data, 60)[0]
        count = struct.unpack_from("<H", self.data, nt + 6)[0]
        optional_size = struct.unpack_from("<H", self.data, nt + 20)[0]
        self.optional = nt + 24
        self.section_alignment = struct.unpack_from("<I", self.data, self.optional + 32)[0]
        self.image_size = struct.unpack_from("<I", self.data, self.optional + 56)[0]
        table = self.optional + optional_size
        self.sections = []
        for i in range(count):
            at = table + 40 * i
            name = self.data[at:at + 8].rstrip(b"\0").decode("latin-1")
            vsize, va, raw_size, raw = struct.unpack_from("<IIII", self.data, at + 8)
            self.sections.append((name, va, vsize, raw, raw_size))

    def directory(self, index):
        return struct.unpack_from("<II", self.data, self.optional + 96 + 8 * index)

    def read(self, rva, size):
        for _, va, vsize, raw, raw_size in self.sections:
            if va <= rva and rva + size <= va + max(vsize, raw_size):
                return self.data[raw + rva - va:raw + rva - va + size]
        raise ValueError(f"RVA {rva:#x}+{size:#x} lies in no section")

    def resources(self):
        """{(type, name, language): bytes}; names are ids or strings."""
        root, _ = self.directory(2)
        found = {}

        def label(field):
            if not field & 0x80000000:
                return field
            at = root + (field & 0x7FFFFFFF)
            length = struct.unpack("<H", self.read(at, 2))[0]
            return self.read(at + 2, 2 * length).decode("utf-16-le")

        def entries(offset):
            head = self.read(root + offset, 16)
            count = sum(struct.unpack_from("<HH", head, 12))
            body = self.read(root + offset + 16, 8 * count)
            return [struct.unpack_from("<II", body, 8 * i) for i in range(count)]

        for type_field, type_dir in entries(0):
            for name_field, name_dir in entries(type_dir & 0x7FFFFFFF):
                for language, leaf in entries(name_dir & 0x7FFFFFFF):
                    rva, size = struct.unpack("<II", self.read(root + leaf, 8))
                    found[(label(type_field), label(name_field), language)] = self.read(rva, size)
        return found


def align(value, alignment):
    return (value + alignment - 1) // alignment * alignment


def main():
    linked, embedded = Image(sys.argv[1]), Image(sys.argv[2])
    problems = []
    names = [s[0] for s in embedded.sections]
    if names.count(".rsrc") != 1:
        problems.append(f"sections {names}: want exactly one .rsrc")
    if any(n.startswith(".debug") or n.startswith("/") for n in names):
        problems.append(f"sections {names}: DWARF left behind")
    end = embedded.sections[0][1]
    for name, va, vsize, _, raw_size in embedded.sections:
        if va != end:
            problems.append(f"{name} at {va:#x}, the previous section ends at {end:#x}")
        end = align(va + max(vsize, raw_size), embedded.section_alignment)
    if end != embedded.image_size:
        problems.append(f"image size {embedded.image_size:#x}, the sections end at {end:#x}")
    before, after = linked.directory(5), embedded.directory(5)
    if before[1] != after[1] or linked.read(*before) != embedded.read(*after):
        problems.append("base relocations differ from the linked program's")
    old, new = linked.resources(), embedded.resources()
    for key, data in old.items():
        if new.get(key) != data:
            problems.append(f"resource {key} missing or changed")
    if not any(k[0] == "QOR" and k[1] == "EXCEPT" for k in new):
        problems.append("no QOR/EXCEPT resource")
    for p in problems:
        print(p)
    print(f"{sys.argv[2]}: {len(embedded.sections)} sections, {len(new)} resources "
          f"({len(old)} from the linker), {len(embedded.data)} bytes")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
