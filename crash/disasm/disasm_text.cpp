// The listing line of one instruction: address, prefixes, mnemonic padded
// to the operand column, operands and comment; "db" lines when the bytes
// form no instruction.
#include "crash/disasm/disasm_text.h"

#include "crash/disasm/disasm_comment.h"

namespace qor {
namespace {

constexpr size_t kOperandColumn = 19;

std::string Hex8(uint32_t value) {
  static const char kDigits[] = "0123456789abcdef";
  std::string text(8, '0');
  for (int i = 7; i >= 0; --i, value >>= 4) text[i] = kDigits[value & 15];
  return text;
}

// Pads to `column`, or adds one space when the text already reaches it.
void PadTo(std::string& line, size_t column) {
  if (line.size() < column) {
    line.append(column - line.size(), ' ');
  } else if (line.back() != ' ') {
    line += ' ';
  }
}

// One "db" line per byte the failed decode covered (at least the first).
std::string ByteLines(const MemoryReader& memory, const CodeInfo& info) {
  const uint32_t count = info.next > info.this_address ? info.next - info.this_address : 1;
  std::string text;
  for (uint32_t i = 0; i < count; ++i) {
    const uint32_t address = info.this_address + i;
    uint8_t byte = 0;
    if (i) text += "\r\n";
    text += Hex8(address) + "   db ";
    text += memory.ReadAll(address, &byte, 1) ? "$" + Hex8(byte).substr(6) : std::string("??");
  }
  return text;
}

}  // namespace

std::string InstructionText(const MemoryReader& memory, uint32_t address, RegisterSlots* slots,
                            CodeInfo& info, const TextContext* context) {
  Instruction ins;
  DecodeInstruction(memory, address, ins, slots);
  info = ins.info;
  if (!info.is_valid) return ByteLines(memory, info);
  std::string line = Hex8(address) + "   ";
  if (ins.lock) line += "lock ";
  if (ins.rep && !ins.two_byte) line += ins.rep == 0xF2 ? "repne " : "rep ";
  line += InstructionMnemonic(ins);
  const std::string operands = OperandText(ins);
  if (operands.empty()) return line;
  PadTo(line, kOperandColumn);
  line += operands;
  if (context) AppendComment(memory, *context, ins, line);
  return line;
}

}  // namespace qor
