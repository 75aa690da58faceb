// Printing the report in Courier New 8 pt with word wrap and page breaks.
#include <windows.h>
#include <commdlg.h>

#include "crash/core/print_layout.h"
#include "crash/core/report_actions.h"
#include "crash/delivery/mail_client_hooks.h"

namespace qor {
namespace {

// The printer DC of the print dialog with its settings blocks; all freed
// on every path.
class PrinterChoice {
 public:
  explicit PrinterChoice(HWND owner) {
    dialog_.lStructSize = sizeof dialog_;
    dialog_.hwndOwner = owner;
    dialog_.Flags = PD_NOSELECTION | PD_NOPAGENUMS | PD_NOWARNING | PD_RETURNDC |
                    PD_USEDEVMODECOPIESANDCOLLATE | PD_HIDEPRINTTOFILE | PD_NONETWORKBUTTON;
    chosen_ = PrintDlgA(&dialog_) != 0 && dialog_.hDC != nullptr;
  }
  PrinterChoice(const PrinterChoice&) = delete;
  PrinterChoice& operator=(const PrinterChoice&) = delete;
  ~PrinterChoice() {
    if (dialog_.hDC) DeleteDC(dialog_.hDC);
    if (dialog_.hDevMode) GlobalFree(dialog_.hDevMode);
    if (dialog_.hDevNames) GlobalFree(dialog_.hDevNames);
  }
  HDC dc() const { return chosen_ ? dialog_.hDC : nullptr; }

 private:
  PRINTDLGA dialog_{};
  bool chosen_ = false;
};

// A font selected into a DC, restored and deleted on every path.
class SelectedFont {
 public:
  SelectedFont(HDC dc, HFONT font) : dc_(dc), font_(font) {
    previous_ = font_ ? SelectObject(dc_, font_) : nullptr;
  }
  SelectedFont(const SelectedFont&) = delete;
  SelectedFont& operator=(const SelectedFont&) = delete;
  ~SelectedFont() {
    if (previous_) SelectObject(dc_, previous_);
    if (font_) DeleteObject(font_);
  }
  bool ok() const { return previous_ != nullptr; }

 private:
  HDC dc_;
  HFONT font_;
  HGDIOBJ previous_ = nullptr;
};

PrinterMeasures MeasuresOf(HDC dc) {
  return {GetDeviceCaps(dc, HORZRES),        GetDeviceCaps(dc, VERTRES),
          GetDeviceCaps(dc, HORZSIZE),       GetDeviceCaps(dc, VERTSIZE),
          GetDeviceCaps(dc, PHYSICALOFFSETX), GetDeviceCaps(dc, PHYSICALOFFSETY)};
}

bool PrintPages(HDC dc, const std::vector<PrintedLine>& lines, const PrintFrame& frame) {
  const std::string name(ExceptSettings.ButtonCaptions[2].View());
  DOCINFOA document{};
  document.cbSize = sizeof document;
  document.lpszDocName = name.c_str();
  if (StartDocA(dc, &document) <= 0) return false;
  bool ok = StartPage(dc) > 0;
  int page = 0;
  for (const PrintedLine& line : lines) {
    if (!ok) break;
    if (line.page != page) {
      page = line.page;
      ok = EndPage(dc) > 0 && StartPage(dc) > 0;
    }
    ok = ok && TextOutA(dc, frame.left, line.y, line.text.data(),
                        static_cast<int>(line.text.size()));
  }
  ok = ok && EndPage(dc) > 0;
  if (!ok) {
    AbortDoc(dc);
    return false;
  }
  return EndDoc(dc) > 0;
}

}  // namespace

bool PrintReport(const std::string& report, void* owner_window) {
  if (LoaderLockHeld()) {
    MessageBeep(0);
    return false;
  }
  PrinterChoice printer(static_cast<HWND>(owner_window));
  const HDC dc = printer.dc();
  if (!dc) return false;
  SetMapMode(dc, MM_TEXT);
  PrintFrame frame;
  if (!PrintFrameFor(MeasuresOf(dc), frame)) return false;
  SelectedFont font(dc, CreateFontA(-(GetDeviceCaps(dc, LOGPIXELSY) * 8 / 72), 0, 0, 0,
                                    FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0,
                                    "Courier New"));
  if (!font.ok()) return false;
  TEXTMETRICA metrics{};
  GetTextMetricsA(dc, &metrics);
  const int line_height = metrics.tmHeight + metrics.tmExternalLeading;
  const auto width = [dc](std::string_view text) {
    SIZE size{};
    GetTextExtentPoint32A(dc, text.data(), static_cast<int>(text.size()), &size);
    return static_cast<int>(size.cx);
  };
  return PrintPages(dc, LayoutReport(report, frame, line_height, width), frame);
}

}  // namespace qor
