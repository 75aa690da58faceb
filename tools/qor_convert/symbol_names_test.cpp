#include "tools/qor_convert/symbol_names.h"

#include <gtest/gtest.h>

namespace qor::convert {
namespace {

TEST(SymbolNamesTest, SymbolsBecomeReadableNames) {
  const struct {
    const char* symbol;
    const char* readable;
  } cases[] = {
      {"_main", "main"},
      {"_WinMain@16", "WinMain"},
      {"@fast@8", "fast"},
      {"__ZN2ns1K1fEi", "ns.K.f"},
      {"__ZN2ns1K1gEv", "ns.K.g"},
      {"__ZL6helperi", "helper"},
      {"__Z2twIiET_S0_", "tw<int>"},                    // return type dropped
      {"__ZNK3Foo3getEv", "Foo.get"},                   // const method
      {"__ZN3FooclEi", "Foo.operator()"},
      {"__ZN3FooltERKS_", "Foo.operator<"},
      {"__ZN3FoocviEv", "Foo.operator int"},
      {"__ZN12_GLOBAL__N_14tickEv", "(anonymous namespace).tick"},
      {"_name@with@text", "name@with@text"},            // not a stdcall suffix
      {"___pformat_xint.isra.0", "__pformat_xint"},     // GCC's specialised copies
      {"__ZL4stepi.part.0", "step"},
      {"__ZN3Foo3runEv.cold", "Foo.run"},
      {"__ZN3gui4Form10WindowProcEP6HWND__jjl@16.cold", "gui.Form.WindowProc"},
      {"__ZN3gui12_GLOBAL__N_17BoxProcEP6HWND__jjl@16", "gui.(anonymous namespace).BoxProc"},
  };
  for (const auto& c : cases) EXPECT_EQ(ReadableSymbolName(c.symbol), c.readable) << c.symbol;
}

TEST(SymbolNamesTest, DemangledNamesFromOtherToolsTakeTheSameShape) {
  EXPECT_EQ(ReadableDemangledName("ns::K::f(int) const"), "ns.K.f");
  EXPECT_EQ(ReadableDemangledName("std::vector<int, std::allocator<int> >::push_back(int const&)"),
            "std.vector<int, std.allocator<int> >.push_back");
  EXPECT_EQ(ReadableDemangledName("main"), "main");
}

TEST(SymbolNamesTest, LongNamesLoseTemplateArgumentsThenTheirFront) {
  const std::string handler = "std._Function_handler<void (int), " + std::string(300, 'x') + ">._M_invoke";
  EXPECT_EQ(FitName(handler, 255), "std._Function_handler<...>._M_invoke");
  EXPECT_EQ(FitName("short<int>", 255), "short<int>");
  const std::string plain(300, 'y');
  EXPECT_EQ(FitName(plain + ".run", 255), plain.substr(300 - 251) + ".run");
}

TEST(SymbolNamesTest, UnqualifiedNameIsTheLastPartWithoutTemplateArguments) {
  EXPECT_EQ(UnqualifiedName("std.vector<int, std.allocator<int> >.push_back"), "push_back");
  EXPECT_EQ(UnqualifiedName("engine.(anonymous namespace).ReadProperty<int (*)(void*)>"), "ReadProperty");
  EXPECT_EQ(UnqualifiedName("main"), "main");
}

}  // namespace
}  // namespace qor::convert
