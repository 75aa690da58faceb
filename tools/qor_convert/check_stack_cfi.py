#!/usr/bin/env python3
"""The STACK CFI records of a symbol file against the binutils dump of the
same program's .eh_frame (`objdump --dwarf=frames-interp`, the table that
`readelf --debug-dump=frames-interp` prints for ELF files; readelf does not
read PE files). At every row of the dump (or every STRIDE-th), the rules in
force in the symbol file must say what the table says. Prints
"N passed, M failed" and the first mismatches.
    check_stack_cfi.py OBJDUMP PROGRAM SYMBOL_FILE [STRIDE]"""
import re
import subprocess
import sys


def symbol_rules(path):
    """{function start: (end, [(address, {name: rule})])} from STACK CFI."""
    functions = {}
    current = None
    with open(path) as f:
        for line in f:
            if not line.startswith("STACK CFI "):
                continue
            words = line.split()
            if words[2] == "INIT":
                start, size = int(words[3], 16), int(words[4], 16)
                current = functions[start] = (start + size, [(start, parse_rules(words[5:]))])
            else:
                current[1].append((int(words[2], 16), parse_rules(words[3:])))
    return functions


def parse_rules(words):
    rules, name = {}, None
    for word in words:
        if word.endswith(":"):
            name = word[:-1]
            rules[name] = []
        else:
            rules[name].append(word)
    return {name: " ".join(value) for name, value in rules.items()}


def rules_at(functions, starts, address):
    import bisect
    i = bisect.bisect_right(starts, address) - 1
    if i < 0:
        return None
    end, rows = functions[starts[i]]
    if address >= end:
        return None
    rules = {}
    for row_address, row in rows:
        if row_address <= address:
            rules.update(row)
    return rules


def dump_rows(objdump, program):
    """(address, {column: text}) for every row of every FDE's table."""
    text = subprocess.run([objdump, "--dwarf=frames-interp", program], check=True,
                          capture_output=True, text=True).stdout
    columns = None
    in_fde = False
    for line in text.splitlines():
        if " FDE " in line:
            in_fde, columns = True, None
        elif " CIE " in line or not line.strip():
            in_fde = in_fde and bool(line.strip())
        elif in_fde and line.split()[0] == "LOC":
            columns = line.split()
        elif in_fde and columns and re.match(r"^[0-9a-f]{8} ", line):
            values = line.split()
            yield int(values[0], 16), dict(zip(columns[1:], values[1:]))


def expected(column, value):
    """The symbol file's rule text for one cell of the table; None: no rule
    or one that leaves the register as it is."""
    if value in ("u", "s"):
        return None
    if column == "CFA":
        m = re.fullmatch(r"([a-z]+)([+-]\d+)", value)
        return f"${m.group(1)} {int(m.group(2))} +" if m else value
    m = re.fullmatch(r"c([+-]\d+)", value)
    if m:
        return f".cfa {int(m.group(1))} + ^"
    m = re.fullmatch(r"v([+-]\d+)", value)
    if m:
        return f".cfa {int(m.group(1))} +"
    if value in ("exp", "vexp"):
        return value
    return "$" + value


def agrees(want, have, name):
    if want is None:
        return have is None or have == name
    if want == "exp":
        return have is not None and have.endswith(" ^") and not re.fullmatch(r"\.cfa -?\d+ \+ \^", have)
    if want == "vexp":
        return have is not None and not have.endswith(" ^")
    return want == have


def main():
    objdump, program, symbols = sys.argv[1:4]
    stride = int(sys.argv[4]) if len(sys.argv) > 4 else 1
    header = subprocess.run([objdump, "-p", program], check=True, capture_output=True, text=True).stdout
    image_base = int(re.search(r"^ImageBase\s+([0-9a-fA-F]+)", header, re.M).group(1), 16)
    functions = symbol_rules(symbols)
    starts = sorted(functions)
    passed = failed = missing = 0
    for n, (address, row) in enumerate(dump_rows(objdump, program)):
        if n % stride:
            continue
        rules = rules_at(functions, starts, address - image_base)
        if rules is None:
            missing += 1
            continue
        problems = []
        for column, value in row.items():
            name = {"CFA": ".cfa", "ra": ".ra"}.get(column, "$" + column)
            if not agrees(expected(column, value), rules.get(name), name):
                problems.append(f"{column}={value} but {name}: {rules.get(name)}")
        for name, rule in rules.items():
            column = {".cfa": "CFA", ".ra": "ra"}.get(name, name[1:])
            if column not in row and rule != name:
                problems.append(f"{name}: {rule} but the table has no rule")
        if problems:
            failed += 1
            if failed <= 20:
                print(f"{address:08x}: " + "; ".join(problems))
        else:
            passed += 1
    # Functions the writer leaves out are the ones whose rules have no
    # postfix form; there must be few.
    print(f"rows without records: {missing}")
    if missing > (passed + failed) // 100:
        failed += missing
    print(f"{passed} passed, {failed} failed")
    return 0 if failed == 0 and passed > 0 else 1


if __name__ == "__main__":
    sys.exit(main())
