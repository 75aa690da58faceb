#include "crash/disasm/testing/function_pe_file.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>

#include "crash/modules/pe_image.h"

namespace qor::test {

uint32_t LoadPeFile(const std::string& path, MappedMemory& memory) {
  std::ifstream in(path, std::ios::binary);
  const std::vector<uint8_t> file{std::istreambuf_iterator<char>(in), {}};
  MappedMemory raw;
  raw.Map(0, file);
  const uint32_t nt = NtHeaders(raw, 0);
  uint32_t base = 0, headers = 0, count = 0, first = 0;
  if (!nt || !ReadU32(raw, nt + 52, base) || !ReadU32(raw, nt + 84, headers) ||
      headers > file.size() || !SectionTable(raw, nt, count, first))
    return 0;
  memory.Map(base, std::vector<uint8_t>(file.begin(), file.begin() + headers), 0x02, 0x1000000,
             base);
  for (uint32_t i = 0; i < count; ++i) {
    SectionHeader s;
    if (!ReadSection(raw, nt, i, s) || s.raw_pointer > file.size()) return 0;
    std::vector<uint8_t> bytes((std::max(s.virtual_size, s.raw_size) + 0xFFF) & ~0xFFFu);
    const size_t take = std::min<size_t>(s.raw_size, file.size() - s.raw_pointer);
    std::copy_n(file.begin() + s.raw_pointer, take, bytes.begin());
    memory.Map(base + s.virtual_address, std::move(bytes), 0x20, 0x1000000, base);
  }
  return base;
}

std::string CommandOutput(const std::string& command) {
  std::string out;
  std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
  if (!pipe) return out;
  char buffer[65536];
  while (size_t got = fread(buffer, 1, sizeof buffer, pipe.get())) out.append(buffer, got);
  return out;
}

std::vector<Symbol> SymbolsOfKinds(const std::string& nm_output, const char* kinds) {
  std::vector<Symbol> symbols;
  size_t at = 0;
  while (at < nm_output.size()) {
    size_t end = nm_output.find('\n', at);
    if (end == std::string::npos) end = nm_output.size();
    unsigned address = 0;
    char kind = 0;
    char name[512];
    if (std::sscanf(nm_output.c_str() + at, "%x %c %511s", &address, &kind, name) == 3 &&
        std::strchr(kinds, kind))
      symbols.push_back({name, address});
    at = end + 1;
  }
  return symbols;
}

std::vector<Symbol> CodeSymbols(const std::string& nm_output) { return SymbolsOfKinds(nm_output, "Tt"); }

}  // namespace qor::test
