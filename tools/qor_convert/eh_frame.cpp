#include "tools/qor_convert/eh_frame.h"

#include <span>

#include "crash/modules/byte_cursor.h"

namespace qor::convert {
namespace {

using FrameBytes = ::qor::ByteCursor;

// The next `count` bytes as a reader of their own; an empty one that has
// failed when they run past the end.
FrameBytes Part(FrameBytes& in, uint64_t count) {
  if (!in.Has(count)) return {{}, 0, true};
  in.at += static_cast<size_t>(count);
  return {in.data.subspan(in.at - static_cast<size_t>(count), static_cast<size_t>(count))};
}

std::vector<uint8_t> Block(FrameBytes& in, uint64_t count) {
  const FrameBytes part = Part(in, count);
  return {part.data.begin(), part.data.end()};
}

constexpr uint8_t kOmit = 0xFF, kPcRelative = 0x10;

struct Cie {
  uint64_t code_align = 1;
  int64_t data_align = 1;
  uint32_t return_register = 8;
  uint8_t pointer_encoding = 0;
  bool has_augmentation_data = false;
  std::vector<uint8_t> instructions;
};

// A pointer in `encoding`; `start_va` is the virtual address of the first
// byte of `in`, for PC-relative values. False on an encoding we do not read.
bool ReadPointer(FrameBytes& in, uint8_t encoding, uint32_t start_va, uint32_t& value) {
  const uint32_t field = start_va + static_cast<uint32_t>(in.at);
  uint64_t raw = 0;
  switch (encoding & 0x0F) {
    case 0x00: case 0x03: case 0x0B: raw = in.Fixed(4); break;
    case 0x02: case 0x0A: raw = in.Fixed(2); if ((encoding & 0x0F) == 0x0A) raw = uint64_t(int64_t(int16_t(raw))); break;
    case 0x01: raw = in.Uleb(); break;
    case 0x09: raw = static_cast<uint64_t>(in.Sleb()); break;
    default: return false;
  }
  switch (encoding & 0x70) {
    case 0x00: break;
    case kPcRelative: raw += field; break;
    default: return false;
  }
  value = static_cast<uint32_t>(raw);
  return !in.failed && !(encoding & 0x80);
}

bool ReadCie(FrameBytes in, Cie& cie, std::string& error) {
  const uint8_t version = static_cast<uint8_t>(in.Fixed(1));
  std::string augmentation;
  while (in.Has(1) && in.data[in.at] != 0) augmentation += static_cast<char>(in.data[in.at++]);
  in.Fixed(1);
  if (augmentation.find("eh") != std::string::npos) in.Fixed(4);
  cie.code_align = in.Uleb();
  cie.data_align = in.Sleb();
  cie.return_register = version == 1 ? static_cast<uint32_t>(in.Fixed(1)) : static_cast<uint32_t>(in.Uleb());
  if (!augmentation.empty() && augmentation[0] == 'z') {
    cie.has_augmentation_data = true;
    const size_t length = in.Uleb();
    FrameBytes data = Part(in, length);
    for (char c : augmentation.substr(1)) {
      if (c == 'R') {
        cie.pointer_encoding = static_cast<uint8_t>(data.Fixed(1));
      } else if (c == 'L') {
        data.Fixed(1);
      } else if (c == 'P') {
        uint32_t ignored = 0;
        const uint8_t encoding = static_cast<uint8_t>(data.Fixed(1));
        if (!ReadPointer(data, encoding & 0x7F, 0, ignored)) return error = "personality encoding", false;
      } else if (c != 'S') {
        return error = "augmentation \"" + augmentation + "\"", false;
      }
    }
  } else if (!augmentation.empty()) {
    return error = "augmentation \"" + augmentation + "\"", false;
  }
  cie.instructions.assign(in.data.begin() + static_cast<ptrdiff_t>(std::min(in.at, in.data.size())), in.data.end());
  if (in.failed) error = "CIE runs past its entry";
  return !in.failed;
}

// Runs one CFA program over `state`, appending a row at every location
// advance. `initial` is the CIE's state, which DW_CFA_restore returns to.
class CfaProgram {
 public:
  CfaProgram(const Cie& cie, uint32_t image_base, CfiFunction& function)
      : cie_(cie), image_base_(image_base), function_(function) {}

