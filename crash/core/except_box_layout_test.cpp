#include "crash/core/except_box_layout.h"

#include <gtest/gtest.h>

namespace qor {
namespace {

constexpr int kCaption = 20;

BoxMeasures Measures(std::array<int, 7> widths, BoxSize message) {
  BoxMeasures m;
  m.widths = widths;
  m.caption_height = kCaption;
  m.message_size = [message](int) { return message; };
  return m;
}

TEST(ExceptBoxLayout, ContinueOnlyIsOneRowWithTheButtonAtTheRightEdge) {
  int wrapped_in = 0;
  BoxMeasures m = Measures({0, 0, 0, 0, 140, 0, 0}, {200, 13});
  m.message_size = [&wrapped_in](int width) {
    wrapped_in = width;
    return BoxSize{200, 13};
  };
  const BoxLayout box = LayoutExceptBox(m);
  EXPECT_EQ(wrapped_in, 538 - 26);
  EXPECT_EQ(box.width, 226);
  const BoxRect& button = box.buttons[kContinueButton];
  EXPECT_EQ(button.x + button.width, box.width - 12);
  EXPECT_EQ(button.y, 13 + 5 + 26);
  EXPECT_EQ(button.height, 22);
  EXPECT_FALSE(box.details) << "nothing to show the report";
  EXPECT_EQ(box.collapsed_height, 18 + 52 + kCaption + 8);
  EXPECT_EQ(box.message.x, 11);
}

TEST(ExceptBoxLayout, ThreeRightButtonsFormAColumnBesideTheReportButtons) {
  BoxMeasures m = Measures({100, 90, 90, 110, 150, 140, 130}, {300, 26});
  m.can_continue = false;
  const BoxLayout box = LayoutExceptBox(m);
  EXPECT_EQ(box.width, 390 + 150 + 14);
  const int right_x = box.width - 150 - 8;
  EXPECT_EQ(box.buttons[kContinueButton].x, right_x);
  EXPECT_EQ(box.buttons[kContinueButton].y, 7);
  EXPECT_EQ(box.buttons[kRestartButton].y, 33);
  EXPECT_EQ(box.buttons[kCloseButton].y, 59);
  EXPECT_EQ(box.buttons[kCloseButton].width, 146) << "the column has one width";
  EXPECT_EQ(box.buttons[kMailButton].x, 6);
  EXPECT_EQ(box.buttons[kShowButton].x, 6 + 100 + 90 + 90);
  EXPECT_EQ(box.buttons[kShowButton].y, 59);
  EXPECT_TRUE(box.continue_disabled);
  ASSERT_TRUE(box.details);
  EXPECT_EQ(box.gray_frame.y, 85 + 5);
  EXPECT_EQ(box.gray_frame.width, box.width - 17);
  EXPECT_EQ(box.expanded_height, 85 + kCaption + 411);
}

TEST(ExceptBoxLayout, BigIconMovesTheMessageAndShowingDetailsWidens) {
  BoxMeasures m = Measures({100, 0, 0, 0, 150, 0, 130}, {120, 13});
  m.big_icon = true;
  m.show_details = true;
  const BoxLayout box = LayoutExceptBox(m);
  EXPECT_EQ(box.message.x, 51);
  EXPECT_EQ(box.message.y, 12 + (26 - 13) / 2);
  EXPECT_EQ(box.width, 538);
  EXPECT_EQ(box.edit.width, 538 - 30);
}

TEST(ExceptBoxRules, FocusCloseAndCountdown) {
  FocusRule rule;
  rule.exists = {true, false, false, true, true, true, true};
  rule.configured = kMailButton;
  EXPECT_EQ(ResolveFocusedButton(rule), kMailButton);
  rule.auto_continue = true;
  EXPECT_EQ(ResolveFocusedButton(rule), kContinueButton);
  rule.can_continue = false;
  EXPECT_EQ(ResolveFocusedButton(rule), kMailButton);
  rule.restart_due = true;
  EXPECT_EQ(ResolveFocusedButton(rule), kRestartButton);
  rule.close_due = true;
  EXPECT_EQ(ResolveFocusedButton(rule), kCloseButton);
  rule.exists[kCloseButton] = false;
  EXPECT_EQ(ResolveFocusedButton(rule), kRestartButton);

  const std::array<bool, 7> all = {true, true, true, true, true, true, true};
  EXPECT_EQ(CloseBoxAction(kRestartButton, all, true), kRestartButton);
  EXPECT_EQ(CloseBoxAction(kMailButton, all, true), kContinueButton);
  EXPECT_EQ(CloseBoxAction(kMailButton, all, false), kCloseButton);
  const std::array<bool, 7> mail_only = {true, false, false, false, false, false, false};
  EXPECT_EQ(CloseBoxAction(kCloseButton, mail_only, true), kContinueButton)
      << "no close button to act as focused";
  EXPECT_EQ(CloseBoxAction(kMailButton, mail_only, false), kCloseButton);

  EXPECT_EQ(CountdownPosition(0, 136, 60), 0);
  EXPECT_EQ(CountdownPosition(30000, 136, 60), 68);
  EXPECT_EQ(CountdownPosition(60000, 136, 60), 136);
  EXPECT_GT(CountdownPosition(60500, 136, 60), 136) << "due";
  EXPECT_EQ(CountdownPosition(5000, 136, 0), 0) << "no countdown";
}

}  // namespace
}  // namespace qor
