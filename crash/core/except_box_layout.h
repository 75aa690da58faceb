// The exception dialog's rules that need no window: which button has the
// focus, where every window of the dialog goes, what closing the dialog
// does, and where the countdown line stands.
#pragma once

#include <array>
#include <functional>

namespace qor {

// Button indexes, which are also the action numbers.
enum BoxButton { kMailButton, kSaveButton, kPrintButton, kShowButton,
                 kContinueButton, kRestartButton, kCloseButton, kCantContinueGlyph };

struct BoxRect {
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
};

struct BoxSize {
  int width = 0;
  int height = 0;
};

// What the layout is made from. `widths` are each caption's text width in
// the dialog font + 39, 0 for a button without caption.
struct BoxMeasures {
  std::array<int, 7> widths{};
  bool big_icon = false;
  bool show_details = false;
  bool can_continue = true;
  int caption_height = 0;
  // The message's size when word-wrapped into the given width.
  std::function<BoxSize(int wrap_width)> message_size;
};

struct BoxLayout {
  int width = 0;            // the dialog's width
  int expanded_width = 0;   // at least 538, the width with the report shown
  std::array<BoxRect, 7> buttons{};  // width 0: no button
  bool continue_disabled = false;
  BoxRect message;
  bool details = false;     // the report box exists
  BoxRect gray_frame, white_frame, edit;  // the edit box inside the white frame
  int collapsed_height = 0;
  int expanded_height = 0;
};

BoxLayout LayoutExceptBox(const BoxMeasures& measures);

// The button that gets the focus: close when the automatic close is due,
// else restart when the automatic restart is due, else continue when it
// is automatic and possible, each only when it has a caption; otherwise
// the configured one.
struct FocusRule {
  bool close_due = false;
  bool restart_due = false;
  bool auto_continue = false;
  bool can_continue = true;
  std::array<bool, 7> exists{};
  int configured = 0;
};
int ResolveFocusedButton(const FocusRule& rule);

// The action that closing the dialog (close box, Escape) runs: the focused
// button's when that is an existing continue, restart or close button;
// else continue when possible, close, restart, in that order of the
// existing buttons; and with none of them, continue when possible, else
// close, so that the dialog can always be left.
int CloseBoxAction(int focused, const std::array<bool, 7>& exists, bool can_continue);

// The countdown line's x position after `elapsed_ms` on a button `width`
// pixels wide that is pressed after `delay_seconds`; beyond `width` the
// button is due.
int CountdownPosition(unsigned elapsed_ms, int width, int delay_seconds);

}  // namespace qor
