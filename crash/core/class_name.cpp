#include "crash/core/class_name.h"

#include <cxxabi.h>

#include <cstdlib>
#include <memory>

#include "crash/attach/text_edit.h"

namespace qor {

std::string ClassName(const std::type_info& type) {
  int status = 0;
  const std::unique_ptr<char, decltype(&std::free)> demangled(
      abi::__cxa_demangle(type.name(), nullptr, nullptr, &status), std::free);
  std::string name = status == 0 && demangled ? demangled.get() : type.name();
  ReplaceAll(name, "::", ".", false, false);
  return name;
}

}  // namespace qor
