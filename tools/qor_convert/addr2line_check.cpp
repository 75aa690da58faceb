// qor_addr2line_check PROGRAM [SAMPLES]
// An independent check of the converter: for addresses spread over the code
// of an unstripped MinGW program, the function and line that the compact
// tables give must agree with what the tool chain's addr2line reads from the
// DWARF of the same file. Prints the agreement rates, every difference and
// the sizes; fails below 100 % for functions or 99 % for lines.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "crash/debuginfo/compact_reader.h"
#include "crash/debuginfo/compact_writer.h"
#include "tools/qor_convert/debug_tables.h"
#include "tools/qor_convert/file_bytes.h"
#include "tools/qor_convert/symbol_names.h"

namespace {

using namespace qor::convert;

struct Expected {
  std::string function;  // outermost function, readable; empty when unknown
  int32_t line = 0;      // innermost line; 0 when unknown
};

struct PipeCloser {
  void operator()(std::FILE* pipe) const { pclose(pipe); }
};

int32_t LineOf(const std::string& location) {
  const size_t colon = location.rfind(':');
  if (colon == std::string::npos) return 0;
  return std::atoi(location.c_str() + colon + 1);
}

// One addr2line run over all addresses: "-a" starts each answer with the
// address, "-i" lists the inline chain innermost first.
bool RunAddr2line(const std::string& program, const std::vector<uint32_t>& addresses,
                  std::vector<Expected>& expected) {
  const std::string list = (std::filesystem::temp_directory_path() / "qor_addr2line_input").string();
  {
    std::ofstream out(list);
    for (uint32_t a : addresses) out << std::hex << "0x" << a << "\n";
  }
  const std::string command = "i686-w64-mingw32-addr2line -a -f -i -e '" + program + "' < '" + list + "'";
  std::unique_ptr<std::FILE, PipeCloser> pipe(popen(command.c_str(), "r"));
  if (!pipe) return false;
  std::vector<std::string> lines;
  char buffer[4096];
  while (std::fgets(buffer, sizeof buffer, pipe.get())) {
    std::string text(buffer);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    lines.push_back(text);
  }
  std::filesystem::remove(list);
  for (size_t i = 0; i < lines.size();) {
    if (lines[i].rfind("0x", 0) != 0) return false;
    Expected e;
    bool first = true;
    for (++i; i + 1 < lines.size() + 1 && i < lines.size() && lines[i].rfind("0x", 0) != 0; i += 2) {
      if (i + 1 >= lines.size()) return false;
      // Raw DWARF names: C++ linkage names lack the underscore that the
      // program's own symbols carry.
      e.function = lines[i] == "??" ? "" : ReadableSymbolName("_" + lines[i]);
      if (first) e.line = LineOf(lines[i + 1]);
      first = false;
    }
    expected.push_back(e);
  }
  return expected.size() == addresses.size();
}

}  // namespace

// The symbol table's readable names, grouped by address. A linker keeps
// aliases (a function and another name for it), and the two sides may each
// name a different one of them.
std::map<uint32_t, std::vector<std::string>> NamesByAddress(const PeFile& pe) {
  std::map<uint32_t, std::vector<std::string>> names;
  for (const CoffSymbol& symbol : pe.symbols()) {
    if (symbol.section <= 0 || static_cast<size_t>(symbol.section) > pe.sections().size()) continue;
    uint32_t rva = pe.sections()[symbol.section - 1].virtual_address + symbol.value;
    names[rva].push_back(ReadableSymbolName(symbol.name));
  }
  return names;
}

bool SameName(const std::string& a, const std::string& b) {
  return a == b || UnqualifiedName(a) == UnqualifiedName(b);
}

bool AreAliases(const std::map<uint32_t, std::vector<std::string>>& names, const std::string& a,
                const std::string& b) {
  for (const auto& [rva, at] : names) {
    bool has_a = false, has_b = false;
    for (const std::string& name : at) {
      has_a = has_a || SameName(name, a);
      has_b = has_b || SameName(name, b);
    }
    if (has_a && has_b) return true;
  }
  return false;
}

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: qor_addr2line_check PROGRAM [SAMPLES]\n");
    return 2;
  }
  const size_t samples = argc > 2 ? std::strtoul(argv[2], nullptr, 10) : 2500;
  std::vector<uint8_t> bytes;
  PeFile pe;
  std::string error;
  qor::CompactTables tables;
  if (!LoadFile(argv[1], bytes) || !pe.Parse(std::move(bytes), error) ||
      !BuildDebugTables(pe, tables, error) || !pe.FirstCodeSection()) {
    std::fprintf(stderr, "%s: cannot read: %s\n", argv[1], error.c_str());
    return 2;
  }
  // Through the real format: write it, then read it as the program would.
  const std::vector<uint8_t> compact = qor::WriteCompact(tables, {});
  qor::TMapFile map;
  const PeSection& code = *pe.FirstCodeSection();
  map.BaseOfCode = pe.image_base() + CodeBaseRva(pe);
  map.TopOfCode = map.BaseOfCode + code.virtual_size;
  qor::CompactHeader header;
  if (!qor::ParseCompactHeader(compact, header) ||
      !qor::ReadCompactPayload(qor::DecodeCompactPayload(compact, header), false, map)) {
    std::fprintf(stderr, "the compact data does not read back\n");
    return 2;
  }
  map.Valid = true;
  map.SortLines();

  std::vector<uint32_t> addresses;
  for (size_t i = 0; i < samples; ++i) {
    addresses.push_back(map.BaseOfCode + static_cast<uint32_t>(uint64_t{code.virtual_size} * i / samples) + (i * 7) % 5);
  }
  std::vector<Expected> expected;
  if (!RunAddr2line(argv[1], addresses, expected)) {
    std::fprintf(stderr, "addr2line failed or answered in an unexpected shape\n");
    return 2;
  }
  const auto aliases = NamesByAddress(pe);
  size_t named = 0, names_agree = 0, lines_agree = 0;
  for (size_t i = 0; i < addresses.size(); ++i) {
    const std::string ours = map.PublicAt(addresses[i]).Name;
    const int32_t line = std::max(map.LineAt(addresses[i]), 0);
    const Expected& e = expected[i];
    if (!e.function.empty()) {
      ++named;
      // Functions without a linkage name carry only their own name in the
      // DWARF; they agree when that is the last part of ours.
      if (SameName(ours, e.function) || AreAliases(aliases, ours, e.function)) ++names_agree;
      else std::printf("function differs at %08x: ours '%s', addr2line '%s'\n", addresses[i], ours.c_str(), e.function.c_str());
    }
    if (line == e.line) ++lines_agree;
    else std::printf("line differs at %08x (%s): ours %d, addr2line %d\n", addresses[i], ours.c_str(), line, e.line);
  }
  const double name_rate = named ? 100.0 * double(names_agree) / double(named) : 100.0;
  const double line_rate = 100.0 * double(lines_agree) / double(addresses.size());
  std::printf("%zu addresses: functions agree %zu of %zu named by addr2line (%.2f %%), lines agree %zu (%.2f %%)\n",
              addresses.size(), names_agree, named, name_rate, lines_agree, line_rate);
  std::printf("compact resource %zu bytes, DWARF sections %llu bytes, ratio 1:%.1f\n", compact.size(),
              static_cast<unsigned long long>(DwarfSize(pe)), double(DwarfSize(pe)) / double(compact.size()));
  return names_agree == named && line_rate >= 99.0 ? 0 : 1;
}
