// qor_convert INPUT OUTPUT [--stats]
// qor_convert --companion INPUT OUTPUT.qor
// Reads a linked 32-bit MinGW program built with DWARF line information,
// writes its functions, units and lines in the compact format and stores
// them as resource QOR/EXCEPT of OUTPUT, which carries no DWARF. INPUT and
// OUTPUT may be the same file. With --companion the program is left as it
// is and the compact data goes to the companion file beside it instead
// (for programs that keep their DWARF for another tool).
#include <cstdio>
#include <cstring>
#include <string>

#include "crash/debuginfo/compact_writer.h"
#include "tools/qor_convert/debug_tables.h"
#include "tools/qor_convert/file_bytes.h"
#include "tools/qor_convert/pe_embed.h"

namespace {

int Fail(const std::string& what) {
  std::fprintf(stderr, "qor_convert: %s\n", what.c_str());
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace qor::convert;
  const bool companion = argc == 4 && std::strcmp(argv[1], "--companion") == 0;
  if (companion) ++argv;
  if (argc < 3 || (argc == 4 && !companion && std::strcmp(argv[3], "--stats") != 0) || argc > 4) {
    return Fail("usage: qor_convert INPUT OUTPUT [--stats] | qor_convert --companion INPUT OUTPUT");
  }
  std::vector<uint8_t> bytes;
  if (!LoadFile(argv[1], bytes)) return Fail(std::string("cannot read ") + argv[1]);
  PeFile pe;
  std::string error;
  if (!pe.Parse(std::move(bytes), error)) return Fail(std::string(argv[1]) + ": " + error);
  qor::CompactTables tables;
  if (!BuildDebugTables(pe, tables, error)) return Fail(std::string(argv[1]) + ": " + error);
  // The key parts tie a companion file to this build; the link time stamp
  // and the entry point are what tell two builds apart.
  const uint32_t stamp = Get32(pe.bytes(), pe.nt_offset() + 8);
  const std::vector<uint8_t> compact =
      qor::WriteCompact(tables, {3, stamp, pe.entry_point_rva(), false});
  if (compact.empty()) return Fail("packing the debug information failed");
  if (companion) {
    return SaveFile(argv[2], compact) ? 0 : Fail(std::string("cannot write ") + argv[2]);
  }
  std::vector<uint8_t> output;
  if (!EmbedDebugInfo(pe, compact, output, error)) return Fail(std::string(argv[1]) + ": " + error);
  if (!SaveFile(argv[2], output)) return Fail(std::string("cannot write ") + argv[2]);
  if (argc == 4) {
    const uint64_t dwarf = DwarfSize(pe);
    std::printf("%zu units, %zu functions, %zu line records\n", tables.segments.size(),
                tables.publics.size(), tables.lines.size());
    std::printf("compact resource %zu bytes, DWARF sections %llu bytes, ratio 1:%.1f\n",
                compact.size(), static_cast<unsigned long long>(dwarf),
                compact.empty() ? 0.0 : double(dwarf) / double(compact.size()));
  }
  return 0;
}
