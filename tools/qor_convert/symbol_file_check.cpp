// qor_symbol_file_check INPUT [SYMBOLS]
// Checks the symbol file written for INPUT against the compact debug
// information made from the same program, read back as the crash report
// reads it: every FUNC record names the function that the store finds at
// its first and last address, and every line record gives, at its first
// and last address, the line and unit the store gives there. Prints
// "N passed, M failed" (one per record) and the first failures.
// Programs without a CodeView record (Wine's DLLs) get a placeholder id.
// The checked text is written to SYMBOLS when given, for the STACK CFI check.
#include <cstdio>
#include <map>
#include <sstream>

#include "crash/debuginfo/compact_reader.h"
#include "crash/modules/pe_image.h"
#include "tools/qor_convert/debug_tables.h"
#include "tools/qor_convert/file_bytes.h"
#include "tools/qor_convert/symbol_file.h"

namespace {

using namespace qor::convert;

int failed = 0, passed = 0;

void Expect(bool ok, const std::string& what) {
  ok ? ++passed : ++failed;
  if (!ok && failed <= 20) std::printf("mismatch: %s\n", what.c_str());
}

void Check(const std::string& symbols, const qor::TMapFile& map) {
  std::istringstream in(symbols);
  std::map<int, std::string> files;
  std::string line, function;
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    std::string kind;
    fields >> kind;
    if (kind == "FILE") {
      int number = 0;
      fields >> number >> std::ws;
      std::getline(fields, files[number]);
    } else if (kind == "FUNC") {
      uint32_t address = 0, size = 0, params = 0;
      fields >> std::hex >> address >> size >> params >> std::ws;
      std::getline(fields, function);
      const qor::TMfPublic first = map.PublicAt(address), last = map.PublicAt(address + size - 1);
      Expect(first.Valid && first.Name == function && first.Address == address &&
                 last.Address == address,
             line + " / store: " + first.Name + " and " + last.Name);
    } else if (!kind.empty() && std::isxdigit(static_cast<unsigned char>(kind[0]))) {
      const uint32_t address = static_cast<uint32_t>(std::stoul(kind, nullptr, 16));
      uint32_t size = 0;
      int number = 0, file = 0;
      fields >> std::hex >> size >> std::dec >> number >> file;
      const qor::TMfSegment unit = map.SegmentAt(qor::SymbolKind::kCode, address);
      Expect(map.LineAt(address) == number && map.LineAt(address + size - 1) == number &&
                 unit.Valid && unit.UnitName == files[file],
             line + " in " + function + " / store: line " + std::to_string(map.LineAt(address)) +
                 ".." + std::to_string(map.LineAt(address + size - 1)) + " of " + unit.UnitName);
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2 && argc != 3) {
    std::fprintf(stderr, "usage: qor_symbol_file_check INPUT [SYMBOLS]\n");
    return 2;
  }
  std::vector<uint8_t> bytes;
  PeFile pe;
  qor::CompactTables tables;
  std::vector<CfiFunction> frames;
  std::string error;
  if (!LoadFile(argv[1], bytes) || !pe.Parse(std::move(bytes), error) ||
      !BuildDebugTables(pe, tables, error) || !ReadEhFrame(pe, frames, error)) {
    std::fprintf(stderr, "%s: cannot read: %s\n", argv[1], error.c_str());
    return 2;
  }
  SymbolModule module{"check.pdb", "0", CodeBaseRva(pe), 0};
  for (const PeSection& s : pe.sections()) {
    if (s.characteristics & qor::kSectionCode) module.code_end = std::max(module.code_end, s.virtual_address + s.virtual_size);
  }
  // The store reads what the program would carry, at image base 0.
  qor::TMapFile map;
  map.BaseOfCode = module.code_base;
  map.TopOfCode = module.code_end;
  if (!qor::ReadCompactPayload(qor::EncodeCompactPayload(tables, false), false, map)) {
    std::fprintf(stderr, "%s: the compact payload does not read back\n", argv[1]);
    return 2;
  }
  map.SortSegments();
  map.SortLines();
  map.Valid = true;
  const std::string symbols = WriteBreakpadSymbols(module, tables, frames);
  if (argc == 3 && !SaveFile(argv[2], std::vector<uint8_t>(symbols.begin(), symbols.end()))) {
    std::fprintf(stderr, "cannot write %s\n", argv[2]);
    return 2;
  }
  Check(symbols, map);
  std::printf("%d passed, %d failed\n", passed, failed);
  return failed == 0 && passed > 0 ? 0 : 1;
}
