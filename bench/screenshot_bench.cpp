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
#include <libimagequant.h>
#include <omp.h>
#include <png.h>

#include <array>
#include <cmath>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "crash/attach/color_quantizer.h"
#include "crash/attach/palette_image.h"
#include "crash/attach/png_writer.h"

namespace {

struct Picture {
  std::string name;
  uint32_t width = 0;
  uint32_t height = 0;
  std::vector<uint8_t> bgrx;  // as the capture gives it
  std::vector<uint8_t> rgba;  // as libimagequant takes it
};

Picture Load(const std::string& name, const std::string& path) {
  Picture p{name};
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&image, path.c_str())) return p;
  image.format = PNG_FORMAT_BGRA;
  p.bgrx.resize(PNG_IMAGE_SIZE(image));
  if (!png_image_finish_read(&image, nullptr, p.bgrx.data(), 0, nullptr)) {
    p.bgrx.clear();
    return p;
  }
  p.width = image.width;
  p.height = image.height;
  p.rgba = p.bgrx;
  for (size_t i = 0; i < p.rgba.size(); i += 4) {
    std::swap(p.rgba[i], p.rgba[i + 2]);
    p.rgba[i + 3] = 255;
  }
  return p;
}

std::vector<Picture>& Pictures() {
  static std::vector<Picture> pictures;
  return pictures;
}

// Peak signal-to-noise ratio of the indexed image against the original,
// over the three colour channels.
double Psnr(const Picture& p, const uint8_t* palette, const std::vector<uint8_t>& rows) {
  double error = 0;
  for (uint32_t y = 0; y < p.height; ++y) {
    for (uint32_t x = 0; x < p.width; ++x) {
      const uint8_t* px = &p.bgrx[4 * (size_t{y} * p.width + x)];
      const uint8_t* entry = &palette[3 * rows[size_t{y} * (p.width + 1) + 1 + x]];
      for (int c = 0; c < 3; ++c) {
        const double d = double(entry[c]) - px[2 - c];
        error += d * d;
      }
    }
  }
  const double mse = error / (3.0 * p.width * p.height);
  return 10 * std::log10(255.0 * 255.0 / mse);
}

struct Indexed {
  std::array<uint8_t, qor::kColorPaletteBytes> palette{};
  std::vector<uint8_t> rows;  // PNG rows: filter byte and indexes
};

Indexed OurColors(const Picture& p) {
  Indexed out;
  qor::QuantizeColors(p.bgrx.data(), p.bgrx.size() / 4, out.palette.data(), 256);
  out.rows = qor::ColorIndexRows(p.bgrx, p.width, p.height, out.palette);
  return out;
}

Indexed LiqColors(const Picture& p) {
  Indexed out;
  liq_attr* attr = liq_attr_create();
  liq_image* image = liq_image_create_rgba(attr, p.rgba.data(), int(p.width), int(p.height), 0);
  liq_result* result = nullptr;
  std::vector<uint8_t> indexes(size_t{p.width} * p.height);
  if (liq_image_quantize(image, attr, &result) == LIQ_OK) {
    liq_set_dithering_level(result, 0);
    liq_write_remapped_image(result, image, indexes.data(), indexes.size());
    const liq_palette* palette = liq_get_palette(result);
    for (unsigned k = 0; k < palette->count; ++k) {
      out.palette[3 * k] = palette->entries[k].r;
      out.palette[3 * k + 1] = palette->entries[k].g;
      out.palette[3 * k + 2] = palette->entries[k].b;
    }
    liq_result_destroy(result);
  }
  liq_image_destroy(image);
  liq_attr_destroy(attr);
  for (uint32_t y = 0; y < p.height; ++y) {
    out.rows.push_back(0);
    out.rows.insert(out.rows.end(), indexes.begin() + size_t{y} * p.width,
                    indexes.begin() + size_t{y + 1} * p.width);
  }
  return out;
}

template <Indexed (*Quantize)(const Picture&)>
void BM_Quantize(benchmark::State& state, const Picture* p) {
  Indexed indexed;
  for (auto _ : state) {
    indexed = Quantize(*p);
    benchmark::DoNotOptimize(indexed.rows.data());
  }
  state.counters["psnr_db"] = Psnr(*p, indexed.palette.data(), indexed.rows);
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
        std::printf("%-40s ours is %.1fx faster\n", (reference + p.name).c_str(),
                    r->second / o->second);
      }
    }
  }

 private:
  std::map<std::string, double> times_;
};

}  // namespace

int main(int argc, char** argv) {
  // One thread for libimagequant too: the screenshot runs on one.
  omp_set_num_threads(1);
  const std::pair<std::string, std::string> files[] = {
      {"wine_dialogs", QOR_BENCH_DATA "/wine-dialogs.png"},
      {"busy_desktop", QOR_BENCH_GENERATED "/busy-desktop.png"},
  };
  for (const auto& [name, file] : files) {
    Picture p = Load(name, file);
    if (p.bgrx.empty()) {
      std::fprintf(stderr, "cannot read %s\n", file.c_str());
      return 1;
    }
    Pictures().push_back(std::move(p));
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
