// GDI font owned by one control or form.
#pragma once

#include <windows.h>

#include <string>

namespace gui {

enum FontStyle : unsigned { kFontRegular = 0, kFontBold = 1 };

class Font {
 public:
  // A font of `height_px` pixels (character height, as a form designer gives
  // it). Creation failure leaves Handle() null, and controls then keep the
  // system font.
  Font(const std::string& name, int height_px, unsigned style = kFontRegular);
  ~Font();
  Font(const Font&) = delete;
  Font& operator=(const Font&) = delete;

  HFONT Handle() const { return handle_; }
  const std::string& Name() const { return name_; }
  int HeightPx() const { return height_px_; }
  unsigned Style() const { return style_; }

 private:
  std::string name_;
  int height_px_;
  unsigned style_;
  HFONT handle_;
};

}  // namespace gui
