// The main window: it probes which instrument kinds are installed, lets the
// user choose which to remove, removes them, and offers the restart.
#pragma once

#include <array>
#include <string>

#include "app/instrument_removal.h"
#include "engine/device_platform.h"
#include "engine/instrument_table.h"
#include "gui/button.h"
#include "gui/form.h"
#include "gui/label.h"
#include "gui/picture.h"
#include "gui/timer.h"

namespace app {

class TForm1 : public gui::Form {
 public:
  // `platform` and `removal` must outlive the window.
  TForm1(engine::DevicePlatform& platform, InstrumentRemoval& removal);

  void FormCreate();
  void FormActivate();
  void Timer1Timer();
  void ContinueBtnClick();
  void CancelBtnClick();
  void FormClick();

 private:
  gui::CheckBox& CheckBoxOf(engine::InstrumentKind kind);
  // Shows `text` in Label2 as a notice: red and bold.
  void ShowNotice(const std::string& text);

  engine::DevicePlatform& platform_;
  InstrumentRemoval& removal_;

  // Declared in tab order: creation order is the order of the Tab key.
  gui::Button ContinueBtn;
  gui::Button CancelBtn;
  gui::CheckBox cbQ4Diff;
  gui::CheckBox cbQ4;
  gui::CheckBox cbQ3;
  gui::CheckBox cbQ2;
  gui::CheckBox cbK2;
  gui::CheckBox cbD801;
  gui::CheckBox cbD805;
  gui::CheckBox cbK3;
  gui::Image VarnelImage;
  gui::Image OstrelImage;
  gui::Image BrumImage;
  gui::Label TitleLabel;
  gui::Label Label1;
  gui::Label Label2;
  gui::Bevel Bevel1;
  gui::Timer Timer1;
};

}  // namespace app
