// Where the lines of a printed report go: the margins from the printer's
// measures, word wrapping in the text width, and the breaks between pages.
// The text's width is measured by the caller (the printer's font).
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace qor {

// What the printer says about its page (GetDeviceCaps): resolution in
// pixels, size in millimetres, and the unprintable offsets in pixels.
struct PrinterMeasures {
  int horz_res = 0;
  int vert_res = 0;
  int horz_size_mm = 0;
  int vert_size_mm = 0;
  int offset_x = 0;
  int offset_y = 0;
};

// In device pixels from the printable area's corner: 1 cm top and bottom,
// 2 cm left and 1 cm right of the paper's edges.
struct PrintFrame {
  int left = 0;
  int top = 0;
  int text_width = 0;
  int usable_height = 0;  // the text runs from `top` to `top + usable_height`
};

// False when the printer reports no page size (the frame would be
// meaningless).
bool PrintFrameFor(const PrinterMeasures& measures, PrintFrame& frame);

using TextWidth = std::function<int(std::string_view)>;

// One line cut into pieces no wider than `width`: at blanks where it can
// be, inside a word only when the word alone is too wide. Blanks at a break
// are dropped. An empty line gives one blank piece, so it still takes room.
std::vector<std::string> WrapLine(std::string_view line, int width, const TextWidth& measure);

struct PrintedLine {
  int page = 0;  // from 0
  int y = 0;
  std::string text;
};

// The report split at CR LF, each line wrapped and placed: a wrapped line
// that does not fit on the rest of a page starts the next page, and one
// taller than a page goes on over the break.
std::vector<PrintedLine> LayoutReport(std::string_view report, const PrintFrame& frame,
                                      int line_height, const TextWidth& measure);

}  // namespace qor
