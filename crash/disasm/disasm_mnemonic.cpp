// Mnemonic templates: one string per opcode whose variant syntax picks the
// name by mandatory prefix ("/"), ModRM reg ("|"), register or memory form
// (":"), rm field in x87 lists ("-"), with "%cc", "%seg", and capital S and P
// for the single/double and packed/scalar forms.
#include <string_view>

#include "crash/disasm/disasm_tables.h"
#include "crash/disasm/disasm_text.h"

namespace qor {
namespace {

using namespace disasm;

// Piece `index` (from 0) of `text` split at `separator`; "" when missing.
std::string_view Piece(std::string_view text, char separator, unsigned index) {
  for (unsigned i = 0; i < index; ++i) {
    const size_t at = text.find(separator);
    if (at == std::string_view::npos) return {};
    text.remove_prefix(at + 1);
  }
  return text.substr(0, text.find(separator));
}

unsigned Pieces(std::string_view text, char separator) {
  unsigned count = 1;
  for (char c : text) count += c == separator;
  return count;
}

const char* const kConditions[16] = {"o", "no", "b", "nb", "z", "nz", "be", "a",
                                     "s", "ns", "p", "np", "l", "ge", "le", "g"};
const char* const kSegments[8] = {"es", "cs", "ss", "ds", "fs", "gs", "", ""};

std::string_view SelectVariant(std::string_view name, const Instruction& ins) {
  std::string_view by_prefix = Piece(name, '/', ins.variant);
  if (by_prefix.empty()) by_prefix = Piece(name, '/', 0);
  const unsigned by_reg = Pieces(by_prefix, '|');
  std::string_view chosen = by_prefix;
  if (by_reg > 8) {
    // x87 escapes: memory forms by reg, register forms after them, and
    // "-" lists by rm.
    chosen = Piece(by_prefix, '|', ins.mod == 3 ? ins.reg + 8u : ins.reg);
    if (ins.mod == 3 && Pieces(chosen, '-') > 1) chosen = Piece(chosen, '-', ins.rm);
  } else if (by_reg > 1) {
    chosen = Piece(by_prefix, '|', ins.reg);
  }
  if (Pieces(chosen, ':') > 1) chosen = Piece(chosen, ':', ins.mod == 3 ? 0 : 1);
  return chosen;
}

std::string Expand(std::string_view chosen, const Instruction& ins) {
  std::string out;
  for (size_t i = 0; i < chosen.size(); ++i) {
    const char c = chosen[i];
    if (chosen.substr(i, 3) == "%cc") {
      out += kConditions[ins.opcode_byte & 15];
      i += 2;
    } else if (chosen.substr(i, 4) == "%seg") {
      out += kSegments[(ins.opcode_byte >> 3) & 7];
      i += 3;
    } else if (c == 'S') {
      out += ins.variant == 1 || ins.variant == 2 ? 'd' : 's';
    } else if (c == 'P') {
      out += ins.variant >= 2 ? 's' : 'p';
    } else {
      out += c;
    }
  }
  return out;
}

}  // namespace

std::string InstructionMnemonic(const Instruction& ins) {
  if (!ins.info.is_valid || !ins.entry) return {};
  switch (ins.entry->kind) {
    case k3DNow: return ThreeDNowName(static_cast<uint8_t>(ins.imm2));
    case kX87:
      return "f" + Expand(SelectVariant(kX87Escapes[ins.opcode_byte - 0xD8].name, ins), ins);
    default: break;
  }
  const char* name = ins.rule->name ? ins.rule->name : kGroups[ins.entry->row].name;
  return Expand(SelectVariant(name, ins), ins);
}

}  // namespace qor
