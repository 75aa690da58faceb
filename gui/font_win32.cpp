#include "gui/font.h"

namespace gui {

Font::Font(const std::string& name, int height_px, unsigned style)
    : name_(name), height_px_(height_px), style_(style) {
  // A negative height asks for the character height rather than the cell height.
  handle_ = CreateFontA(-height_px, 0, 0, 0, (style & kFontBold) ? FW_BOLD : FW_NORMAL, FALSE,
                        FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                        DEFAULT_QUALITY, DEFAULT_PITCH | FF_SWISS, name.c_str());
}

Font::~Font() {
  if (handle_) DeleteObject(handle_);
}

}  // namespace gui
