#include "app/form1.h"

#include <vector>

#include "app/form1_ids.h"
#include "engine/device_walk.h"
#include "engine/privileges.h"
#include "gui/application.h"
#include "gui/confirm_box.h"

namespace app {
namespace {

using engine::InstrumentKind;
using gui::Label;

const char kFontName[] = "Verdana";
const char kTitle[] = "Uninstall Varnel USB drivers";
const char kLabel1Start[] = "This utility will remove the Varnel USB drivers from your system.";
const char kLabel2Start[] =
    "Disconnect the instrument from the computer and (if applicable) the external power supply.";
const char kNotAdmin[] = "You must have administrator privileges to run this application.";
const char kRemoved[] = "USB drivers are now removed from your system.";
const char kRestartQuestion[] =
    "Before the instrument can be connected again, the computer needs to be restarted.\n"
    "Restart now?";
// On 64-bit Windows the probe and the removal run in the 64-bit helper;
// these come before the reason why they could not.
const char kNotPossible[] = "Removal is not possible here. ";
const char kNotFinished[] = "The removal did not finish; drivers may remain.";
const UINT_PTR kTimer1Id = 1;
const COLORREF kPureRed = RGB(255, 0, 0);

int CheckBoxId(InstrumentKind kind) { return kFirstCheckBoxId + static_cast<int>(kind); }

}  // namespace

TForm1::TForm1(engine::DevicePlatform& platform, InstrumentRemoval& removal)
    : gui::Form("Uninstall Varnel USB Drivers", 548, 319, kFontName, 11),
      platform_(platform),
      removal_(removal),
      ContinueBtn(*this, kContinueBtnId, 184, 272, 75, 25),
      CancelBtn(*this, kCancelBtnId, 288, 272, 75, 25),
      cbQ4Diff(*this, CheckBoxId(InstrumentKind::Q4Diff), 151, 104, 381, 17),
      cbQ4(*this, CheckBoxId(InstrumentKind::Q4), 151, 124, 381, 17),
      cbQ3(*this, CheckBoxId(InstrumentKind::Q3), 151, 144, 381, 17),
      cbQ2(*this, CheckBoxId(InstrumentKind::Q2), 151, 164, 381, 17),
      cbK2(*this, CheckBoxId(InstrumentKind::K2), 151, 184, 381, 17),
      cbD801(*this, CheckBoxId(InstrumentKind::D801), 151, 204, 381, 17),
      cbD805(*this, CheckBoxId(InstrumentKind::D805), 151, 84, 385, 17),
      cbK3(*this, CheckBoxId(InstrumentKind::K3), 151, 64, 378, 17),
      VarnelImage(*this, kVarnelImageId, 8, 8, 120, 120, kVarnelLogoId),
      OstrelImage(*this, kOstrelImageId, 8, 136, 120, 120, kOstrelLogoId),
      BrumImage(*this, kBrumImageId, 424, 131, 120, 120, kBrumLogoId),
      TitleLabel(*this, kTitleLabelId, 216, 13, 0, 0, Label::Sizing::kAutoSize,
                 Label::Wrap::kSingleLine),
      Label1(*this, kLabel1Id, 143, 41, 396, 13, Label::Sizing::kFixed, Label::Wrap::kSingleLine),
      Label2(*this, kLabel2Id, 143, 232, 388, 28, Label::Sizing::kFixed, Label::Wrap::kWordWrap),
      Bevel1(*this, 136, 8, 404, 301),
      Timer1(*this, kTimer1Id, 100) {
  // Design state: every box and both buttons disabled, K3 and the partner
  // logos hidden.
  for (const engine::InstrumentEntry& entry : engine::InstrumentTable())
    CheckBoxOf(entry.kind).SetEnabled(false);
  cbK3.SetVisible(false);
  OstrelImage.SetVisible(false);
  BrumImage.SetVisible(false);
  ContinueBtn.SetEnabled(false);
  CancelBtn.SetEnabled(false);
  TitleLabel.SetFont(kFontName, 19, gui::kFontRegular);

  OnCreate = [this] { FormCreate(); };
  OnActivate = [this] { FormActivate(); };
  OnClick = [this] { FormClick(); };
  Timer1.OnTimer = [this] { Timer1Timer(); };
  ContinueBtn.OnClick = [this] { ContinueBtnClick(); };
  CancelBtn.OnClick = [this] { CancelBtnClick(); };
  DoCreate();
}

gui::CheckBox& TForm1::CheckBoxOf(InstrumentKind kind) {
  switch (kind) {
    case InstrumentKind::K3: return cbK3;
    case InstrumentKind::D805: return cbD805;
    case InstrumentKind::Q4Diff: return cbQ4Diff;
    case InstrumentKind::Q4: return cbQ4;
    case InstrumentKind::Q3: return cbQ3;
    case InstrumentKind::Q2: return cbQ2;
    case InstrumentKind::K2: return cbK2;
    case InstrumentKind::D801: return cbD801;
  }
  return cbD801;  // not reached: every kind is listed above
}

void TForm1::FormCreate() {
  SetCaption(kTitle);
  TitleLabel.SetCaption(kTitle);  // fits the label's width to the new text
  TitleLabel.SetLeft(Bevel1.Left() + (Bevel1.Width() - TitleLabel.Width()) / 2);

  Label1.SetCaption(kLabel1Start);
  for (const engine::InstrumentEntry& entry : engine::InstrumentTable())
    CheckBoxOf(entry.kind).SetCaption(entry.caption);
  Label2.SetCaption(kLabel2Start);
  ContinueBtn.SetCaption("Continue");
  CancelBtn.SetCaption("Cancel");

  int centre = Bevel1.Left() + Bevel1.Width() / 2;
  ContinueBtn.SetLeft(centre - (ContinueBtn.Width() + 4));
  CancelBtn.SetLeft(centre + 4);
}

void TForm1::FormActivate() {
  Timer1.SetEnabled(true);
  gui::Application::Instance().SetCursor(gui::Cursor::kHourGlass);
}

void TForm1::ShowNotice(const std::string& text) {
  Label2.SetCaption(text);
  Label2.SetTextColour(kPureRed);
  Label2.SetFontStyle(gui::kFontBold);
}

void TForm1::Timer1Timer() {
  Timer1.SetEnabled(false);

  auto table = engine::InstrumentTable();
  std::vector<InstrumentKind> visible;
  for (const engine::InstrumentEntry& entry : table)
    if (CheckBoxOf(entry.kind).Visible()) visible.push_back(entry.kind);
  const std::string failure = removal_.Probe(visible, [&](InstrumentKind kind, bool present) {
    gui::CheckBox& box = CheckBoxOf(kind);
    box.SetEnabled(present);
    box.SetChecked(box.Enabled());
    if (kind != table.back().kind) gui::Application::Instance().ProcessMessages();
  });

  if (!failure.empty()) {
    // Nothing is known, so nothing can be offered: no silent half removal.
    ContinueBtn.SetEnabled(false);
    ShowNotice(kNotPossible + failure);
  } else if (platform_.IsNtFamily() && !engine::IsAdmin(platform_)) {
    ContinueBtn.SetEnabled(false);
    ShowNotice(kNotAdmin);
  } else {
    ContinueBtn.SetEnabled(true);
  }
  CancelBtn.SetEnabled(true);
  gui::Application::Instance().SetCursor(gui::Cursor::kDefault);
}

void TForm1::ContinueBtnClick() {
  gui::Application::Instance().SetCursor(gui::Cursor::kHourGlass);
  ContinueBtn.SetEnabled(false);
  CancelBtn.SetEnabled(false);

  // All ticked kinds go in one removal, so that what only they use goes and
  // what an unticked kind still uses stays.
  std::vector<engine::InstrumentKind> ticked;
  for (const engine::InstrumentEntry& entry : engine::InstrumentTable())
    if (CheckBoxOf(entry.kind).Checked()) ticked.push_back(entry.kind);
  const InstrumentRemoval::Outcome outcome = removal_.Remove(ticked);

  ContinueBtn.SetEnabled(false);
  CancelBtn.SetEnabled(true);
  CancelBtn.SetCaption("Exit");
  gui::Application::Instance().SetCursor(gui::Cursor::kDefault);
  if (!outcome.failure.empty()) {
    Label1.SetCaption(kNotFinished);
    ShowNotice(outcome.failure);
    return;
  }
  Label1.SetCaption(kRemoved);
  Label2.SetCaption("");

  if (!outcome.restart) return;
  if (gui::Confirm(Handle(), kRestartQuestion) == gui::Answer::kYes) {
    if (engine::EnablePrivilege(platform_, "SeShutdownPrivilege", true)) ExitWindowsEx(EWX_REBOOT, 0);
  } else {
    Label2.SetCaption(kRestartQuestion);
  }
}

void TForm1::CancelBtnClick() { gui::Application::Instance().Terminate(); }

void TForm1::FormClick() {}

}  // namespace app
