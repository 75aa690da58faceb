// qor_addr2line_check PROGRAM [SAMPLES]
// An independent check of the converter against the tool chain: for
// addresses spread over the first code section of an unstripped 32-bit PE
// file with DWARF, what the compact information gives (written and read
// back through the real format) must agree with what the tool chain's
// addr2line reads from the same file:
// - location: our unit and line equal the base name of the file and the
//   line of addr2line's outermost location (the function really called);
// - inline chain: our inlined functions, innermost first, with file and
//   line, equal addr2line's inner levels;
// - function: our function's name equals addr2line's outermost function,
//   demangled by the tool chain's c++filt.
// Where there is no line, we must give neither a line nor an inline chain.
// Whether an address has line information at all is asked of a second
// reader of the same line table, llvm-symbolizer: addr2line also answers
// for bytes that no line-table row covers (padding between functions,
// functions written in assembly), taking the location of some other
// function, and those answers are no measure. Addresses without a line
// are counted apart. Prints the figures and the differences; fails when
// any agreement is below 99.5 %.
#include <cstdio>
#include <cstdlib>
#include <unistd.h>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "crash/debuginfo/compact_reader.h"
#include "crash/debuginfo/compact_writer.h"
#include "tools/qor_convert/debug_tables.h"
#include "tools/qor_convert/dwarf_cursor.h"
#include "tools/qor_convert/file_bytes.h"
#include "tools/qor_convert/symbol_names.h"

