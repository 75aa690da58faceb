#include "crash/core/except_box_layout.h"

#include <algorithm>

namespace qor {
namespace {

constexpr int kRowStep = 26;
constexpr int kButtonHeight = 22;
constexpr int kMinDetailsWidth = 538;

BoxRect Button(int x, int y, int width) { return {x, y, width - 4, kButtonHeight}; }

}  // namespace

BoxLayout LayoutExceptBox(const BoxMeasures& in) {
  const auto& w = in.widths;
  BoxLayout out;
  const int right_width = std::max({w[kContinueButton], w[kRestartButton], w[kCloseButton]});
  const int left_sum = w[kMailButton] + w[kSaveButton] + w[kPrintButton] + w[kShowButton];
  int rows = (w[kContinueButton] > 0) + (w[kRestartButton] > 0) + (w[kCloseButton] > 0);
  const bool column = rows >= 2 && left_sum > 0;
  if (rows <= 1) rows = 2;  // also with none: the left buttons take one row
  const int right_sum = w[kContinueButton] + w[kRestartButton] + w[kCloseButton];
  const int row_width = left_sum + (column ? right_width : right_sum) + 14;
  int reserved = column ? right_width + 40 : 26;
  if (in.big_icon) reserved += 40;
  const BoxSize text = in.message_size(row_width > kMinDetailsWidth - 1
                                           ? row_width - reserved
                                           : kMinDetailsWidth - reserved);
  out.width = std::max(row_width, text.width + reserved);
  if (in.show_details) out.width = std::max(out.width, kMinDetailsWidth);
  out.expanded_width = std::max(out.width, kMinDetailsWidth);

  int top = in.big_icon && text.height < 26 ? 31 : text.height + 5;
  if (rows == 3) {
    if (column) {
      top = top >= 33 ? top - kRowStep : 7;
    } else {
      rows = 2;
    }
  }
  int x = 6;
  for (int i = kMailButton; i <= kShowButton; ++i) {
    if (w[i] == 0) continue;
    out.buttons[i] = Button(x, top + (rows - 1) * kRowStep, w[i]);
    x += w[i];
  }
  if (column) {
    const int right_x = out.width - right_width - 8;
    if (w[kContinueButton]) out.buttons[kContinueButton] = Button(right_x, top, right_width);
    if (w[kRestartButton]) {
      out.buttons[kRestartButton] =
          Button(right_x, w[kContinueButton] ? top + kRowStep : top, right_width);
    }
    if (w[kCloseButton]) {
      out.buttons[kCloseButton] = Button(right_x, top + (rows - 1) * kRowStep, right_width);
    }
  } else {
    x = out.width - right_sum - 8;
    for (int i = kContinueButton; i <= kCloseButton; ++i) {
      if (w[i] == 0) continue;
      out.buttons[i] = Button(x, top + kRowStep, w[i]);
      x += w[i];
    }
  }
  out.continue_disabled =
      w[kContinueButton] && !in.can_continue && (w[kRestartButton] || w[kCloseButton]);

  const int text_y = in.big_icon && text.height < 26 ? 12 + (26 - text.height) / 2 : 12;
  out.message = {in.big_icon ? 51 : 11, text_y, text.width, text.height};
  top += rows * kRowStep;

  out.details = in.show_details || left_sum > 0;
  if (out.details) {
    out.gray_frame = {6, top + 5, out.expanded_width - 17, 395};
    out.white_frame = {5, top + 4, out.expanded_width - 17, 395};
    out.edit = {7, 6, out.expanded_width - 30, 383};
  }
  out.expanded_height = top + in.caption_height + 411;
  out.collapsed_height = top + in.caption_height + 8;
  return out;
}

int ResolveFocusedButton(const FocusRule& rule) {
  if (rule.close_due && rule.exists[kCloseButton]) return kCloseButton;
  if (rule.restart_due && rule.exists[kRestartButton]) return kRestartButton;
  if (rule.auto_continue && rule.exists[kContinueButton] && rule.can_continue) {
    return kContinueButton;
  }
  return rule.configured;
}

int CloseBoxAction(int focused, const std::array<bool, 7>& exists, bool can_continue) {
  if (focused >= kContinueButton && focused <= kCloseButton && exists[focused]) return focused;
  if (exists[kContinueButton] && can_continue) return kContinueButton;
  if (exists[kCloseButton]) return kCloseButton;
  if (exists[kRestartButton]) return kRestartButton;
  return can_continue ? kContinueButton : kCloseButton;
}

int CountdownPosition(unsigned elapsed_ms, int width, int delay_seconds) {
  if (delay_seconds <= 0) return 0;
  const long long delay = delay_seconds;
  return static_cast<int>((static_cast<long long>(elapsed_ms) * width + delay * 500) /
                          (delay * 1000));
}

}  // namespace qor
