// The message of the report built for an operating-system exception that
// reached the core without an exception object.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace qor {

// The text for exception `code`: "Division by zero", "Stack overflow" and
// their kin; "External exception " and the code in hexadecimal digits for
// codes without a text of their own. Access violations get their own text
// (AccessViolationText), which needs the exception record.
std::string OsExceptionText(uint32_t code);

// Upper-case hexadecimal digits of `value`, at least `width` of them: the
// runtime's way of writing codes (width 0) and addresses (width 8) in
// messages.
std::string UpperHex(uint32_t value, int width);

// The access-violation message: "Access violation at address %p in module
// '%s'. %s of address %p" with the failing address, the module's file name
// (no path), "Read" or "Write" and the inaccessible address; a failing
// address outside every module gives just "Access Violation".
std::string AccessViolationMessage(uint32_t address, std::string_view module_name, bool write,
                                   uint32_t target);

}  // namespace qor
