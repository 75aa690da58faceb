#include "crash/disasm/disasm_comment.h"

#include <cctype>

#include "crash/disasm/disasm_tables.h"

namespace qor {

ProcedureNameHook procedure_name_hook = nullptr;
LineHook line_hook = nullptr;

namespace {

constexpr size_t kCommentColumn = 40;
constexpr uint32_t kTextScan = 100;

bool Inside(const ModuleInfo& module, uint32_t address) {
  return address >= module.base && uint64_t{address} < uint64_t{module.base} + module.size;
}

// The module's name with its folder left out.
std::string BaseName(const std::string& path) {
  const size_t slash = path.find_last_of("\\/");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Name of a call or jump target; an unnamed target inside its module that
// is itself a jump or call (an import thunk) is named after where it goes.
std::string BranchTargetName(const MemoryReader& memory, const TextContext& context,
                             uint32_t target) {
  std::string name = TargetName(context, target);
  ModuleInfo module;
  bool in_module = context.module_of && context.module_of(target, module);
  if (name.empty() && in_module && Inside(module, target)) {
    CodeInfo thunk;
    if (DecodeCode(memory, target, thunk) && (thunk.call || thunk.jmp) && thunk.target) {
      name = TargetName(context, thunk.target);
      in_module = context.module_of(thunk.target, module);
    }
  }
  // Names with parentheses are placeholders of the debug information.
  if (name.find('(') != std::string::npos) return {};
  if (!name.empty() && in_module && module.base != context.own_module) {
    name += " (" + BaseName(module.file_name) + ")";
  }
  return name;
}

bool ReadU32(const MemoryReader& memory, uint32_t address, uint32_t& value) {
  uint8_t b[4];
  if (!memory.ReadAll(address, b, 4)) return false;
  value = b[0] | b[1] << 8 | b[2] << 16 | uint32_t{b[3]} << 24;
  return true;
}

// The comment for a 32-bit constant: the name or text it points to inside
// the module that holds the instruction.
std::string ConstantComment(const MemoryReader& memory, const TextContext& context,
                            const Instruction& ins, uint32_t value, bool memory_reference) {
  ModuleInfo own;
  if (!context.module_of || !context.module_of(ins.info.this_address, own)) return {};
  // Far enough from the image's end that the text scan stays inside it.
  auto fits = [&](uint32_t a) {
    return a >= own.base && uint64_t{a} + kTextScan <= uint64_t{own.base} + own.size;
  };
  if (!fits(value)) return {};
  uint32_t content;
  if (memory_reference && ReadU32(memory, value, content) && fits(content)) value = content;
  std::string name = BranchTargetName(memory, context, value);
  if (!name.empty()) return name;
  uint8_t bytes[kTextScan];
  const uint32_t got = memory.Read(value, bytes, kTextScan);
  std::string text;
  if (!LooksLikeText(bytes, got, text)) return {};
  return "'" + text + "'";
}

std::string Comment(const MemoryReader& memory, const TextContext& context,
                    const Instruction& ins) {
  const CodeInfo& info = ins.info;
  if ((info.call || info.jmp) && info.target) return BranchTargetName(memory, context, info.target);
  if (ins.disp_size == 4) {
    return ConstantComment(memory, context, ins, static_cast<uint32_t>(ins.disp), true);
  }
  if (ins.imm_size == 4 && !ins.operands->relative && ins.operands->imm != disasm::kImmFar) {
    const bool address = ins.operands->imm == disasm::kImmMoffs;
    return ConstantComment(memory, context, ins, ins.imm, address);
  }
  return {};
}

}  // namespace

std::string TargetName(const TextContext& context, uint32_t address) {
  ModuleInfo module;
  if (context.export_name && context.module_of && context.module_of(address, module)) {
    std::string name = context.export_name(module.base, address);
    if (!name.empty()) return name;
  }
  return procedure_name_hook ? procedure_name_hook(address) : std::string();
}

bool LooksLikeText(const uint8_t* bytes, size_t size, std::string& text) {
  unsigned a = 0, b = 0, c = 0, d = 0;
  text.clear();
  for (size_t i = 0; i < size; ++i) {
    const uint8_t ch = bytes[i];
    if (ch == 0 || ch == '\n' || ch == '\f') break;
    if (ch < 32) return false;
    if (std::isalnum(ch) || ch == ' ') {
      ++a;
    } else if (ch == ',' || ch == '.' || ch == ':' || ch == '\\') {
      ++b;
    } else if (ch <= ']') {
      ++c;
    } else {
      ++d;
    }
    text += static_cast<char>(ch);
  }
  return text.size() > 3 && b * 5 < a * 2 && c * 8 < a + b / 2 && d * 10 < a + b / 2 + c / 4;
}

void AppendComment(const MemoryReader& memory, const TextContext& context,
                   const Instruction& ins, std::string& line) {
  const std::string comment = Comment(memory, context, ins);
  if (comment.empty()) return;
  if (line.size() < kCommentColumn) line.append(kCommentColumn - line.size(), ' ');
  line += "  ; " + comment;
}

}  // namespace qor
