#!/bin/sh
# check_symbol_file.sh CHECK OBJDUMP PROGRAM
# Both checks of the symbol file written for PROGRAM: its FUNC and line
# records against the compact information, its STACK CFI records against
# the binutils dump of .eh_frame. Skipped (77) when PROGRAM is not there,
# as before the Windows tree is built.
set -e
[ -f "$3" ] || exit 77
symbols=$(mktemp)
trap 'rm -f "$symbols"' EXIT
"$1" "$3" "$symbols"
python3 "$(dirname "$0")/check_stack_cfi.py" "$2" "$3" "$symbols"