namespace {

using namespace qor::convert;

constexpr double kRequired = 99.5;
constexpr int kShownDifferences = 15;

struct Level {
  std::string function;  // readable; empty when unknown
  std::string file;      // base name
  int32_t line = 0;      // 0 when unknown
};

// addr2line's answer for one address: innermost level first, the
// function really called last.
using Answer = std::vector<Level>;

struct PipeCloser {
  void operator()(std::FILE* pipe) const { pclose(pipe); }
};

std::string TempPath(const char* name) {
  return (std::filesystem::temp_directory_path() / (name + std::to_string(getpid()))).string();
}

// Standard output of `command` with `input` as its standard input.
std::vector<std::string> RunFilter(const std::string& command, const std::vector<std::string>& input) {
  const std::string list = TempPath("qor_addr2line_input");
  {
    std::ofstream out(list);
    for (const std::string& line : input) out << line << "\n";
  }
  std::vector<std::string> lines;
  std::unique_ptr<std::FILE, PipeCloser> pipe(popen((command + " < '" + list + "'").c_str(), "r"));
  if (pipe) {
    char buffer[8192];
    while (std::fgets(buffer, sizeof buffer, pipe.get())) {
      std::string text(buffer);
      while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
      lines.push_back(text);
    }
  }
  std::filesystem::remove(list);
  return lines;
}

// "path/file.c:123 (discriminator 2)" gives file.c and 123; "??:0" and
// "file:?" give no line.
Level Location(std::string text) {
  const size_t note = text.find(" (discriminator");
  if (note != std::string::npos) text.resize(note);
  Level level;
  const size_t colon = text.rfind(':');
  if (colon == std::string::npos) return level;
  level.file = BaseName(text.substr(0, colon));
  if (level.file == "??") level.file.clear();
  level.line = std::atoi(text.c_str() + colon + 1);
  return level;
}

std::vector<std::string> HexLines(const std::vector<uint32_t>& addresses) {
  std::vector<std::string> lines;
  char hex[16];
  for (uint32_t a : addresses) {
    std::snprintf(hex, sizeof hex, "0x%x", a);
    lines.push_back(hex);
  }
  return lines;
}

// Linkage names of stdcall functions end in "@" and the size of their
// arguments, which no report shows.
std::string WithoutStdcallSuffix(const std::string& name) {
  const size_t at = name.rfind('@');
  if (at == std::string::npos || at + 1 == name.size() ||
      name.find_first_not_of("0123456789", at + 1) != std::string::npos) {
    return name;
  }
  return name.substr(0, at);
}

// One addr2line run over all addresses ("-a" starts each answer with the
// address, "-i" lists the inline chain innermost first), then one c++filt
// run over every name it gave.
bool RunAddr2line(const std::string& program, const std::vector<uint32_t>& addresses,
                  std::vector<Answer>& answers) {
  const std::vector<std::string> lines =
      RunFilter("i686-w64-mingw32-addr2line -a -f -i -e '" + program + "'", HexLines(addresses));
  std::vector<std::string> raw_names;
  for (size_t i = 0; i < lines.size();) {
    if (lines[i].rfind("0x", 0) != 0) return false;
    Answer answer;
    for (++i; i < lines.size() && lines[i].rfind("0x", 0) != 0; i += 2) {
      if (i + 1 >= lines.size()) return false;
      Level level = Location(lines[i + 1]);
      level.function = lines[i] == "??" ? "" : WithoutStdcallSuffix(lines[i]);
      raw_names.push_back(level.function);
      answer.push_back(level);
    }
    answers.push_back(answer);
  }
  if (answers.size() != addresses.size()) return false;
  // DWARF keeps linkage names without the underscore of the symbol table.
  const std::vector<std::string> demangled =
      RunFilter("i686-w64-mingw32-c++filt --no-strip-underscore", raw_names);
  if (demangled.size() != raw_names.size()) return false;
  size_t next = 0;
  for (Answer& answer : answers) {
    for (Level& level : answer) {
      const std::string& name = demangled[next++];
      level.function = name.empty() ? "" : ReadableDemangledName(name);
    }
  }
  return true;
}

// Which addresses llvm-symbolizer finds a line-table row for.
// llvm-symbolizer reads the program named by a CodeView record of the debug
// directory instead of the DWARF, and fails when there is none; it is
// given a copy of the program without its debug directory.
bool RunLinePresence(const PeFile& pe, const std::vector<uint32_t>& addresses,
                     std::vector<bool>& has_line) {
  constexpr uint32_t kDebugEntry = 6, kDirectoryStart = 96, kEntrySize = 8;
  std::vector<uint8_t> copy = pe.bytes();
  const uint32_t optional = pe.optional_offset();
  if (Get32(copy, optional + 92) > kDebugEntry &&
      Get16(copy, pe.nt_offset() + 20) >= kDirectoryStart + (kDebugEntry + 1) * kEntrySize) {
    Set32(copy, optional + kDirectoryStart + kDebugEntry * kEntrySize, 0);
    Set32(copy, optional + kDirectoryStart + kDebugEntry * kEntrySize + 4, 0);
  }
  const std::string path = TempPath("qor_addr2line_program");
  if (!SaveFile(path, copy)) return false;
  const std::vector<std::string> lines = RunFilter(
      "llvm-symbolizer --obj='" + path + "' --no-inlines --functions=none --output-style=GNU",
      HexLines(addresses));
  std::filesystem::remove(path);
  if (lines.size() != addresses.size()) return false;
  for (const std::string& line : lines) has_line.push_back(Location(line).line > 0);
  return true;
}

// The symbol table's readable names, grouped by address. A linker keeps
// aliases (a function and another name for it), and the two sides may each
// name a different one of them.
std::map<uint32_t, std::vector<std::string>> NamesByAddress(const PeFile& pe) {
  std::map<uint32_t, std::vector<std::string>> names;
  for (const CoffSymbol& symbol : pe.symbols()) {
    if (symbol.section <= 0 || static_cast<size_t>(symbol.section) > pe.sections().size()) continue;
    const uint32_t rva = pe.sections()[symbol.section - 1].virtual_address + symbol.value;
    names[rva].push_back(ReadableSymbolName(symbol.name));
  }
  return names;
}

// Functions without a linkage name carry only their own name in the DWARF;
// they agree when that is the last part of the other name.
bool SameName(const std::string& a, const std::string& b) {
  return a == b || UnqualifiedName(a) == UnqualifiedName(b);
}

// A C function named by an assembler label has that label, underscore of
// the symbol table included, as its linkage name, which addr2line prints;
// our name is the symbol without that underscore.
bool SameFunction(const std::string& ours, const std::string& theirs) {
  return SameName(ours, theirs) ||
         (theirs.size() > 1 && theirs[0] == '_' && theirs.rfind("_Z", 0) != 0 &&
          SameName(ours, theirs.substr(1)));
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

std::string Describe(const std::vector<Level>& levels) {
  std::string text;
  for (const Level& l : levels) text += " [" + l.function + " " + l.file + ":" + std::to_string(l.line) + "]";
  return text.empty() ? " (none)" : text;
}

struct Tally {
  size_t compared = 0, agree = 0;
  int shown = 0;
  double Rate() const { return compared ? 100.0 * double(agree) / double(compared) : 100.0; }
  bool Count(bool same, const char* what, uint32_t address, const std::string& detail) {
    ++compared;
    if (same) {
      ++agree;
    } else if (shown++ < kShownDifferences) {
      std::printf("  %s differs at %08x:%s\n", what, address, detail.c_str());
    }
    return same;
  }
};

bool ReadBack(const std::vector<uint8_t>& compact, qor::TMapFile& map) {
  qor::CompactHeader header;
  return qor::ParseCompactHeader(compact, header) &&
         qor::ReadCompactPayload(qor::DecodeCompactPayload(compact, header), false, map) &&
         qor::ReadCompactInlines(compact, header, map);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: qor_addr2line_check PROGRAM [SAMPLES]\n");
    return 2;
  }
  const size_t samples = argc > 2 ? std::strtoul(argv[2], nullptr, 10) : 4000;
  const std::string program = argv[1];
  std::vector<uint8_t> bytes;
  PeFile pe;
  std::string error;
  qor::CompactTables tables;
  if (!LoadFile(program, bytes) || !pe.Parse(std::move(bytes), error) ||
      !BuildDebugTables(pe, tables, error) || !pe.FirstCodeSection()) {
    std::fprintf(stderr, "%s: cannot read: %s\n", program.c_str(), error.c_str());
    return 2;
  }
  const std::vector<uint8_t> compact = qor::WriteCompact(tables, {});
  qor::TMapFile map;
  const PeSection& code = *pe.FirstCodeSection();
  map.BaseOfCode = pe.image_base() + CodeBaseRva(pe);
  map.TopOfCode = map.BaseOfCode + code.virtual_size;
  if (!ReadBack(compact, map)) {
    std::fprintf(stderr, "the compact data does not read back\n");
    return 2;
  }
  map.Valid = true;
  map.SortLines();

  std::vector<uint32_t> addresses;
  for (size_t i = 0; i < samples; ++i) {
    addresses.push_back(map.BaseOfCode + static_cast<uint32_t>(uint64_t{code.virtual_size} * i / samples) +
                        (i * 7) % 5);
  }
  std::vector<Answer> answers;
  std::vector<bool> has_line;
  if (!RunAddr2line(program, addresses, answers) || !RunLinePresence(pe, addresses, has_line)) {
    std::fprintf(stderr, "addr2line, c++filt or llvm-symbolizer failed or answered in an unexpected shape\n");
    return 2;
  }
  const auto aliases = NamesByAddress(pe);
  Tally locations, chains, names;
  size_t no_line = 0, no_line_ours = 0, invented = 0, in_inlined_code = 0;
  std::printf("%s\n", program.c_str());
  for (size_t i = 0; i < addresses.size(); ++i) {
    const uint32_t address = addresses[i];
    const Answer& answer = answers[i];
    const std::string unit = map.SegmentAt(qor::SymbolKind::kCode, address).UnitName;
    const int32_t line = std::max(map.LineAt(address), 0);
    if (!has_line[i]) {
      ++no_line;
      if (line > 0 || !map.Inlines.At(address).empty()) ++no_line_ours;
      if (!answer.empty() && answer.front().line > 0) ++invented;
      continue;
    }
    const Level& outer = answer.back();
    locations.Count(unit == outer.file && line == outer.line, "location", address,
                    " ours " + unit + ":" + std::to_string(line) + ", addr2line " + outer.file + ":" +
                        std::to_string(outer.line));
    std::vector<Level> ours;
    for (const qor::InlineFrame& f : map.Inlines.At(address)) ours.push_back({f.function, f.unit, f.line});
    const std::vector<Level> theirs(answer.begin(), answer.end() - 1);
    if (!theirs.empty()) ++in_inlined_code;
    bool same_chain = ours.size() == theirs.size();
    for (size_t k = 0; same_chain && k < ours.size(); ++k) {
      same_chain = SameFunction(ours[k].function, theirs[k].function) && ours[k].file == theirs[k].file &&
                   ours[k].line == theirs[k].line;
    }
    chains.Count(same_chain, "inline chain", address, " ours" + Describe(ours) + ", addr2line" + Describe(theirs));
    if (!outer.function.empty()) {
      const std::string function = map.PublicAt(address).Name;
      names.Count(SameFunction(function, outer.function) || AreAliases(aliases, function, outer.function),
                  "function", address, " ours '" + function + "', addr2line '" + outer.function + "'");
    }
  }
  std::printf("  %zu addresses, %zu with a line (%zu in inlined code): locations agree %zu "
              "(%.2f %%), inline chains %zu (%.2f %%), functions %zu of %zu (%.2f %%)\n",
              addresses.size(), locations.compared, in_inlined_code, locations.agree,
              locations.Rate(), chains.agree, chains.Rate(), names.agree, names.compared,
              names.Rate());
  const double quiet = no_line ? 100.0 * double(no_line - no_line_ours) / double(no_line) : 100.0;
  std::printf("  without a line: %zu, of which we give nothing for %zu (%.2f %%); addr2line gives "
              "a line for %zu\n",
              no_line, no_line - no_line_ours, quiet, invented);
  std::printf("  compact data %zu bytes, DWARF sections %llu bytes, ratio 1:%.1f\n", compact.size(),
              static_cast<unsigned long long>(DwarfSize(pe)), double(DwarfSize(pe)) / double(compact.size()));
  const bool pass = locations.Rate() >= kRequired && chains.Rate() >= kRequired &&
                    names.Rate() >= kRequired && quiet >= kRequired;
  return pass ? 0 : 1;
}
