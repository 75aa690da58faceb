#include "crash/core/os_exception_text.h"

namespace qor {

std::string UpperHex(uint32_t value, int width) {
  std::string digits;
  do {
    digits.insert(digits.begin(), "0123456789ABCDEF"[value & 15]);
    value >>= 4;
  } while (value != 0);
  if (static_cast<int>(digits.size()) < width) digits.insert(0, width - digits.size(), '0');
  return digits;
}

std::string OsExceptionText(uint32_t code) {
  switch (code) {
    case 0xC000008C:
      return "Range check error";
    case 0xC000008D:
    case 0xC0000093:
      return "Floating point underflow";
    case 0xC000008E:
      return "Floating point division by zero";
    case 0xC000008F:
    case 0xC0000090:
    case 0xC0000092:
      return "Invalid floating point operation";
    case 0xC0000091:
      return "Floating point overflow";
    case 0xC0000094:
      return "Division by zero";
    case 0xC0000095:
      return "Integer overflow";
    case 0xC0000096:
      return "Privileged instruction";
    case 0xC00000FD:
      return "Stack overflow";
    case 0xC000013A:
      return "Control-C hit";
    default:
      return "External exception " + UpperHex(code, 0);
  }
}

std::string AccessViolationMessage(uint32_t address, std::string_view module_name, bool write,
                                   uint32_t target) {
  if (module_name.empty()) return "Access Violation";
  return "Access violation at address " + UpperHex(address, 8) + " in module '" +
         std::string(module_name) + "'. " + (write ? "Write" : "Read") + " of address " +
         UpperHex(target, 8);
}

}  // namespace qor
