// qor_symbol_file_check INPUT [SYMBOLS]
// Checks the symbol file written for INPUT against the compact debug
// information made from the same program, read back as the crash report
// reads it: every FUNC record names the function that the store finds at
// its first and last address; every line record gives, at its first and
// last address, the line and file the store gives there (in inlined code,
// those of the innermost inlined function); every INLINE record names, at
// its first and last address, the inlined function of its level and the
// place of its call; and wherever the store's chain of inlined functions
// changes inside a line record, as many INLINE records cover the address as
// the chain is long. Prints "N passed, M failed" (one per record and chain)
// and the first failures.
// Programs without a CodeView record (Wine's DLLs) get a placeholder id.
// The checked text is written to SYMBOLS when given, for the STACK CFI check.
#include <algorithm>
#include <climits>
#include <cstdio>
#include <map>
#include <sstream>

#include "crash/debuginfo/compact_format.h"
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

// Where execution stands at `address` as the line records must give it:
// in the innermost inlined function, else in the real one.
std::pair<int, std::string> PlaceAt(const qor::TMapFile& map, uint32_t address) {
  const std::vector<qor::InlineFrame> chain = map.Inlines.At(address);
  if (!chain.empty()) return {chain.front().line, chain.front().unit};
  return {map.LineAt(address), map.SegmentAt(qor::SymbolKind::kCode, address).UnitName};
}

std::string Place(const std::pair<int, std::string>& place) {
  return place.second + ":" + std::to_string(place.first);
}

// The function of nesting `level` (0 outermost) at `address` and the place
// of its call, as an INLINE record must give them; false when the chain
// there is not that deep.
bool InlinedCallAt(const qor::TMapFile& map, uint32_t address, size_t level, std::string& function,
                   std::pair<int, std::string>& call) {
  const std::vector<qor::InlineFrame> chain = map.Inlines.At(address);
  const size_t depth = chain.size();
  if (level >= depth) return false;
  function = chain[depth - 1 - level].function;
  if (function.empty()) function = "<unnamed>";
  call = level == 0 ? std::pair<int, std::string>{map.LineAt(address),
                                                  map.SegmentAt(qor::SymbolKind::kCode, address).UnitName}
                    : std::pair<int, std::string>{chain[depth - level].line, chain[depth - level].unit};
  return true;
}

void CheckInline(const std::string& line, std::istringstream& fields, const qor::TMapFile& map,
                 std::map<int, std::string>& files, std::map<int, std::string>& origins,
                 std::vector<std::pair<uint32_t, int>>& depth_steps) {
  size_t level = 0;
  int call_line = 0, call_file = 0, origin = 0;
  fields >> level >> call_line >> call_file >> origin;
  bool ok = !fields.fail();
  std::string detail;
  uint32_t begin = 0, size = 0;
  int ranges = 0;
  while (fields >> std::hex >> begin >> size) {
    ++ranges;
    depth_steps.emplace_back(begin, 1);
    depth_steps.emplace_back(begin + size, -1);
    for (const uint32_t at : {begin, begin + size - 1}) {
      std::string function;
      std::pair<int, std::string> call;
      const bool found = size > 0 && InlinedCallAt(map, at, level, function, call);
      ok = ok && found && function == origins[origin] && call == std::pair{call_line, files[call_file]};
      if (found && detail.empty()) detail = " / store: " + function + " called at " + Place(call);
    }
  }
  Expect(ok && ranges > 0, line + detail);
}

// Every place inside a line record where the store's chain changes is
// covered by as many INLINE records as the chain is long.
void CheckChainDepths(const qor::TMapFile& map, const std::vector<uint32_t>& chain_starts,
                      std::vector<std::pair<uint32_t, int>> depth_steps) {
  std::sort(depth_steps.begin(), depth_steps.end());
  std::vector<std::pair<uint32_t, int>> depth_after;  // address, depth from there on
  int depth = 0;
  for (const auto& [address, step] : depth_steps) {
    depth += step;
    if (!depth_after.empty() && depth_after.back().first == address) depth_after.back().second = depth;
    else depth_after.emplace_back(address, depth);
  }
  for (const uint32_t at : chain_starts) {
    auto it = std::upper_bound(depth_after.begin(), depth_after.end(), std::pair{at, INT32_MAX});
    const int covered = it == depth_after.begin() ? 0 : std::prev(it)->second;
    const size_t want = map.Inlines.At(at).size();
    Expect(covered == static_cast<int>(want), "INLINE records covering " + std::to_string(at) + ": " +
                                                  std::to_string(covered) + ", chain of " + std::to_string(want));
  }
}

void Check(const std::string& symbols, const qor::TMapFile& map, const qor::CompactTables& tables) {
  std::istringstream in(symbols);
  std::map<int, std::string> files, origins;
  std::vector<std::pair<uint32_t, int>> depth_steps;
  std::vector<uint32_t> chain_starts;
  std::string line, function;
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    std::string kind;
    fields >> kind;
    if (kind == "FILE" || kind == "INLINE_ORIGIN") {
      int number = 0;
      fields >> number >> std::ws;
      std::getline(fields, (kind == "FILE" ? files : origins)[number]);
    } else if (kind == "INLINE") {
      CheckInline(line, fields, map, files, origins, depth_steps);
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
      const std::pair<int, std::string> want{number, files[file]};
      Expect(PlaceAt(map, address) == want && PlaceAt(map, address + size - 1) == want,
             line + " in " + function + " / store: " + Place(PlaceAt(map, address)) + ".." +
                 Place(PlaceAt(map, address + size - 1)));
      auto r = std::lower_bound(tables.inlines.begin(), tables.inlines.end(), address - map.BaseOfCode,
                                [](const qor::CompactInlineRange& range, uint32_t at) { return range.start < at; });
      for (; r != tables.inlines.end() && map.BaseOfCode + r->start - address < size; ++r) {
        chain_starts.push_back(map.BaseOfCode + r->start);
      }
    }
  }
  CheckChainDepths(map, chain_starts, std::move(depth_steps));
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
  const std::vector<uint8_t> compact = qor::WriteCompact(tables, {});
  qor::CompactHeader header;
  if (!qor::ParseCompactHeader(compact, header) ||
      !qor::ReadCompactPayload(qor::DecodeCompactPayload(compact, header), false, map) ||
      !qor::ReadCompactInlines(compact, header, map)) {
    std::fprintf(stderr, "%s: the compact information does not read back\n", argv[1]);
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
  Check(symbols, map, tables);
  std::printf("%d passed, %d failed\n", passed, failed);
  return failed == 0 && passed > 0 ? 0 : 1;
}
