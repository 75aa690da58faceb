// The call-frame information of a linked MinGW program: the CIEs and FDEs of
// its .eh_frame section, run into a table of unwind rules per address.
#pragma once

#include <cstdint>
#include <map>
#include <span>
#include <string>
#include <vector>

#include "tools/qor_convert/pe_file.h"

namespace qor::convert {

// How the caller's value of one register is found (DWARF's rule kinds).
struct CfiRegisterRule {
  enum class Kind { kUndefined, kSameValue, kOffset, kValOffset, kRegister, kExpression, kValExpression };
  Kind kind = Kind::kUndefined;
  int64_t offset = 0;      // kOffset, kValOffset: from the CFA
  uint32_t reg = 0;        // kRegister
  std::vector<uint8_t> expression;  // kExpression, kValExpression: DWARF operations
  bool operator==(const CfiRegisterRule&) const = default;
};

// The canonical frame address: a register plus an offset, or an expression.
struct CfiCfaRule {
  uint32_t reg = 0;
  int64_t offset = 0;
  std::vector<uint8_t> expression;  // used when not empty
  bool operator==(const CfiCfaRule&) const = default;
};

struct CfiState {
  CfiCfaRule cfa;
  std::map<uint32_t, CfiRegisterRule> registers;  // DWARF register number -> rule
  bool operator==(const CfiState&) const = default;
};

// The rules from `address` (an RVA) up to the next row or the function's end.
struct CfiRow {
  uint32_t address = 0;
  CfiState state;
};

struct CfiFunction {
  uint32_t begin = 0;  // RVA
  uint32_t end = 0;
  uint32_t return_register = 8;
  std::vector<CfiRow> rows;  // the first at `begin`; ascending
};

// Every FDE of the program's .eh_frame whose range lies in the image, in
// section order. A program without .eh_frame gives none. False, with
// `error` set, when an entry runs past the section or uses a pointer
// encoding or instruction that is not understood; what was read so far
// stays in `functions`.
bool ReadEhFrame(const PeFile& pe, std::vector<CfiFunction>& functions, std::string& error);

// The same over the section's bytes `data`, loaded at `section_rva` in an
// image of `image_size` bytes based at `image_base`.
bool ReadEhFrame(std::span<const uint8_t> data, uint32_t section_rva, uint32_t image_base,
                 uint32_t image_size, std::vector<CfiFunction>& functions, std::string& error);

}  // namespace qor::convert
