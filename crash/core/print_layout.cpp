#include "crash/core/print_layout.h"

#include <algorithm>

namespace qor {
namespace {

// pixels * tenths_mm / (size_mm * 10), rounded: `mm` millimetres in pixels.
int Pixels(int resolution, int size_mm, int mm) {
  return (resolution * mm * 2 + size_mm) / (size_mm * 2);
}

// The longest prefix of `text` that fits in `width`, at least one byte.
size_t FittingPrefix(std::string_view text, int width, const TextWidth& measure) {
  size_t fit = 1;
  while (fit < text.size() && measure(text.substr(0, fit + 1)) <= width) ++fit;
  return fit;
}

}  // namespace

bool PrintFrameFor(const PrinterMeasures& m, PrintFrame& frame) {
  if (m.horz_size_mm <= 0 || m.vert_size_mm <= 0) return false;
  frame.top = std::max(0, Pixels(m.vert_res, m.vert_size_mm, 10) - m.offset_y);
  frame.left = std::max(0, Pixels(m.horz_res, m.horz_size_mm, 20) - m.offset_x);
  frame.text_width = m.horz_res + m.offset_x - frame.left - Pixels(m.horz_res, m.horz_size_mm, 10);
  frame.usable_height = m.vert_res - 2 * frame.top;
  return frame.text_width > 0 && frame.usable_height > 0;
}

std::vector<std::string> WrapLine(std::string_view line, int width, const TextWidth& measure) {
  std::vector<std::string> pieces;
  while (!line.empty()) {
    if (measure(line) <= width) {
      pieces.emplace_back(line);
      break;
    }
    size_t cut = FittingPrefix(line, width, measure);
    // Prefer the last blank inside the fitting part (or right after it).
    const size_t blank = line.substr(0, cut + 1).find_last_of(' ');
    if (blank != std::string_view::npos && blank > 0) cut = blank;
    std::string_view piece = line.substr(0, cut);
    piece = piece.substr(0, piece.find_last_not_of(' ') + 1);
    if (!piece.empty()) pieces.emplace_back(piece);
    line.remove_prefix(cut);
    line.remove_prefix(std::min(line.size(), line.find_first_not_of(' ')));
  }
  if (pieces.empty()) pieces.emplace_back(" ");
  return pieces;
}

std::vector<PrintedLine> LayoutReport(std::string_view report, const PrintFrame& frame,
                                      int line_height, const TextWidth& measure) {
  std::vector<PrintedLine> placed;
  const int bottom = frame.top + frame.usable_height;
  int page = 0;
  int y = frame.top;
  while (!report.empty()) {
    const size_t end = report.find("\r\n");
    const std::string_view line = report.substr(0, end);
    report.remove_prefix(end == std::string_view::npos ? report.size() : end + 2);
    const std::vector<std::string> pieces = WrapLine(line, frame.text_width, measure);
    const int height = static_cast<int>(pieces.size()) * line_height;
    if (y + height > bottom && y > frame.top) ++page, y = frame.top;
    for (const std::string& piece : pieces) {
      if (y + line_height > bottom && y > frame.top) ++page, y = frame.top;
      placed.push_back({page, y, piece});
      y += line_height;
    }
  }
  return placed;
}

}  // namespace qor
