// Lookups per second on the tables of Uninstall.exe, and the time to load
// them from its resource. Needs the Windows tree's converted program.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <vector>

#include "crash/debuginfo/map_file.h"
#include "crash/debuginfo/pe_resource.h"
#include "crash/modules/testing/mapped_memory.h"
#include "crash/modules/pe_image.h"

namespace {

constexpr uint32_t kBase = 0x00400000;

// Uninstall.exe laid out as the loader maps it (headers and sections at
// their RVAs), so the load goes through the same path as in the program.
const qor::MappedMemory& Program() {
  static qor::MappedMemory memory = [] {
    std::ifstream in(QOR_WIN32_TREE "/app/Uninstall.exe", std::ios::binary);
    std::vector<uint8_t> file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    qor::MappedMemory raw;
    raw.Map(0, file);
    const uint32_t nt = qor::NtHeaders(raw, 0);
    std::vector<uint8_t> image(qor::ImageSize(raw, nt));
    uint32_t count = 0, first = 0;
    qor::SectionTable(raw, nt, count, first);
    std::copy_n(file.begin(), std::min<size_t>(0x1000, file.size()), image.begin());
    for (uint32_t i = 0; i < count; ++i) {
      qor::SectionHeader s;
      if (qor::ReadSection(raw, nt, i, s) && s.raw_size && s.raw_pointer + s.raw_size <= file.size()) {
        std::copy_n(file.begin() + s.raw_pointer, std::min(s.raw_size, uint32_t(image.size() - s.virtual_address)),
                    image.begin() + s.virtual_address);
      }
    }
    qor::MappedMemory mapped;
    mapped.Map(kBase, std::move(image));
    return mapped;
  }();
  return memory;
}

const qor::TMapFile& Tables() {
  static qor::TMapFile map;
  static const bool loaded = map.Load(Program(), kBase, "Uninstall.exe", false);
  if (!loaded) std::fprintf(stderr, "Uninstall.exe has no readable debug information\n");
  return map;
}

void BM_LoadFromResource(benchmark::State& state) {
  for (auto _ : state) {
    qor::TMapFile map;
    benchmark::DoNotOptimize(map.Load(Program(), kBase, "Uninstall.exe", false));
  }
}
BENCHMARK(BM_LoadFromResource)->Unit(benchmark::kMillisecond);

template <typename Lookup>
void RunLookups(benchmark::State& state, Lookup lookup) {
  const qor::TMapFile& map = Tables();
  const uint32_t span = map.TopOfCode - map.BaseOfCode;
  uint32_t step = 0;
  for (auto _ : state) {
    step = step * 1103515245u + 12345u;
    benchmark::DoNotOptimize(lookup(map, map.BaseOfCode + step % (span ? span : 1)));
  }
  state.SetItemsProcessed(state.iterations());
}

void BM_LineAt(benchmark::State& state) {
  RunLookups(state, [](const qor::TMapFile& m, uint32_t a) { return m.LineAt(a); });
}
BENCHMARK(BM_LineAt);

void BM_PublicAt(benchmark::State& state) {
  RunLookups(state, [](const qor::TMapFile& m, uint32_t a) { return m.PublicAt(a).Address; });
}
BENCHMARK(BM_PublicAt);

}  // namespace

BENCHMARK_MAIN();
