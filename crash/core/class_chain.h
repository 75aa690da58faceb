// The class of a C++ exception object and its ancestors, read from the
// object's virtual table and the C++ ABI's type information. These routines
// trust the object: check it with IsPlausibleObject first.
#pragma once

#include <string>
#include <string_view>
#include <typeinfo>
#include <vector>

namespace qor {

// The dynamic class of a polymorphic object (the type information that its
// virtual table points to).
const std::type_info& DynamicClass(const void* object);

// `type` followed by its base classes, depth first, each once; at most
// kMaxClassChain entries, so a corrupt chain ends.
inline constexpr size_t kMaxClassChain = 64;
std::vector<const std::type_info*> ClassChain(const std::type_info& type);

// True when `type` or one of its bases is called `name` (as ClassName
// writes it), compared case-sensitively.
bool ClassChainHas(const std::type_info& type, std::string_view name);

// The message of a polymorphic object: Message of the library's own
// exception, what() of a standard exception (the program's Exception
// included), the class name of anything else.
std::string ObjectMessageOrClass(const void* object);

// Replaces the message of the library's own exception or of the program's
// Exception with `text`; false for objects of other classes.
bool ReplaceObjectMessage(void* object, std::string_view text);

}  // namespace qor
