#include "crash/stack/code_location.h"

#include <cstdio>

#include "crash/debuginfo/debug_info_cache.h"
#include "crash/modules/guarded_call.h"

namespace qor {
namespace {

std::string WithoutPath(const std::string& name) {
  const size_t slash = name.rfind('\\');
  return slash == std::string::npos ? name : name.substr(slash + 1);
}

// The text after the address; false when there is nothing to say.
bool Describe(const StackTraceContext& context, uint32_t address, std::string& text) {
  const auto map = context.facts.DebugInfoAt(address);
  AddressInfo info;
  if (!map || !GetAddressInfo(*map, address, info)) return false;
  text = " " + WithoutPath(info.module_file_name) + " " + info.unit_name + " ";
  if (info.line > 0) text += std::to_string(info.line) + " ";
  text += info.public_name;
  return true;
}

}  // namespace

std::string FormatCodeLocation(const StackTraceContext& context, uint32_t address) {
  char hex[9];
  std::snprintf(hex, sizeof hex, "%08x", address);
  std::string text;
  bool described = false;
  // The location is asked for while a failure is handled: a lookup that
  // throws or faults only means there is nothing to add.
  try {
    if (!Guarded([&] { described = Describe(context, address, text); })) described = false;
  } catch (...) {
    described = false;
  }
  return hex + (described ? text : std::string(" ???"));
}

}  // namespace qor