  bool Run(std::span<const uint8_t> program, CfiState& state, uint32_t& location, std::string& error);
  CfiState initial;

 private:
  bool Advance(uint64_t delta, const CfiState& state, uint32_t& location);

  const Cie& cie_;
  uint32_t image_base_;
  CfiFunction& function_;
  std::vector<CfiState> remembered_;
};

bool CfaProgram::Advance(uint64_t delta, const CfiState& state, uint32_t& location) {
  const uint64_t next = location + delta * cie_.code_align;
  if (next > function_.end) return false;
  if (function_.rows.empty() || function_.rows.back().address != location) {
    function_.rows.push_back({location, state});
  } else {
    function_.rows.back().state = state;
  }
  location = static_cast<uint32_t>(next);
  return true;
}

bool CfaProgram::Run(std::span<const uint8_t> program, CfiState& state, uint32_t& location,
                     std::string& error) {
  using Kind = CfiRegisterRule::Kind;
  FrameBytes in{program};
  const int64_t align = cie_.data_align;
  auto restore = [&](uint32_t reg) {
    auto it = initial.registers.find(reg);
    if (it == initial.registers.end()) state.registers.erase(reg);
    else state.registers[reg] = it->second;
  };
  while (in.at < in.data.size() && !in.failed) {
    const uint8_t op = static_cast<uint8_t>(in.Fixed(1));
    const uint8_t low = op & 0x3F;
    bool ok = true;
    switch (op >> 6) {
      case 1: ok = Advance(low, state, location); continue;
      case 2: state.registers[low] = {Kind::kOffset, static_cast<int64_t>(in.Uleb()) * align}; continue;
      case 3: restore(low); continue;
    }
    switch (op) {
      case 0x00: break;
      case 0x01: {
        // Only absolute addresses: a relative one would need this
        // instruction's own place, which GCC never makes us compute.
        uint32_t address = 0;
        if ((cie_.pointer_encoding & 0x70) != 0 || !ReadPointer(in, cie_.pointer_encoding, 0, address) ||
            address - image_base_ < location) {
          return error = "DW_CFA_set_loc", false;
        }
        ok = Advance(address - image_base_ - location, state, location);
        break;
      }
      case 0x02: ok = Advance(in.Fixed(1), state, location); break;
      case 0x03: ok = Advance(in.Fixed(2), state, location); break;
      case 0x04: ok = Advance(in.Fixed(4), state, location); break;
      case 0x05: { const uint32_t r = uint32_t(in.Uleb()); state.registers[r] = {Kind::kOffset, int64_t(in.Uleb()) * align}; break; }
      case 0x06: restore(uint32_t(in.Uleb())); break;
      case 0x07: state.registers[uint32_t(in.Uleb())] = {Kind::kUndefined}; break;
      case 0x08: state.registers[uint32_t(in.Uleb())] = {Kind::kSameValue}; break;
      case 0x09: { const uint32_t r = uint32_t(in.Uleb()); state.registers[r] = {Kind::kRegister, 0, uint32_t(in.Uleb())}; break; }
      case 0x0A: remembered_.push_back(state); break;
      case 0x0B:
        if (remembered_.empty()) return error = "DW_CFA_restore_state without a remembered state", false;
        state = remembered_.back();
        remembered_.pop_back();
        break;
      case 0x0C: state.cfa = {uint32_t(in.Uleb()), int64_t(in.Uleb())}; break;
      case 0x0D: state.cfa.reg = uint32_t(in.Uleb()); state.cfa.expression.clear(); break;
      case 0x0E: state.cfa.offset = int64_t(in.Uleb()); state.cfa.expression.clear(); break;
      case 0x0F: state.cfa = {0, 0, Block(in, in.Uleb())}; break;
      case 0x10: { const uint32_t r = uint32_t(in.Uleb()); state.registers[r] = {Kind::kExpression, 0, 0, Block(in, in.Uleb())}; break; }
      case 0x11: { const uint32_t r = uint32_t(in.Uleb()); state.registers[r] = {Kind::kOffset, in.Sleb() * align}; break; }
      case 0x12: { const uint32_t r = uint32_t(in.Uleb()); state.cfa = {r, in.Sleb() * align}; break; }
      case 0x13: state.cfa.offset = in.Sleb() * align; state.cfa.expression.clear(); break;
      case 0x14: { const uint32_t r = uint32_t(in.Uleb()); state.registers[r] = {Kind::kValOffset, int64_t(in.Uleb()) * align}; break; }
      case 0x15: { const uint32_t r = uint32_t(in.Uleb()); state.registers[r] = {Kind::kValOffset, in.Sleb() * align}; break; }
      case 0x16: { const uint32_t r = uint32_t(in.Uleb()); state.registers[r] = {Kind::kValExpression, 0, 0, Block(in, in.Uleb())}; break; }
      case 0x2E: in.Uleb(); break;  // DW_CFA_GNU_args_size: no rule
      case 0x2F: { const uint32_t r = uint32_t(in.Uleb()); state.registers[r] = {Kind::kOffset, -int64_t(in.Uleb()) * align}; break; }
      default:
        return error = "call-frame instruction " + std::to_string(op), false;
    }
    if (!ok) return error = "a row beyond its function's end", false;
  }
  if (in.failed) error = "call-frame instructions run past their entry";
  return !in.failed;
}

// `body_va`: the virtual address of the FDE's first byte after its CIE
// pointer, where `in` starts.
bool ReadFde(FrameBytes in, const Cie& cie, uint32_t body_va, uint32_t image_base,
             CfiFunction& function, std::string& error) {
  uint32_t begin = 0, range = 0;
  if (!ReadPointer(in, cie.pointer_encoding, body_va, begin) ||
      !ReadPointer(in, cie.pointer_encoding & 0x0F, body_va, range)) {
    return error = "FDE address encoding", false;
  }
  if (cie.has_augmentation_data) in.Skip(in.Uleb());
  if (in.failed) return error = "FDE runs past its entry", false;
  function.begin = begin - image_base;
  function.end = function.begin + range;
  function.return_register = cie.return_register;
  CfiState state;
  uint32_t location = function.begin;
  CfaProgram program(cie, image_base, function);
  if (!program.Run(cie.instructions, state, location, error)) return false;
  program.initial = state;
  if (!program.Run(in.data.subspan(in.at), state, location, error)) return false;
  if (location < function.end) {
    if (function.rows.empty() || function.rows.back().address != location) function.rows.push_back({location, state});
    else function.rows.back().state = state;
  }
  return true;
}

}  // namespace

bool ReadEhFrame(std::span<const uint8_t> data, uint32_t section_rva, uint32_t image_base,
                 uint32_t image_size, std::vector<CfiFunction>& functions, std::string& error) {
  std::map<size_t, Cie> cies;
  FrameBytes in{data};
  while (in.at + 4 <= data.size()) {
    const size_t start = in.at;
    const uint64_t length = in.Fixed(4);
    if (length == 0) break;  // the terminator
    if (length == 0xFFFFFFFF || length > data.size() - in.at) {
      return error = ".eh_frame entry at " + std::to_string(start) + " runs past the section", false;
    }
    const size_t id_at = in.at;
    FrameBytes entry{data.subspan(id_at, length)};
    in.at += length;
    const uint32_t id = static_cast<uint32_t>(entry.Fixed(4));
    if (id == 0) {
      Cie cie;
      if (!ReadCie(FrameBytes{entry.data.subspan(entry.at)}, cie, error)) return false;
      cies[start] = std::move(cie);
      continue;
    }
    auto cie = cies.find(id_at - id);
    if (id > id_at || cie == cies.end()) return error = "FDE without its CIE", false;
    CfiFunction function;
    // Relative pointers count from where they lie in the loaded image.
    const uint32_t body_va = image_base + section_rva + static_cast<uint32_t>(id_at + 4);
    if (!ReadFde(FrameBytes{entry.data.subspan(entry.at)}, cie->second, body_va, image_base, function, error)) {
      return false;
    }
    if (function.end > function.begin && function.end <= image_size) functions.push_back(std::move(function));
  }
  return true;
}

bool ReadEhFrame(const PeFile& pe, std::vector<CfiFunction>& functions, std::string& error) {
  const PeSection* section = pe.Find(".eh_frame");
  if (!section) return true;
  return ReadEhFrame(pe.Contents(*section), section->virtual_address, pe.image_base(),
                     Get32(pe.bytes(), pe.optional_offset() + 56), functions, error);
}

}  // namespace qor::convert
