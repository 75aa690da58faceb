// Functions per second that ParseFunction analyses, over every code symbol
// of Uninstall.exe (the Windows tree's unstripped build).
#include <benchmark/benchmark.h>

#include "crash/disasm/function_info.h"
#include "crash/disasm/function_noreturn.h"
#include "crash/disasm/testing/function_pe_file.h"

namespace {

void BM_ParseUninstallFunctions(benchmark::State& state) {
  qor::MappedMemory memory;
  if (!qor::test::LoadPeFile(QOR_UNINSTALL_EXE, memory)) {
    state.SkipWithError("Uninstall.debug.exe is built by the Windows tree");
    return;
  }
  const auto symbols = qor::test::CodeSymbols(
      qor::test::CommandOutput(std::string(QOR_NM) + " '" QOR_UNINSTALL_EXE "'"));
  std::vector<qor::NamedAddress> named;
  for (const auto& s : symbols) named.push_back({s.name, s.address});
  qor::SpecialRoutines routines;
  routines.never_return = qor::NeverReturningAddresses(named);
  int64_t functions = 0, valid = 0;
  for (auto _ : state) {
    for (const auto& s : symbols) {
      qor::TFunctionInfo info;
      valid += qor::ParseFunction(s.address, memory, routines, info);
      ++functions;
    }
  }
  state.counters["functions/s"] =
      benchmark::Counter(static_cast<double>(functions), benchmark::Counter::kIsRate);
  state.counters["valid %"] = functions ? 100.0 * valid / functions : 0;
}
BENCHMARK(BM_ParseUninstallFunctions)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
