#include "crash/disasm/function_noreturn.h"

#include <algorithm>

namespace qor {

const std::vector<std::string_view>& NeverReturningNames() {
  static const std::vector<std::string_view> names = {
      // The raise routine, the wrapper that leads to it, and the rest of
      // the C++ runtime's throwing entries.
      "RaiseError", "__cxa_throw", "__wrap___cxa_throw", "__real___cxa_throw", "__cxa_rethrow",
      "_Unwind_Resume", "__cxa_bad_cast", "__cxa_bad_typeid",
      "__cxa_throw_bad_array_new_length", "__cxa_pure_virtual", "__cxa_deleted_virtual",
      "_ZSt9terminatev", "std::terminate()", "__stack_chk_fail",
      // The C library and the system.
      "abort", "exit", "_exit", "_Exit", "quick_exit", "ExitProcess", "ExitThread",
      "FatalAppExitA", "FatalAppExitW", "longjmp", "_assert", "_wassert",
      // MinGW's start-up code: reports a relocation it cannot apply, then aborts.
      "__report_error",
      // The crash-report core's end of the process after a fatal report,
      // and the report actions that close or restart the program.
      "_ZN3qor15CloseProcessNowEv", "qor::CloseProcessNow()", "_ZN3qor12CloseProcessEv",
      "qor::CloseProcess()", "_ZN3qor14RestartProcessERKSt5arrayIyLj10EE"};
  return names;
}

namespace {

// The symbol without the decorations of the 32-bit Windows ABI.
std::string_view Undecorated(std::string_view name) {
  if (name.starts_with("__imp__")) name.remove_prefix(7);
  const size_t at = name.rfind('@');
  if (at != std::string_view::npos && at > 0 && at + 1 < name.size() &&
      std::all_of(name.begin() + at + 1, name.end(), [](char c) { return c >= '0' && c <= '9'; }))
    name = name.substr(0, at);
  return name;
}

bool IsKnown(std::string_view name) {
  const auto& names = NeverReturningNames();
  return std::find(names.begin(), names.end(), name) != names.end();
}

}  // namespace

bool IsNeverReturningName(std::string_view name) {
  name = Undecorated(name);
  if (IsKnown(name) || (name.starts_with('_') && IsKnown(name.substr(1)))) return true;
  // std::__throw_length_error and its kin, mangled (_ZSt20__throw_...) or not.
  if (name.starts_with("std::__throw_")) return true;
  if (name.starts_with("__Z")) name.remove_prefix(1);
  if (!name.starts_with("_ZSt")) return false;
  size_t digits = 4;
  while (digits < name.size() && name[digits] >= '0' && name[digits] <= '9') ++digits;
  return digits > 4 && name.substr(digits).starts_with("__throw_");
}

std::vector<uint32_t> NeverReturningAddresses(std::span<const NamedAddress> symbols) {
  std::vector<uint32_t> addresses;
  for (const NamedAddress& symbol : symbols)
    if (symbol.address && IsNeverReturningName(symbol.name)) addresses.push_back(symbol.address);
  std::sort(addresses.begin(), addresses.end());
  addresses.erase(std::unique(addresses.begin(), addresses.end()), addresses.end());
  return addresses;
}

}  // namespace qor
