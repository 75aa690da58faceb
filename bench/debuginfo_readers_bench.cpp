// Time to load the tables of a module with 10,000 functions (1,000 units,
// 80,000 line records) from each of the tool chain's formats, against the
// store's own compact format of the same tables in the same run.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "crash/debuginfo/compact_reader.h"
#include "crash/debuginfo/compact_writer.h"
#include "crash/debuginfo/jdbg_reader.h"
#include "crash/debuginfo/td32_reader.h"
#include "crash/debuginfo/testing/debug_tables.h"
#include "crash/debuginfo/testing/jdbg_writer.h"
#include "crash/debuginfo/testing/td32_writer.h"
#include "crash/debuginfo/testing/text_map_writer.h"
#include "crash/debuginfo/text_map_reader.h"

namespace {

constexpr uint32_t kUnits = 1000;
constexpr uint32_t kPublicsPerUnit = 10;

const qor::test::DebugTables& Tables() {
  static const qor::test::DebugTables tables = qor::test::SampleTables(kUnits, kPublicsPerUnit);
  return tables;
}

void SetBases(qor::TMapFile& map) {
  map.BaseOfCode = 0x401000;
  map.TopOfCode = 0x401000 + kUnits * 0x400;
  map.BaseOfData = 0x900000;
}

// Checks once that the reader got every public, then times it.
template <typename Read>
void RunReader(benchmark::State& state, Read read) {
  {
    qor::TMapFile map;
    SetBases(map);
    read(map);
    if (map.PublicCount < static_cast<int32_t>(kUnits * kPublicsPerUnit)) {
      state.SkipWithError("the reader lost publics");
      return;
    }
  }
  for (auto _ : state) {
    qor::TMapFile map;
    SetBases(map);
    read(map);
    map.SortLines();
    benchmark::DoNotOptimize(map.PublicCount);
  }
}

void BM_CompactReference(benchmark::State& state) {
  qor::CompactTables compact;
  for (const auto& s : Tables().segments) {
    if (s.code) compact.segments.push_back({s.start, s.length, s.unit, false});
  }
  for (const auto& p : Tables().publics) {
    if (p.code) compact.publics.push_back({p.name, p.address});
  }
  for (const auto& l : Tables().lines) compact.lines.push_back({l.line, l.address});
  const std::vector<uint8_t> bytes = qor::WriteCompact(compact, {});
  RunReader(state, [&](qor::TMapFile& map) {
    qor::CompactHeader header;
    qor::ParseCompactHeader(bytes, header);
    qor::ReadCompactPayload(qor::DecodeCompactPayload(bytes, header), false, map);
  });
}
BENCHMARK(BM_CompactReference)->Unit(benchmark::kMillisecond);

void BM_TextMap(benchmark::State& state) {
  const std::string text = qor::test::WriteTextMap(Tables(), {0x401000, kUnits * 0x400, false});
  state.SetLabel(std::to_string(text.size() / 1024) + " KiB");
  RunReader(state, [&](qor::TMapFile& map) { qor::ReadTextMap(text, map); });
}
BENCHMARK(BM_TextMap)->Unit(benchmark::kMillisecond);

void BM_Jdbg(benchmark::State& state) {
  const std::vector<uint8_t> bytes = qor::test::WriteJdbg(Tables(), {});
  state.SetLabel(std::to_string(bytes.size() / 1024) + " KiB");
  RunReader(state, [&](qor::TMapFile& map) { qor::ReadJdbg(bytes, map); });
}
BENCHMARK(BM_Jdbg)->Unit(benchmark::kMillisecond);

void BM_Td32(benchmark::State& state) {
  const std::vector<uint8_t> bytes = qor::test::WriteTd32(Tables(), {});
  state.SetLabel(std::to_string(bytes.size() / 1024) + " KiB");
  RunReader(state, [&](qor::TMapFile& map) { qor::ReadTd32(bytes, map); });
}
BENCHMARK(BM_Td32)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
