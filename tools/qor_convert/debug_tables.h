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
// external name is preferred over a local alias). Segments: one per
// contiguous run of a compilation unit's line sequences, named after the
// unit's source file. Lines: one record per address, the last row at that
// address winning. False, with `error` set, when the DWARF cannot be read.
bool BuildDebugTables(const PeFile& pe, CompactTables& tables, std::string& error);

// Total size of the file's DWARF sections (".debug_*").
uint64_t DwarfSize(const PeFile& pe);

}  // namespace qor::convert
