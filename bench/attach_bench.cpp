#include <benchmark/benchmark.h>
#include <zlib.h>

#include <cstdint>
#include <string>
#include <vector>

#include "crash/attach/blowfish_modes.h"
#include "crash/attach/crc32.h"
#include "crash/attach/raw_deflate.h"

namespace {

constexpr int kWidth = 1024;
constexpr int kHeight = 768;

// Palette-index rows of a 1024 x 768 desktop as the PNG writer hands them
// to the compressor: a filter byte per row, a flat background, a few windows
// with title bars and lines of "text" made of short pseudo-random runs, and
// a gradient panel.
std::vector<uint8_t> ScreenshotRows() {
  std::vector<uint8_t> rows;
  rows.reserve((kWidth + 1) * kHeight);
  uint32_t seed = 12345;
  auto next = [&seed] { return seed = seed * 1103515245u + 12345u; };
  for (int y = 0; y < kHeight; ++y) {
    rows.push_back(0);
    for (int x = 0; x < kWidth; ++x) {
      uint8_t pixel = 17;
      const bool in_window = x > 80 && x < 700 && y > 60 && y < 560;
      if (in_window) {
        pixel = y < 80 ? static_cast<uint8_t>(40 + x / 32) : 255;
        if (y >= 90 && (y - 90) % 16 < 11 && x > 100 && x < 650 && (next() >> 16) % 5 == 0) {
          pixel = 0;
        }
      } else if (x >= 760 && x < 1000 && y > 100 && y < 700) {
        pixel = static_cast<uint8_t>(100 + (y - 100) / 8);
      }
      rows.push_back(pixel);
    }
  }
  return rows;
}

std::vector<uint8_t> RandomBytes(size_t size) {
  std::vector<uint8_t> data(size);
  uint32_t seed = 99;
  for (uint8_t& b : data) b = static_cast<uint8_t>((seed = seed * 1103515245u + 12345u) >> 16);
  return data;
}

void BM_Crc32Update(benchmark::State& state) {
  const std::vector<uint8_t> data = RandomBytes(static_cast<size_t>(state.range(0)));
  for (auto _ : state) {
    benchmark::DoNotOptimize(qor::Crc32Update(0xFFFFFFFFu, data.data(), data.size()));
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * data.size()));
}
BENCHMARK(BM_Crc32Update)->Arg(64)->Arg(1 << 20);

void BM_ZlibCrc32(benchmark::State& state) {
  const std::vector<uint8_t> data = RandomBytes(static_cast<size_t>(state.range(0)));
  for (auto _ : state) {
    benchmark::DoNotOptimize(crc32(0, data.data(), static_cast<uInt>(data.size())));
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * data.size()));
}
BENCHMARK(BM_ZlibCrc32)->Arg(64)->Arg(1 << 20);

void ReportSize(benchmark::State& state, size_t input, size_t output) {
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * input));
  state.counters["compressed_bytes"] = static_cast<double>(output);
  state.counters["ratio"] = static_cast<double>(input) / static_cast<double>(output);
}

void BM_DeflateRawScreenshot(benchmark::State& state) {
  const std::vector<uint8_t> rows = ScreenshotRows();
  std::vector<uint8_t> out(rows.size() * 11 / 10 + 12);
  int written = 0;
  for (auto _ : state) {
    written = qor::DeflateRaw(rows.data(), rows.size(), out.data(), out.size());
    benchmark::DoNotOptimize(written);
  }
  ReportSize(state, rows.size(), static_cast<size_t>(written));
}
BENCHMARK(BM_DeflateRawScreenshot)->Unit(benchmark::kMillisecond);

// zlib at its default level (zlib framing adds 6 bytes to the same stream).
void BM_ZlibDefaultScreenshot(benchmark::State& state) {
  const std::vector<uint8_t> rows = ScreenshotRows();
  std::vector<uint8_t> out(compressBound(static_cast<uLong>(rows.size())));
  uLongf written = 0;
  for (auto _ : state) {
    written = static_cast<uLongf>(out.size());
    compress2(out.data(), &written, rows.data(), static_cast<uLong>(rows.size()),
              Z_DEFAULT_COMPRESSION);
    benchmark::DoNotOptimize(written);
  }
  ReportSize(state, rows.size(), written);
}
BENCHMARK(BM_ZlibDefaultScreenshot)->Unit(benchmark::kMillisecond);

void BM_BlowfishCrypt16(benchmark::State& state) {
  std::string text = "0123456789abcdef";
  for (auto _ : state) {
    qor::BlowfishCrypt(reinterpret_cast<uint8_t*>(text.data()), text.size(), true, false, 0, 0,
                       "smtp.example.org");
    benchmark::DoNotOptimize(text.data());
  }
}
BENCHMARK(BM_BlowfishCrypt16)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
