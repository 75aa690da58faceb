#include "gui/picture.h"

#include "gui/form.h"

namespace gui {

Bevel::Bevel(Form& form, int left, int top, int width, int height)
    : form_(form), left_(left), top_(top), width_(width), height_(height) {
  form.Register(*this);
}

Bevel::~Bevel() { form_.Unregister(*this); }

void Bevel::Paint(HDC dc) const {
  RECT frame = {left_, top_, left_ + width_, top_ + height_};
  DrawEdge(dc, &frame, EDGE_ETCHED, BF_RECT);
}

Image::Image(Form& form, int id, int left, int top, int width, int height, int resource_id)
    : Control(form, id, "STATIC", WS_VISIBLE | SS_BITMAP | SS_CENTERIMAGE, left, top, width,
              height),
      // The artwork's background (the colour of its first pixel) becomes the
      // window's face colour, so no square of another colour frames it.
      bitmap_(static_cast<HBITMAP>(LoadImageA(GetModuleHandleA(nullptr),
                                              MAKEINTRESOURCEA(resource_id), IMAGE_BITMAP, 0, 0,
                                              LR_LOADTRANSPARENT | LR_LOADMAP3DCOLORS))) {
  SendMessageA(Handle(), STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(bitmap_));
  // SS_BITMAP resizes the control to the bitmap; keep the designed bounds.
  SetBounds(left, top, width, height);
}

Image::~Image() {
  // The control must let go of the bitmap before it is deleted.
  SendMessageA(Handle(), STM_SETIMAGE, IMAGE_BITMAP, 0);
  if (bitmap_) DeleteObject(bitmap_);
}

}  // namespace gui
