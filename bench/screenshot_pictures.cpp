#include "bench/screenshot_pictures.h"

#include <libimagequant.h>
#include <omp.h>
#include <png.h>

#include <cmath>
#include <utility>

#include "crash/attach/color_quantizer.h"

namespace qor::bench {
namespace {

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

}  // namespace

std::vector<Picture> LoadPictures() {
  return {Load("wine_dialogs", QOR_BENCH_DATA "/wine-dialogs.png"),
          Load("busy_desktop", QOR_BENCH_GENERATED "/busy-desktop.png")};
}

double Psnr(const Picture& p, const Indexed& indexed) {
  double error = 0;
  for (uint32_t y = 0; y < p.height; ++y) {
    for (uint32_t x = 0; x < p.width; ++x) {
      const uint8_t* px = &p.bgrx[4 * (size_t{y} * p.width + x)];
      const uint8_t* entry = &indexed.palette[3 * indexed.rows[size_t{y} * (p.width + 1) + 1 + x]];
      for (int c = 0; c < 3; ++c) {
        const double d = double(entry[c]) - px[2 - c];
        error += d * d;
      }
    }
  }
  const double mse = error / (3.0 * p.width * p.height);
  return 10 * std::log10(255.0 * 255.0 / mse);
}

Indexed OurColors(const Picture& p) {
  Indexed out;
  QuantizeColors(p.bgrx.data(), p.bgrx.size() / 4, out.palette.data(), 256);
  out.rows = ColorIndexRows(p.bgrx, p.width, p.height, out.palette);
  return out;
}

Indexed LiqColors(const Picture& p) {
  omp_set_num_threads(1);
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

}  // namespace qor::bench
