// The small window that shows how far the stack traces of a report are
// (Windows only). The trace runs without a message loop, so the window is
// painted by the code that sets its value, from an off-screen bitmap.
#pragma once

#include <windows.h>

#include <array>
#include <cstdint>
#include <memory>

#include "crash/stack/progress.h"

namespace qor {

// A top-most popup of the system class "STATIC", without caption, half the
// full-screen width wide and 23 pixels high, centred in the full-screen
// area; a frame around a bar that fills from the left with the value and
// shows it as a percentage.
class TProgressBar : public ProgressWindow {
 public:
  // Makes the hidden window and its bitmap; nullptr when the system
  // refuses the window or any GDI object.
  static std::unique_ptr<TProgressBar> Create();
  // Hides the window (the windows below repaint its area), releases the
  // GDI objects and destroys the window.
  ~TProgressBar() override;
  TProgressBar(const TProgressBar&) = delete;
  TProgressBar& operator=(const TProgressBar&) = delete;

  // Shows the window without activating it and paints it whole.
  void Show() override;
  // Shows `per_mille` (clamped to 0..1000); draws nothing when neither the
  // filled width nor the percentage text changes.
  void SetValue(int64_t per_mille) override;

  HWND Handle() const { return window_.Get(); }
  // The GDI objects the bar owns (memory DC, bitmap, font), so that a test
  // can see that each is gone after the bar.
  std::array<HGDIOBJ, 3> GdiObjects() const;

 private:
  // Owns one handle and gives it to `Release`; nullptr is none.
  template <typename Handle, auto Release>
  class Owned {
   public:
    explicit Owned(Handle handle = nullptr) : handle_(handle) {}
    ~Owned() { Reset(nullptr); }
    Owned(const Owned&) = delete;
    Owned& operator=(const Owned&) = delete;
    Handle Get() const { return handle_; }
    void Reset(Handle handle) {
      if (handle_) Release(handle_);
      handle_ = handle;
    }

   private:
    Handle handle_;
  };
  using GdiObject = Owned<HGDIOBJ, DeleteObject>;
  using MemoryDc = Owned<HDC, DeleteDC>;
  using OwnedWindow = Owned<HWND, DestroyWindow>;

  // Selects an object into a DC and puts the previous one back, so that
  // the object can be deleted afterwards (a selected object cannot be).
  class Selection {
   public:
    Selection() = default;
    ~Selection() { Reset(); }
    Selection(const Selection&) = delete;
    Selection& operator=(const Selection&) = delete;
    // Does not take ownership of `dc` or `object`.
    void Select(HDC dc, HGDIOBJ object);
    void Reset();

   private:
    HDC dc_ = nullptr;
    HGDIOBJ previous_ = nullptr;
  };

  TProgressBar() = default;
  bool Initialize();
  void PaintFrame();
  RECT BarRect() const;
  void PaintBar();
  void CopyToWindow(const RECT& part);
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

  // Declared first so it goes last: the GDI objects are released before
  // the window is destroyed.
  OwnedWindow window_;
  WNDPROC static_proc_ = nullptr;
  int width_ = 0;
  int height_ = 0;
  GdiObject bitmap_;
  GdiObject font_;
  MemoryDc dc_;
  Selection bitmap_selection_;
  Selection font_selection_;
  int filled_ = 0;   // width of the filled part in the bitmap
  int percent_ = 0;  // percentage in the bitmap
};

// Fills `progress_hooks` with the system's tick count and a factory of
// TProgressBar, so that every report's TProgress may show the window.
void InstallProgressWindow();

}  // namespace qor
