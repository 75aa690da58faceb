// The exception objects the core is handed (Windows only): a bare address,
// which may be anything. An object is a polymorphic C++ object given by
// its most derived address; its class is what its virtual table names.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

struct _EXCEPTION_RECORD;

namespace qor {

// True only when `object` looks like a live polymorphic object: its virtual
// table and the table's type information lie in sections of loaded modules,
// the class name is a mangled identifier, and the base chain is made of the
// same and ends without repeating the class. Any fault while reading gives
// false.
bool IsPlausibleObject(uint32_t object);

// The class name of the object ("runtime.EAbort"); "Unknown" for no object
// or a fault.
std::string ExceptClassText(uint32_t object);

// The message as the report shows it: the message of the library's own
// exception or of a standard exception (the program's included), the
// class name of any other object, with every character below 32 removed;
// "Unknown" when that leaves nothing, for no object, or on a fault.
std::string ExceptMessageText(uint32_t object);

// True when the object's class or one of its ancestors is called `name`
// (compared case-sensitively); false for no object or a fault.
bool IsClassOrDescendant(uint32_t object, std::string_view name);

// True when the object's message is the marker of a reported object.
bool IsReportedObject(uint32_t object);

// The message for an access violation described by `record`.
std::string AccessViolationText(const _EXCEPTION_RECORD& record);

// Class names the core tests for.
inline constexpr char kAbortClass[] = "runtime.EAbort";
inline constexpr char kQorExceptionClass[] = "qor.QorException";
inline constexpr char kExceptionClass[] = "std.exception";

}  // namespace qor
