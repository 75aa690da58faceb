// Static text. Either sized to its text (one line) or of a fixed size, with
// or without word wrap.
#pragma once

#include "gui/control.h"

namespace gui {

class Label : public Control {
 public:
  enum class Sizing { kAutoSize, kFixed };
  enum class Wrap { kSingleLine, kWordWrap };

  Label(Form& form, int id, int left, int top, int width, int height, Sizing sizing, Wrap wrap);

  void SetCaption(const std::string& text) override;
  void SetFont(const std::string& name, int height_px, unsigned style);
  void SetFontStyle(unsigned style);

 private:
  void FitToText();

  Sizing sizing_;
};

}  // namespace gui
