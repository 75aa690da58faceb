// The symbol file of one linked program, from its DWARF lines and symbols
// (through the compact tables), its .eh_frame and its CodeView record.
#pragma once

#include <string>

#include "tools/qor_convert/breakpad_symbols.h"
#include "tools/qor_convert/pe_file.h"

namespace qor::convert {

// Fills `module` and `text`. False, with `error` set, when the program has
// no CodeView record naming a debug file (it was linked without a build
// id), it has no DWARF line information, or its DWARF or call-frame
// information cannot be read.
bool BuildSymbolFile(const PeFile& pe, SymbolModule& module, std::string& text, std::string& error);

}  // namespace qor::convert
