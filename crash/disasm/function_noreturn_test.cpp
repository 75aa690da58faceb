#include "crash/disasm/function_noreturn.h"

#include <gtest/gtest.h>

namespace qor {
namespace {

TEST(NeverReturningTest, Names) {
  struct Case {
    const char* name;
    bool never_returns;
  } cases[] = {
      {"abort", true},
      {"_abort", true},
      {"_ExitProcess@4", true},
      {"__imp__ExitThread@4", true},
      {"__wrap___cxa_throw", true},
      {"_Unwind_Resume", true},
      {"__cxa_rethrow", true},
      {"_ZSt9terminatev", true},
      {"__ZN3qor15CloseProcessNowEv", true},
      {"__ZN3qor12CloseProcessEv", true},
      {"__ZN3qor14RestartProcessERKSt5arrayIyLj10EE", true},
      {"_ZSt20__throw_length_errorPKc", true},
      {"__ZSt17__throw_bad_allocv", true},
      {"std::__throw_out_of_range_fmt(char const*, ...)", true},
      {"exit", true},
      {"__exit", true},
      {"exit_handler", false},
      {"_ZSt4endlIcSt11char_traitsIcEERSt13basic_ostreamIT_T0_ES6_", false},
      {"_ZSt__throw", false},
      {"__cxa_begin_catch", false},
      {"ExitProcessHook@4", false},
      {"", false},
  };
  for (const Case& c : cases) EXPECT_EQ(IsNeverReturningName(c.name), c.never_returns) << c.name;
}

TEST(NeverReturningTest, AddressesSortedAndUnique) {
  const NamedAddress symbols[] = {
      {"exit", 0x3000}, {"main", 0x1000}, {"_exit", 0x2000}, {"abort", 0}, {"exit", 0x3000}};
  EXPECT_EQ(NeverReturningAddresses(symbols), (std::vector<uint32_t>{0x2000, 0x3000}));
}

}  // namespace
}  // namespace qor
