// The screenshot's colour path against reference libraries, on the same
// true-colour pictures in one run:
// - our quantiser (QuantizeColors and the 5-5-5 cached mapping) against
//   libimagequant (quantise and remap, no dithering), both on one thread:
//   time, PSNR against the original and the size of the PNG that EncodePng
//   makes of each result;
// - EncodePng against libpng writing the same 8-bit palette image, once
//   with our settings (zlib level 2, no row filters) and once with its
//   defaults: time and size.
// At the end it prints our time as a ratio of the reference's.
#include <benchmark/benchmark.h>
#include <png.h>

#include <array>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "bench/screenshot_pictures.h"
#include "crash/attach/png_writer.h"

namespace {

using qor::bench::Indexed;
using qor::bench::LiqColors;
using qor::bench::OurColors;
using qor::bench::Picture;

std::vector<Picture>& Pictures() {
  static std::vector<Picture> pictures = qor::bench::LoadPictures();
  return pictures;
}

template <Indexed (*Quantize)(const Picture&)>
void BM_Quantize(benchmark::State& state, const Picture* p) {
  Indexed indexed;
  for (auto _ : state) {
    indexed = Quantize(*p);
    benchmark::DoNotOptimize(indexed.rows.data());
  }
  state.counters["psnr_db"] = qor::bench::Psnr(*p, indexed);
  state.counters["png_bytes"] =
      double(qor::EncodePng(p->width, p->height, indexed.palette, indexed.rows).size());
}

void BM_EncodePng(benchmark::State& state, const Picture* p) {
  const Indexed indexed = OurColors(*p);
  std::vector<uint8_t> png;
  for (auto _ : state) {
    png = qor::EncodePng(p->width, p->height, indexed.palette, indexed.rows);
    benchmark::DoNotOptimize(png.data());
  }
  state.counters["png_bytes"] = double(png.size());
}

void Append(png_structp png, png_bytep data, size_t size) {
  auto* out = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(png));
  out->insert(out->end(), data, data + size);
}
void Flush(png_structp) {}

// libpng writing the same palette image; `ours` selects zlib level 2 and
// no row filters, otherwise libpng's defaults.
std::vector<uint8_t> LibpngEncode(const Picture& p, const Indexed& indexed, bool ours) {
  std::vector<uint8_t> out;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    return {};
  }
  png_set_write_fn(png, &out, Append, Flush);
  png_set_IHDR(png, info, p.width, p.height, 8, PNG_COLOR_TYPE_PALETTE, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  std::array<png_color, 256> palette;
  for (int k = 0; k < 256; ++k) {
    palette[k] = {indexed.palette[3 * k], indexed.palette[3 * k + 1], indexed.palette[3 * k + 2]};
  }
  png_set_PLTE(png, info, palette.data(), 256);
  if (ours) {
    png_set_compression_level(png, 2);
    png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_NONE);
  }
  png_write_info(png, info);
  for (uint32_t y = 0; y < p.height; ++y) {
    png_write_row(png, indexed.rows.data() + size_t{y} * (p.width + 1) + 1);
  }
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  return out;
}

void BM_Libpng(benchmark::State& state, const Picture* p, bool ours) {
  const Indexed indexed = OurColors(*p);
  std::vector<uint8_t> png;
  for (auto _ : state) {
    png = LibpngEncode(*p, indexed, ours);
    benchmark::DoNotOptimize(png.data());
  }
  state.counters["png_bytes"] = double(png.size());
}

// Prints, after the runs, how many times faster ours is than each reference
// (processor time: all run on one thread, and the machine may be shared).
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) times_[run.benchmark_name()] = run.GetAdjustedCPUTime();
  }
  void Finalize() override {
    ConsoleReporter::Finalize();
    const std::pair<const char*, const char*> pairs[] = {
        {"Quantize/libimagequant/", "Quantize/ours/"},
        {"EncodePng/libpng_level2_nofilter/", "EncodePng/ours/"},
        {"EncodePng/libpng_default/", "EncodePng/ours/"},
    };
    for (const Picture& p : Pictures()) {
      for (const auto& [reference, ours] : pairs) {
        const auto r = times_.find(reference + p.name);
        const auto o = times_.find(ours + p.name);
        if (r == times_.end() || o == times_.end()) continue;
        std::printf("%-46s takes %.2f times our time\n", (reference + p.name).c_str(),
                    r->second / o->second);
      }
    }
  }

 private:
  std::map<std::string, double> times_;
};

}  // namespace

int main(int argc, char** argv) {
  for (const Picture& p : Pictures()) {
    if (p.bgrx.empty()) {
      std::fprintf(stderr, "cannot read the picture %s\n", p.name.c_str());
      return 1;
    }
  }
  for (const Picture& p : Pictures()) {
    const auto ms = benchmark::kMillisecond;
    benchmark::RegisterBenchmark(("Quantize/ours/" + p.name).c_str(), BM_Quantize<OurColors>, &p)
        ->Unit(ms);
    benchmark::RegisterBenchmark(("Quantize/libimagequant/" + p.name).c_str(),
                                 BM_Quantize<LiqColors>, &p)
        ->Unit(ms);
    benchmark::RegisterBenchmark(("EncodePng/ours/" + p.name).c_str(), BM_EncodePng, &p)->Unit(ms);
    benchmark::RegisterBenchmark(("EncodePng/libpng_level2_nofilter/" + p.name).c_str(), BM_Libpng,
                                 &p, true)
        ->Unit(ms);
    benchmark::RegisterBenchmark(("EncodePng/libpng_default/" + p.name).c_str(), BM_Libpng, &p,
                                 false)
        ->Unit(ms);
  }
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
