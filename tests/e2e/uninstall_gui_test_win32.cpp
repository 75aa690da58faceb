// Drives Uninstall.exe as a user would, under Wine: simulated instruments are
// created with the fixture tool, the program's window is read and clicked,
// and the device database is inspected afterwards.
//   uninstall_gui_test <Uninstall.exe> <varnel_fixture.exe>
#include <windows.h>
#include <setupapi.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

#include "app/form1_ids.h"
#include "tests/e2e/e2e_support_win32.h"

namespace {

using namespace e2e;

const char kRestartQuestion[] =
    "Before the instrument can be connected again, the computer needs to be restarted.\n"
    "Restart now?";


// The boxes' enabled and checked states as one text, "EC" per box in kind order.
std::string BoxStates(HWND form) {
  std::string states;
  for (int kind = K3; kind <= D801; ++kind) {
    ControlState box = Read(form, BoxId(kind));
    states += box.enabled ? 'E' : '-';
    states += box.checked ? 'C' : '-';
    states += ' ';
  }
  return states;
}

// A probe may be running again when the form is activated once more; wait
// until the boxes keep the same state for a few seconds.
std::string SettledBoxStates(HWND form) {
  std::string previous = BoxStates(form);
  for (int i = 0; i < 60; ++i) {
    std::this_thread::sleep_for(std::chrono::seconds(3));
    std::string now = BoxStates(form);
    if (now == previous) return now;
    std::printf("boxes: %s\n", now.c_str());
    previous = now;
  }
  return previous;
}

class UninstallWindow : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(RunFixture("clear"), 0u);
    for (const char* id : {kD805, kQ3, kQ2, kAdapter, kK3, kOther}) {
      ASSERT_EQ(RunFixture(std::string("add ") + id), 0u) << id;
      CreateDeviceKeys(id);
      ASSERT_TRUE(HasDeviceKey(id, DIREG_DEV)) << id;
      ASSERT_TRUE(HasDeviceKey(id, DIREG_DRV)) << id;
    }
  }

  void TearDown() override {
    program_.Terminate();
    RunFixture("clear");
  }

  HWND Launch() { return program_.Launch(); }
  HWND FindConfirmBox() { return program_.FindConfirmBox(); }

  UninstallProgram program_;
};

