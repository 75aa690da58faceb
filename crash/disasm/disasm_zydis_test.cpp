// Differential test of the decoder against Zydis over machine code that no
// one here wrote: a linear sweep over the code sections of Wine's i386 DLLs
// (and our own Windows build's programs when present), comparing validity,
// length, branch targets and mnemonics for every instruction whose ISA
// extension lies within the decoder's scope.
#include <Zydis/Zydis.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "crash/disasm/disasm.h"
#include "crash/disasm/disasm_text.h"
#include "crash/modules/testing/mapped_memory.h"

namespace qor {
namespace {

namespace fs = std::filesystem;

const char* const kWineDir = "/usr/lib/i386-linux-gnu/wine/i386-windows/";
const char* const kDlls[] = {"kernel32", "kernelbase", "user32", "ntdll",   "gdi32",
                             "msvcrt",   "ucrtbase",   "ole32",  "shell32", "comctl32",
                             "advapi32", "setupapi",   "rpcrt4", "wined3d", "msi"};

struct Section {
  uint32_t address;
  std::vector<uint8_t> bytes;
  bool code;
};

uint32_t Le32(const std::vector<uint8_t>& f, size_t at) {
  return f[at] | f[at + 1] << 8 | f[at + 2] << 16 | uint32_t{f[at + 3]} << 24;
}

// The sections of a PE32 file at their virtual addresses; empty when the
// file is not a PE32 image.
std::vector<Section> ReadSections(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::vector<uint8_t> f((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::vector<Section> sections;
  if (f.size() < 0x40 || f[0] != 'M' || f[1] != 'Z') return sections;
  const size_t nt = Le32(f, 0x3C);
  if (nt + 24 > f.size() || Le32(f, nt) != 0x4550) return sections;
  const unsigned count = f[nt + 6] | f[nt + 7] << 8;
  const unsigned optional_size = f[nt + 20] | f[nt + 21] << 8;
  if (nt + 24 + 32 > f.size() || (f[nt + 24] | f[nt + 25] << 8) != 0x10B) return sections;
  const uint32_t image_base = Le32(f, nt + 24 + 28);
  size_t header = nt + 24 + optional_size;
  for (unsigned i = 0; i < count && header + 40 <= f.size(); ++i, header += 40) {
    const uint32_t virtual_size = Le32(f, header + 8);
    const uint32_t rva = Le32(f, header + 12);
    const uint32_t raw_size = Le32(f, header + 16);
    const uint32_t raw = Le32(f, header + 20);
    const uint32_t flags = Le32(f, header + 36);
    if (raw >= f.size()) continue;
    const size_t size = std::min<size_t>(raw_size, f.size() - raw);
    std::vector<uint8_t> bytes(f.begin() + raw, f.begin() + raw + size);
    // The loader fills the rest of a section's virtual size with zeros.
    if (virtual_size > bytes.size()) bytes.resize(virtual_size);
    sections.push_back({image_base + rva, std::move(bytes), (flags & 0x20000000) != 0});
  }
  return sections;
}

bool InScope(ZydisISAExt ext) {
  switch (ext) {
    case ZYDIS_ISA_EXT_BASE: case ZYDIS_ISA_EXT_X87: case ZYDIS_ISA_EXT_MMX:
    case ZYDIS_ISA_EXT_SSE: case ZYDIS_ISA_EXT_SSE2: case ZYDIS_ISA_EXT_AMD3DNOW:
      return true;
    default:
      return false;
  }
}

std::string Hex(const uint8_t* bytes, size_t size) {
  std::string text;
  char two[4];
  for (size_t i = 0; i < size; ++i) {
    std::snprintf(two, sizeof two, "%02x", bytes[i]);
    text += two;
  }
  return text;
}

struct Tally {
  uint64_t positions = 0, compared = 0, out_of_scope = 0, agreements = 0;
  uint64_t mnemonics_compared = 0, mnemonic_agreements = 0;
  std::map<std::string, uint64_t> differences;             // by kind
  std::map<std::string, std::string> examples;             // first bytes of each kind
  std::map<std::string, uint64_t> aliases;                 // "ours/zydis" mnemonic pairs

  void Note(const std::string& kind, const uint8_t* bytes, size_t size) {
    if (differences[kind]++ == 0) examples[kind] = Hex(bytes, size);
  }
};

// Why the decoders disagree on validity, for the cases understood; the
// text starts with "unexplained" otherwise.
std::string Explain(const uint8_t* bytes, size_t size, bool we_accept) {
  bool lock = false;
  size_t at = 0;
  for (; at + 2 < size && at < 14; ++at) {
    const uint8_t b = bytes[at];
    if (b == 0xF0) lock = true;
    if (b != 0x66 && b != 0x67 && b != 0xF0 && b != 0xF2 && b != 0xF3 && b != 0x26 &&
        b != 0x2E && b != 0x36 && b != 0x3E && b != 0x64 && b != 0x65) {
      break;
    }
  }
  const uint8_t op = at < size ? bytes[at] : 0;
  const uint8_t reg = at + 1 < size ? (bytes[at + 1] >> 3) & 7 : 0;
  // The decoder does not check which instructions take the lock prefix;
  // the processor refuses the others with an invalid-opcode fault.
  if (we_accept && lock) return "explained: lock prefix on an instruction that takes none";
  // 0xF6/0xF7 with reg 1 is an undocumented twin of test; the group's
  // template leaves that variant empty, so the decoder calls it invalid.
  if (!we_accept && (op == 0xF6 || op == 0xF7) && reg == 1) {
    return "explained: undocumented test alias F6/F7 /1";
  }
  // A call or jump through an absolute cell that the image does not hold:
  // the decoder reads the target and calls the instruction invalid when it
  // cannot.
  const uint8_t modrm = at + 1 < size ? bytes[at + 1] : 0;
  const uint8_t second = at + 1 < size ? bytes[at + 1] : 0;
  // 0x0F 0x1A and 0x1B are hint no-ops in the maps the decoder follows;
  // Zydis reads them as MPX bound instructions and refuses some forms.
  if (we_accept && op == 0x0F && (second == 0x1A || second == 0x1B)) {
    return "explained: hint no-op 0F 1A/1B that Zydis reads as MPX";
  }
  // The prefetch row names only the memory forms with reg 0 and 1; Zydis
  // decodes the others as hint no-ops.
  if (!we_accept && op == 0x0F && second == 0x0D) {
    return "explained: 0F 0D beyond prefetch/prefetchw";
  }
  if (!we_accept && op == 0xFF && reg >= 2 && reg <= 5 && (modrm & 0xC7) == 0x05) {
    return "explained: absolute call or jump cell cannot be read";
  }
  std::string opcode = Hex(bytes + at, std::min<size_t>(size - at, op == 0x0F ? 2 : 1));
  for (size_t i = 0; i < at; ++i) {
    if (bytes[i] == 0x66 || bytes[i] == 0xF2 || bytes[i] == 0xF3) opcode = Hex(bytes + i, 1) + " " + opcode;
  }
  return (we_accept ? "unexplained: we accept, Zydis rejects " : "unexplained: we reject ") +
         opcode;
}

// The x87 templates name the undocumented twins of fcomp, fxch and fstp
// with a digit, and the 8087/80287 no-operations by their original names.
bool IsX87Alias(const std::string& ours, const std::string& zydis) {
  if (ours.size() == zydis.size() + 1 && ours.compare(0, zydis.size(), zydis) == 0 &&
      std::isdigit(static_cast<unsigned char>(ours.back()))) {
    return true;
  }
  return (ours == "fstp1" && zydis == "fstpnce") || (ours == "fneni" && zydis == "feni8087_nop") ||
         (ours == "fndisi" && zydis == "fdisi8087_nop") ||
         (ours == "fnsetpm" && zydis == "fsetpm287_nop");
}

// Mnemonics that differ only by name: the condition names of our list
// against Zydis's, int3 written as "int 3", far returns, fwait's other
// published name, sal for the shift group's reg 6 (a twin of shl), the x87
// twins, jcxz (the template has no address-size variant) and two 3DNow!
// names that Zydis spells differently from the maker's manual.
bool IsAlias(const std::string& ours, const std::string& zydis) {
  static const std::map<std::string, std::string> kSuffixes = {
      {"a", "nbe"}, {"ge", "nl"}, {"g", "nle"}};
  for (const char* stem : {"j", "set", "cmov"}) {
    const std::string s = stem;
    if (ours.rfind(s, 0) == 0 && zydis.rfind(s, 0) == 0) {
      auto it = kSuffixes.find(ours.substr(s.size()));
      if (it != kSuffixes.end() && zydis.substr(s.size()) == it->second) return true;
    }
  }
  return (ours == "int" && zydis == "int3") || (ours == "retf" && zydis == "ret") ||
         (ours == "wait" && zydis == "fwait") || (ours == "sal" && zydis == "shl") ||
         IsX87Alias(ours, zydis) || (ours == "jecxz" && zydis == "jcxz") ||
         (ours == "pfrcpit1" && zydis == "pfcpit1") || (ours == "pfrsqrt" && zydis == "pfsqrt");
}

class Sweep {
 public:
  Sweep() {
    ZydisDecoderInit(&decoder_, ZYDIS_MACHINE_MODE_LEGACY_32, ZYDIS_STACK_WIDTH_32);
  }

  // Sweeps the code sections of one image, with all its sections mapped so
  // that calls through the import table find their cells.
  // Decodes at every `step`-th position of one block.
  void RunEach(const Section& section, size_t step, Tally& tally) {
    MappedMemory memory;
    memory.Map(section.address, section.bytes);
    for (size_t offset = 0; offset < section.bytes.size(); offset += step, ++tally.positions) {
      Compare(memory, section, offset, tally);
    }
  }

  void Run(const std::vector<Section>& sections, Tally& tally) {
    MappedMemory memory;
    for (const Section& section : sections) memory.Map(section.address, section.bytes);
    for (const Section& section : sections) {
      for (size_t offset = 0; section.code && offset < section.bytes.size(); ++tally.positions) {
        offset += Compare(memory, section, offset, tally);
      }
    }
  }

 private:
  // Compares one position; returns how far the sweep moves on.
  size_t Compare(const MappedMemory& memory, const Section& section, size_t offset,
                 Tally& tally) {
    const uint32_t address = section.address + static_cast<uint32_t>(offset);
    // Both decoders see the same bytes, also where an instruction runs on
    // into the next section.
    uint8_t bytes[15];
    const size_t left = memory.Read(address, bytes, sizeof bytes);
    ZydisDecodedInstruction zi;
    ZydisDecodedOperand zo[ZYDIS_MAX_OPERAND_COUNT];
    const bool zydis_valid = ZYAN_SUCCESS(ZydisDecoderDecodeFull(&decoder_, bytes, left, &zi, zo));
    Instruction ours;
    const bool valid = DecodeInstruction(memory, address, ours);
    if (!zydis_valid) {
      if (valid) tally.Note(Explain(bytes, left, true), bytes, ours.info.next - address);
      return valid ? ours.info.next - address : 1;
    }
    if (!InScope(zi.meta.isa_ext)) {
      ++tally.out_of_scope;
      return zi.length;
    }
    ++tally.compared;
    const char* zydis_name = ZydisMnemonicGetString(zi.mnemonic);
    if (!valid) {
      tally.Note(Explain(bytes, left, false) + ": " + zydis_name, bytes, zi.length);
      return zi.length;
    }
    bool agree = true;
    if (ours.info.next - address != zi.length) {
      tally.Note(std::string("unexplained length: ") + zydis_name, bytes, zi.length);
      agree = false;
    } else if (zi.raw.imm[0].is_relative && ours.info.rel_target) {
      ZyanU64 target = 0;
      ZydisCalcAbsoluteAddress(&zi, &zo[0], address, &target);
      if (static_cast<uint32_t>(target) != ours.info.target && ours.info.call + ours.info.jmp) {
        tally.Note(std::string("unexplained target: ") + zydis_name, bytes, zi.length);
        agree = false;
      }
    }
    if (agree) ++tally.agreements;
    CompareMnemonic(ours, zydis_name, bytes, zi.length, tally);
    return zi.length;
  }

  // Compares the mnemonic without an operand that a template carries.
  void CompareMnemonic(const Instruction& ours, const char* zydis_name, const uint8_t* bytes,
                       size_t size, Tally& tally) {
    ++tally.mnemonics_compared;
    std::string name = InstructionMnemonic(ours);
    name = name.substr(0, name.find(' '));
    if (name == zydis_name) {
      ++tally.mnemonic_agreements;
      return;
    }
    const std::string pair = (IsAlias(name, zydis_name) ? "alias " : "unexplained ") + name +
                             " / " + zydis_name;
    if (tally.aliases[pair]++ == 0) tally.examples[pair] = Hex(bytes, size);
  }

  ZydisDecoder decoder_;
};

// Prints the figures and checks that every difference is explained.
void Report(const Tally& tally) {
  std::printf("sweep positions %llu, compared %llu, agreements %llu (%.4f%%), "
              "outside scope %llu\n",
              (unsigned long long)tally.positions,
              (unsigned long long)tally.compared, (unsigned long long)tally.agreements,
              100.0 * tally.agreements / std::max<uint64_t>(tally.compared, 1),
              (unsigned long long)tally.out_of_scope);
  std::printf("mnemonics compared %llu, equal %llu (%.4f%%)\n",
              (unsigned long long)tally.mnemonics_compared,
              (unsigned long long)tally.mnemonic_agreements,
              100.0 * tally.mnemonic_agreements / std::max<uint64_t>(tally.mnemonics_compared, 1));
  for (const auto& [kind, count] : tally.differences) {
    std::printf("  difference %-50s %8llu  e.g. %s\n", kind.c_str(), (unsigned long long)count,
                tally.examples.at(kind).c_str());
  }
  for (const auto& [pair, count] : tally.aliases) {
    std::printf("  mnemonic %-40s %8llu  e.g. %s\n", pair.c_str(), (unsigned long long)count,
                tally.examples.at(pair).c_str());
    EXPECT_EQ(pair.rfind("unexplained", 0), std::string::npos) << pair;
  }
  for (const auto& [kind, count] : tally.differences) {
    EXPECT_EQ(kind.rfind("explained", 0), 0u) << kind << " e.g. " << tally.examples.at(kind);
  }
}

// Our own Windows build's programs: Uninstall.exe when it has been built,
// otherwise the three largest programs of the Windows tree.
std::vector<fs::path> OwnPrograms() {
  std::vector<fs::path> programs;
  const fs::path tree = fs::path(QOR_SOURCE_DIR) / "build/win32";
  if (!fs::exists(tree)) return programs;
  for (const auto& entry : fs::recursive_directory_iterator(tree)) {
    const fs::path& path = entry.path();
    if (path.extension() != ".exe" || path.string().find("CMakeFiles") != std::string::npos) {
      continue;
    }
    if (path.filename() == "Uninstall.exe") return {path};
    programs.push_back(path);
  }
  std::sort(programs.begin(), programs.end(), [](const fs::path& a, const fs::path& b) {
    return fs::file_size(a) > fs::file_size(b);
  });
  if (programs.size() > 3) programs.resize(3);
  return programs;
}

TEST(DisasmZydisTest, AgreesOnWineDllsAndOurPrograms) {
  std::vector<fs::path> files;
  for (const char* dll : kDlls) {
    fs::path path = fs::path(kWineDir) / (std::string(dll) + ".dll");
    if (fs::exists(path)) files.push_back(path);
  }
  if (files.empty()) GTEST_SKIP() << "Wine's i386 DLLs are not installed (wine32)";
  for (const fs::path& own : OwnPrograms()) files.push_back(own);
  Tally tally;
  Sweep sweep;
  for (const fs::path& file : files) {
    sweep.Run(ReadSections(file), tally);
  }
  std::printf("files %zu, ", files.size());
  Report(tally);
  // Enough code was compared for the figures to mean something.
  EXPECT_GT(tally.compared, 1000000u);
}

// Random bytes reach the rows that compilers rarely emit: every opcode of
// both maps, with random prefixes, ModRM bytes and trailing bytes.
TEST(DisasmZydisTest, AgreesOnRandomBytes) {
  uint32_t seed = 0x2545F491;
  auto next = [&seed] {
    seed ^= seed << 13;
    seed ^= seed >> 17;
    seed ^= seed << 5;
    return seed;
  };
  const uint8_t prefixes[] = {0x66, 0xF2, 0xF3, 0x67, 0xF0, 0x2E, 0x64};
  Section section{0x10000000, {}, true};
  for (int i = 0; i < 400000; ++i) {
    std::vector<uint8_t> bytes;
    if (next() % 4 == 0) bytes.push_back(prefixes[next() % sizeof prefixes]);
    if (next() % 2) bytes.push_back(0x0F);
    bytes.push_back(static_cast<uint8_t>(i));
    while (bytes.size() < 16) bytes.push_back(static_cast<uint8_t>(next()));
    section.bytes.insert(section.bytes.end(), bytes.begin(), bytes.end());
  }
  Tally tally;
  Sweep().RunEach(section, 16, tally);
  Report(tally);
}

}  // namespace
}  // namespace qor
