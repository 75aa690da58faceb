// The debug-information converter over a program's bytes: the PE reader,
// the DWARF line and info readers, the tables built from them, the compact
// writer, the symbol file's function, line and inline records, and the
// rewriting of the program around its new resource. Seeded
// with real programs built by the tool chain (see convert.cmake), whose
// mutations reach deep into the DWARF.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "crash/debuginfo/compact_writer.h"
#include "crash/modules/pe_image.h"
#include "tools/qor_convert/breakpad_symbols.h"
#include "tools/qor_convert/debug_tables.h"
#include "tools/qor_convert/pe_embed.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  qor::convert::PeFile pe;
  std::string error;
  if (!pe.Parse(std::vector<uint8_t>(data, data + size), error)) return 0;
  qor::CompactTables tables;
  if (!qor::convert::BuildDebugTables(pe, tables, error)) return 0;
  qor::convert::SymbolModule module{"fuzz.pdb", "0", qor::convert::CodeBaseRva(pe), 0};
  for (const qor::convert::PeSection& s : pe.sections()) {
    if (s.characteristics & qor::kSectionCode) module.code_end = std::max(module.code_end, s.virtual_address + s.virtual_size);
  }
  qor::convert::WriteBreakpadSymbols(module, tables, {});
  const std::vector<uint8_t> compact = qor::WriteCompact(tables, {3, 1, 2, false});
  std::vector<uint8_t> output;
  qor::convert::EmbedDebugInfo(pe, compact, output, error);
  return 0;
}
