// Checks the function analysis against the compiler's own record of where
// each function lies (DWARF low/high pc and ranges, cold parts included),
// over real programs built with GCC. The test fails when a function with
// debug information is found invalid, when its analysis runs past its end
// (an area that starts inside the function, or right after it without a
// jump leading there, holds bytes beyond it), or when the share of
// functions found exactly falls below what each sample reached before.
#include <gtest/gtest.h>

#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "crash/disasm/function_info.h"
#include "crash/disasm/function_noreturn.h"
#include "crash/disasm/testing/function_pe_file.h"
#include "crash/modules/testing/mapped_memory.h"

namespace qor {
namespace {

struct Range {
  uint32_t begin, end;  // end is one past the last byte
};

struct DwarfFunction {
  std::string name;
  std::vector<Range> ranges;  // the entry first
};

std::string Quoted(const std::string& line) {
  const size_t open = line.find('"'), close = line.rfind('"');
  return open < close ? line.substr(open + 1, close - open - 1) : "";
}

// The defining subprogram entries of llvm-dwarfdump's listing.
std::vector<DwarfFunction> ReadDwarf(const std::string& exe) {
  std::vector<DwarfFunction> functions;
  const std::string text = test::CommandOutput(std::string(QOR_LLVM16_DWARFDUMP) + " --debug-info '" + exe + "'");
  DwarfFunction current;
  bool in_subprogram = false;
  uint32_t low = 0, high = 0;
  auto flush = [&] {
    if (in_subprogram && low && high > low) current.ranges.insert(current.ranges.begin(), {low, high});
    if (in_subprogram && !current.ranges.empty()) functions.push_back(current);
    current = {};
    low = high = 0;
  };
  size_t at = 0;
  while (at < text.size()) {
    size_t end = text.find('\n', at);
    if (end == std::string::npos) end = text.size();
    const std::string line = text.substr(at, end - at);
    at = end + 1;
    if (line.find("DW_TAG_") != std::string::npos) {
      flush();
      in_subprogram = line.find("DW_TAG_subprogram") != std::string::npos;
      continue;
    }
    if (!in_subprogram) continue;
    unsigned a = 0, b = 0;
    if (line.find("DW_AT_name") != std::string::npos ||
        line.find("DW_AT_spec") != std::string::npos ||
        line.find("DW_AT_abstract_origin") != std::string::npos) {
      if (current.name.empty()) current.name = Quoted(line);
    } else if (line.find("DW_AT_low_pc") != std::string::npos) {
      std::sscanf(line.c_str() + line.find('('), "(0x%x", &a);
      low = a;
    } else if (line.find("DW_AT_high_pc") != std::string::npos) {
      std::sscanf(line.c_str() + line.find('('), "(0x%x", &a);
      high = a;
    } else if (line.find('[') != std::string::npos &&
               std::sscanf(line.c_str() + line.find('['), "[0x%x, 0x%x)", &a, &b) == 2 && b > a) {
      current.ranges.push_back({a, b});
    }
  }
  flush();
  return functions;
}

// The never-returning routines among the program's symbols, and the import
// cells of those it imports (a file's imports are not bound to addresses).
std::vector<uint32_t> NeverReturning(const std::string& exe) {
  const std::vector<test::Symbol> code =
      test::SymbolsOfKinds(test::CommandOutput(std::string(QOR_NM) + " '" + exe + "'"), "TtI");
  std::vector<NamedAddress> symbols;
  for (const test::Symbol& s : code) symbols.push_back({s.name, s.address});
  return NeverReturningAddresses(symbols);
}

struct Coverage {
  int functions = 0, valid = 0, exact = 0;
  uint64_t missed = 0, padding = 0, outside_by_jump = 0, overrun = 0;
};

bool Inside(const DwarfFunction& f, uint32_t address) {
  for (const Range& r : f.ranges)
    if (address >= r.begin && address < r.end) return true;
  return false;
}

bool Claimed(const TFunctionInfo& info, uint32_t address) {
  for (const CodeArea& area : info.code_areas)
    if (address >= area.begin && address <= area.end) return true;
  return false;
}

// The stretches of the function that the analysis did not reach, for
// explaining the figures (QOR_ORACLE_VERBOSE=1).
void PrintMisses(const DwarfFunction& f, const TFunctionInfo& info) {
  std::printf("%s:", f.name.c_str());
  for (const Range& r : f.ranges)
    for (uint32_t a = r.begin; a < r.end; ++a) {
      if (Claimed(info, a)) continue;
      const uint32_t from = a;
      while (a + 1 < r.end && !Claimed(info, a + 1)) ++a;
      std::printf(" %08x-%08x", from, a);
    }
  std::printf("\n");
}

// Missed stretches of at most 15 bytes that end right before a 16-byte
// boundary: the filler the assembler puts before an aligned jump target,
// which no path executes.
uint64_t PaddingMissed(const DwarfFunction& f, const TFunctionInfo& info) {
  uint64_t padding = 0;
  for (const Range& r : f.ranges)
    for (uint32_t a = r.begin; a < r.end; ++a) {
      if (Claimed(info, a)) continue;
      const uint32_t from = a;
      while (a + 1 < r.end && !Claimed(info, a + 1)) ++a;
      if (a - from < 15 && (a + 1) % 16 == 0) padding += a - from + 1;
    }
  return padding;
}

void Measure(const DwarfFunction& f, const TFunctionInfo& info, Coverage& c,
             std::vector<std::string>& overruns) {
  uint64_t in_bytes = 0;
  bool exact = true;
  for (const CodeArea& area : info.code_areas) {
    // An area that starts inside the function and leaves it, or that
    // continues the function's own code right after its end without a jump
    // leading there, ran past its end; other outside areas were reached by
    // jumps (to code the function shares with others).
    const bool falls_out = Inside(f, area.begin) ||
                           (!area.called_from && Inside(f, area.begin - 1));
    bool overran = false;
    for (uint64_t a = area.begin; a <= area.end; ++a) {
      if (Inside(f, static_cast<uint32_t>(a))) {
        ++in_bytes;
      } else {
        exact = false;
        ++(falls_out ? c.overrun : c.outside_by_jump);
        overran = overran || falls_out;
      }
    }
    if (overran) overruns.push_back(f.name);
  }
  uint64_t size = 0;
  for (const Range& r : f.ranges) size += r.end - r.begin;
  if (std::getenv("QOR_ORACLE_VERBOSE") && in_bytes < size) PrintMisses(f, info);
  c.missed += size - std::min(size, in_bytes);
  c.padding += PaddingMissed(f, info);
  if (exact && in_bytes == size) ++c.exact;
}

Coverage Oracle(const std::string& exe) {
  Coverage c;
  MappedMemory memory;
  if (!test::LoadPeFile(exe, memory)) {
    ADD_FAILURE() << "cannot load " << exe;
    return c;
  }
  SpecialRoutines routines;
  routines.never_return = NeverReturning(exe);
  std::vector<std::string> invalid, overruns;
  for (const DwarfFunction& f : ReadDwarf(exe)) {
    TFunctionInfo info;
    ++c.functions;
    if (!ParseFunction(f.ranges[0].begin, memory, routines, info)) {
      invalid.push_back(f.name);
      continue;
    }
    ++c.valid;
    Measure(f, info, c, overruns);
  }
  std::printf("%s: %d functions, %d valid, %d exact; %" PRIu64 " bytes missed (%" PRIu64
              " of them alignment padding), %" PRIu64
              " claimed outside through jumps, %" PRIu64 " by falling through\n",
              exe.c_str(), c.functions, c.valid, c.exact, c.missed, c.padding, c.outside_by_jump,
              c.overrun);
  for (const std::string& name : invalid) ADD_FAILURE() << "invalid: " << name;
  for (const std::string& name : overruns) ADD_FAILURE() << "runs past its end: " << name;
  return c;
}

// The share of functions whose areas cover exactly their bytes must not
// fall below what the analysis reached on each sample before it took the
// landing pads of the exception tables (145 of 216, 30 of 102). For the
// program the share follows what it carries: 127 of 343 before it linked
// the running crash-report core, 374 of 1,207 with it, near the optimised
// sample's.
void ExpectExactShare(const Coverage& c, double least) {
  ASSERT_GT(c.functions, 0);
  EXPECT_GE(double(c.exact) / double(c.functions), least)
      << c.exact << " of " << c.functions << " found exactly";
}

TEST(FunctionOracleTest, SampleAtO0) {
  const Coverage c = Oracle(QOR_ORACLE_DIR "/function_oracle_O0.exe");
  EXPECT_GT(c.functions, 5);
  ExpectExactShare(c, 0.67);
}

TEST(FunctionOracleTest, SampleAtO2) {
  const Coverage c = Oracle(QOR_ORACLE_DIR "/function_oracle_O2.exe");
  EXPECT_GT(c.functions, 5);
  ExpectExactShare(c, 0.29);
}

TEST(FunctionOracleTest, Uninstall) {
  const std::string exe = QOR_UNINSTALL_EXE;
  if (!std::ifstream(exe)) GTEST_SKIP() << exe << " is built by the Windows tree";
  const Coverage c = Oracle(exe);
  EXPECT_GT(c.functions, 100);
  ExpectExactShare(c, 0.30);
}

}  // namespace
}  // namespace qor
