// The compact tables of a linked MinGW program: functions from its COFF
// symbols, units and lines from its DWARF line programs.
#pragma once

#include <string>

#include "crash/debuginfo/compact_writer.h"
#include "tools/qor_convert/pe_file.h"

namespace qor::convert {

// RVA that the reader adds to every stored address: the first section's
// when it is code, else BaseOfCode of the optional header.
uint32_t CodeBaseRva(const PeFile& pe);

// Publics: one per address of a function symbol in a code section (an
// external name is preferred over a local alias). Units, segments and
// lines give, for every address with line information, the outermost
// location: the file and line in the function that was really called
// (for inlined code, its call there). A segment is a run of code from one
// file, named after that file. The inline ranges keep the chain of inlined
// functions. False, with `error` set, when the DWARF cannot be read.
bool BuildDebugTables(const PeFile& pe, CompactTables& tables, std::string& error);

// Total size of the file's DWARF sections (".debug_*").
uint64_t DwarfSize(const PeFile& pe);

}  // namespace qor::convert
