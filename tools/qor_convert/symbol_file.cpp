#include "tools/qor_convert/symbol_file.h"

#include <algorithm>

#include "crash/modules/debug_id.h"
#include "crash/modules/pe_image.h"
#include "tools/qor_convert/debug_tables.h"
#include "tools/qor_convert/eh_frame.h"
#include "tools/qor_convert/pe_image_view.h"

namespace qor::convert {

bool BuildSymbolFile(const PeFile& pe, SymbolModule& module, std::string& text, std::string& error) {
  CodeViewRecord record;
  if (!ReadCodeViewRecord(PeImageView(pe), 0, record) || DebugFileName(record).empty()) {
    error = "no CodeView record naming a debug file (link with --build-id and --pdb)";
    return false;
  }
  module.debug_file = DebugFileName(record);
  module.debug_id = DebugIdText(record);
  module.code_base = CodeBaseRva(pe);
  module.code_end = 0;
  for (const PeSection& s : pe.sections()) {
    if (s.characteristics & kSectionCode) module.code_end = std::max(module.code_end, s.virtual_address + s.virtual_size);
  }
  CompactTables tables;
  std::vector<CfiFunction> frames;
  if (!BuildDebugTables(pe, tables, error)) return false;
  if (tables.lines.empty()) {
    error = "no DWARF line information (built without -g, or already stripped)";
    return false;
  }
  if (!ReadEhFrame(pe, frames, error)) {
    error = ".eh_frame: " + error;
    return false;
  }
  text = WriteBreakpadSymbols(module, tables, frames);
  return true;
}

}  // namespace qor::convert
