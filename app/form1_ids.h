// Control identifiers of the main window. The end-to-end test finds the
// controls by these, as a user finds them by their place on the screen.
#pragma once

namespace app {

enum Form1ControlId : int {
  kContinueBtnId = 1001,
  kCancelBtnId = 1002,
  kTitleLabelId = 1003,
  kLabel1Id = 1004,
  kLabel2Id = 1005,
  kVarnelImageId = 1007,
  kOstrelImageId = 1008,
  kBrumImageId = 1009,
  // One check box per instrument kind: kFirstCheckBoxId + the kind's number.
  kFirstCheckBoxId = 1100,
};

// Bitmap and icon resources of the program, and the 64-bit helper it
// carries (RCDATA).
enum Form1ResourceId : int {
  kMainIconId = 1,
  kVarnelLogoId = 101,
  kOstrelLogoId = 102,
  kBrumLogoId = 103,
  kRemoval64Id = 201,
};

}  // namespace app