TEST_F(UninstallWindow, ProbesRemovesAndAsksForTheRestart) {
  HWND form = Launch();
  ASSERT_NE(form, nullptr) << "the main window did not appear";

  // The probe ends with Cancel enabled.
  ASSERT_TRUE(WaitFor([&] { return Read(form, app::kCancelBtnId).enabled; }, 180));
  std::printf("boxes after the probe: %s\n", SettledBoxStates(form).c_str());

  struct Expected {
    Kind kind;
    const char* caption;
    bool installed;
  } boxes[] = {
      {D805, "VarnelDESK D805", true},       {Q4Diff, "Quadrascan Q4 Diff", false},
      {Q4, "Quadrascan Q4", false},          {Q3, "Quadrascan Q3", true},
      {Q2, "Quadrascan Q2 + USB adapter", true}, {K2, "Quadrastik K2 + USB adapter", false},
      {D801, "VarnelDESK D801 + USB adapter", false},
  };
  for (const Expected& box : boxes) {
    ControlState state = Read(form, BoxId(box.kind));
    EXPECT_EQ(state.text, box.caption);
    EXPECT_TRUE(state.visible) << box.caption;
    EXPECT_EQ(state.enabled, box.installed) << box.caption;
    EXPECT_EQ(state.checked, box.installed) << box.caption;
  }
  // K3 is installed, but its box is hidden, never probed and never ticked.
  ControlState k3 = Read(form, BoxId(K3));
  EXPECT_FALSE(k3.visible);
  EXPECT_FALSE(k3.enabled);
  EXPECT_FALSE(k3.checked);

  EXPECT_EQ(Read(form, app::kLabel1Id).text,
            "This utility will remove the Varnel USB drivers from your system.");
  EXPECT_EQ(Read(form, app::kLabel2Id).text,
            "Disconnect the instrument from the computer and (if applicable) the external power "
            "supply.");
  ControlState continue_button = Read(form, app::kContinueBtnId);
  ControlState cancel_button = Read(form, app::kCancelBtnId);
  EXPECT_EQ(continue_button.text, "Continue");
  EXPECT_EQ(cancel_button.text, "Cancel");
  EXPECT_TRUE(continue_button.enabled) << "Wine's user is an administrator";
  EXPECT_EQ(continue_button.position.x, 259);
  EXPECT_EQ(cancel_button.position.x, 342);
  EXPECT_EQ(continue_button.position.y, 272);

  PostMessageA(GetDlgItem(form, app::kContinueBtnId), BM_CLICK, 0, 0);
  HWND box = nullptr;
  ASSERT_TRUE(WaitFor([&] { return (box = FindConfirmBox()) != nullptr; }, 300))
      << "no restart question";
  EXPECT_EQ(TextOf(GetDlgItem(box, 100)), kRestartQuestion);
  EXPECT_EQ(TextOf(GetDlgItem(box, IDYES)), "&Yes");
  HWND no = GetDlgItem(box, IDNO);
  ASSERT_NE(no, nullptr);
  EXPECT_EQ(TextOf(no), "&No");
  PostMessageA(no, BM_CLICK, 0, 0);
  ASSERT_TRUE(WaitFor([&] { return FindConfirmBox() == nullptr; }, 60));

  // Declining leaves the question in Label2; the window is activated again
  // and probes once more, which ends by enabling Continue for an administrator.
  ASSERT_TRUE(WaitFor([&] { return Read(form, app::kContinueBtnId).enabled; }, 300))
      << "no second probe after the question closed";
  EXPECT_EQ(Read(form, app::kLabel1Id).text, "USB drivers are now removed from your system.");
  EXPECT_EQ(Read(form, app::kLabel2Id).text, kRestartQuestion);
  EXPECT_EQ(Read(form, app::kCancelBtnId).text, "Exit");

  // K3's and the other vendor's device are untouched.
  EXPECT_TRUE(HasDeviceKey(kK3, DIREG_DEV));
  EXPECT_TRUE(HasDeviceKey(kOther, DIREG_DEV));
  EXPECT_EQ(CountDevicesWith(kOther), 1);
  EXPECT_EQ(CountDevicesWith(kK3), 1);

  // Wine 8 does not implement SetupDiSetClassInstallParamsA, so the class
  // installer is never asked to remove the device nodes: they stay, and the
  // second probe ticks their kinds again. On Windows they would be gone.
  for (const char* id : {kD805, kQ3, kQ2, kAdapter}) EXPECT_EQ(CountDevicesWith(id), 1) << id;
  EXPECT_TRUE(Read(form, BoxId(D805)).checked);

  PostMessageA(GetDlgItem(form, app::kCancelBtnId), BM_CLICK, 0, 0);
  EXPECT_EQ(program_.WaitForExit(60), 0u) << "Exit did not end it with code 0";
}

// The walk deletes both keys of every device of a ticked kind (DIREG_BOTH),
// and no key of a device outside them.
TEST_F(UninstallWindow, RemovalDeletesTheDeviceKeysOfTickedKinds) {
  HWND form = Launch();
  ASSERT_NE(form, nullptr);
  ASSERT_TRUE(WaitFor([&] { return Read(form, app::kCancelBtnId).enabled; }, 180));
  SettledBoxStates(form);
  PostMessageA(GetDlgItem(form, app::kContinueBtnId), BM_CLICK, 0, 0);
  HWND box = nullptr;
  ASSERT_TRUE(WaitFor([&] { return (box = FindConfirmBox()) != nullptr; }, 300));
  PostMessageA(GetDlgItem(box, IDNO), BM_CLICK, 0, 0);
  for (const char* id : {kD805, kQ3, kQ2, kAdapter}) {
    EXPECT_FALSE(HasDeviceKey(id, DIREG_DEV)) << id;
    EXPECT_FALSE(HasDeviceKey(id, DIREG_DRV)) << id;
  }
  for (const char* id : {kK3, kOther}) {
    EXPECT_TRUE(HasDeviceKey(id, DIREG_DEV)) << id;
    EXPECT_TRUE(HasDeviceKey(id, DIREG_DRV)) << id;
  }
}

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  if (argc < 3) {
    fprintf(stderr, "usage: uninstall_gui_test <Uninstall.exe> <varnel_fixture.exe>\n");
    return 2;
  }
  e2e::g_uninstall_exe = argv[1];
  e2e::g_fixture_exe = argv[2];
  return RUN_ALL_TESTS();
}
