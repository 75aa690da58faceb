// Decorations: the bevel frame and an image that shows a bitmap resource.
#pragma once

#include "gui/control.h"

namespace gui {

// A bevel has no window of its own: the form draws its etched frame, so
// that the area inside shows the form's face and the controls on it.
class Bevel {
 public:
  Bevel(Form& form, int left, int top, int width, int height);
  ~Bevel();
  Bevel(const Bevel&) = delete;
  Bevel& operator=(const Bevel&) = delete;

  int Left() const { return left_; }
  int Top() const { return top_; }
  int Width() const { return width_; }
  int Height() const { return height_; }
  void Paint(HDC dc) const;

 private:
  Form& form_;
  int left_, top_, width_, height_;
};

class Image : public Control {
 public:
  // Shows the bitmap resource `resource_id` of the program.
  Image(Form& form, int id, int left, int top, int width, int height, int resource_id);
  ~Image() override;

 private:
  HBITMAP bitmap_;
};

}  // namespace gui
