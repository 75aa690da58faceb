// Uninstall.exe on 64-bit Windows: a 64-bit Wine prefix, where the 32-bit
// program runs under WoW64 as it does there. Its probe and removal go
// through the 64-bit helper it carries, so the drivers' image files in the
// real System32\drivers go with their services, keys and packages. The same
// program without the helper (a test-only build) leaves those files and
// deletes a file of the same name in SysWOW64 instead: the fault the helper
// is there for, which this scenario thus tells apart. This program and the
// fixture are 64-bit and see the 64-bit view.
//   wow64_removal_gui_test <Uninstall.exe> <the same without helper> <varnel_fixture.exe>
#include <windows.h>
#include <setupapi.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <set>
#include <string>

#include "app/form1_ids.h"
#include "tests/e2e/e2e_support_win32.h"

namespace {

using namespace e2e;

std::string g_uninstall_with_helper;
std::string g_uninstall_without_helper;

// A simulated device with a driver service, its image file in the 64-bit
// System32\drivers, and the OEM package it was installed from.
struct Driver {
  const char* hardware_id;
  const char* service;
  const char* image;  // in System32\drivers
  const char* inf;    // in the INF folder, with its PNF twin
  bool instrument;    // ticked and removed; otherwise another maker's
};

const Driver kDrivers[] = {
    {kD805, "VarnelWowD805", "vwd805.sys", "oem70.inf", true},
    {kQ3, "VarnelWowQ3", "vwq3.sys", "oem71.inf", true},
    {kOther, "VarnelWowOther", "vwother.sys", "oem72.inf", false},
};
constexpr char kHelperName[] = "removal64.exe";

// The real System32\drivers, and the one 32-bit programs see in its place.
std::string Drivers64(const std::string& image) {
  return WindowsDirectory() + "\\System32\\drivers\\" + image;
}
std::string Drivers32(const std::string& image) {
  return WindowsDirectory() + "\\SysWOW64\\drivers\\" + image;
}
std::string InfPath(const std::string& name) { return WindowsDirectory() + "\\INF\\" + name; }
std::string PnfPath(const std::string& inf) {
  return InfPath(inf.substr(0, inf.find('.')) + ".PNF");
}

std::string TempFolder() {
  char temp[MAX_PATH + 1] = {};
  GetTempPathA(sizeof(temp), temp);
  return temp;
}

bool WriteFileText(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary);
  return static_cast<bool>(out.write(text.data(), text.size()));
}

std::string ReadFileText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The helper's directories in the temporary folder ("varnel-" and a random
// name), and whatever else carries the helper's name there.
std::set<std::string> HelperTraces() {
  std::set<std::string> names;
  WIN32_FIND_DATAA found;
  const HANDLE search = FindFirstFileA((TempFolder() + "*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return names;
  do {
    const std::string name = found.cFileName;
    if (name.rfind("varnel-", 0) == 0 || name == kHelperName) names.insert(name);
  } while (FindNextFileA(search, &found));
  FindClose(search);
  return names;
}

class Wow64Removal : public ::testing::Test {
 protected:
  void SetUp() override {
    BOOL wow64 = TRUE;
    ASSERT_TRUE(IsWow64Process(GetCurrentProcess(), &wow64) && !wow64)
        << "this test runs as a 64-bit program";
    Clean();
    for (const Driver& driver : kDrivers) {
      ASSERT_EQ(RunFixture(std::string("add ") + driver.hardware_id), 0u);
      const std::string device = InstanceIdOf(driver.hardware_id);
      CreateDeviceKeys(driver.hardware_id);
      ASSERT_EQ(RunFixture("service " + device + " " + driver.service +
                           " System32\\DRIVERS\\" + driver.image),
                0u);
      ASSERT_EQ(RunFixture(std::string("inf ") + driver.inf + " " + driver.hardware_id), 0u);
      ASSERT_EQ(RunFixture("installed " + device + " " + driver.inf), 0u);
      ASSERT_TRUE(FileExists(Drivers64(driver.image))) << driver.image;
    }
    // A file of the same name where 32-bit programs find System32\drivers
    // (a folder that Windows has and a new Wine prefix lacks).
    CreateDirectoryA(Drivers32("").c_str(), nullptr);
    ASSERT_TRUE(WriteFileText(Drivers32(kDrivers[0].image), "32-bit namesake\r\n"));
  }

  void TearDown() override {
    program_.Terminate();
    Clean();
  }

  void Clean() {
    RunFixture("clear");
    for (const Driver& driver : kDrivers) {
      DeleteServiceIfPresent(driver.service);
      DeleteFileA(Drivers64(driver.image).c_str());
      DeleteFileA(Drivers32(driver.image).c_str());
      DeleteFileA(InfPath(driver.inf).c_str());
      DeleteFileA(PnfPath(driver.inf).c_str());
    }
  }

  // Probes, removes the ticked kinds (D805 and Q3), declines the restart.
  void RemoveThroughTheWindow(const std::string& program) {
    g_uninstall_exe = program;
    HWND form = program_.Launch();
    ASSERT_NE(form, nullptr) << "the main window did not appear";
    ASSERT_TRUE(WaitFor([&] { return Read(form, app::kCancelBtnId).enabled; }, 180))
        << "the probe did not end";
    EXPECT_TRUE(Read(form, BoxId(D805)).checked) << Read(form, app::kLabel2Id).text;
    EXPECT_TRUE(Read(form, BoxId(Q3)).checked) << Read(form, app::kLabel2Id).text;
    EXPECT_FALSE(Read(form, BoxId(Q2)).checked);
    std::string failure;
    ASSERT_TRUE(program_.RemoveTickedAndExit(form, true, failure)) << failure;
  }

  // What stays in every case: the other maker's device, service, image
  // file and package.
  void ExpectOtherMakersDriverKept() {
    const Driver& other = kDrivers[2];
    EXPECT_EQ(CountDevicesWith(other.hardware_id), 1);
    EXPECT_TRUE(HasDeviceKey(other.hardware_id, DIREG_DRV));
    EXPECT_TRUE(ServiceExists(other.service));
    EXPECT_TRUE(FileExists(Drivers64(other.image)));
    EXPECT_TRUE(FileExists(InfPath(other.inf)));
    EXPECT_TRUE(FileExists(PnfPath(other.inf)));
  }

  UninstallProgram program_;
};

TEST_F(Wow64Removal, HelperRemovesThe64BitDrivers) {
  // A file with the helper's name in the temporary folder is never run: if
  // it were, this one could not start and the probe would fail.
  const std::string planted = TempFolder() + kHelperName;
  ASSERT_TRUE(WriteFileText(planted, "planted, not a program"));
  const std::set<std::string> before = HelperTraces();

  RemoveThroughTheWindow(g_uninstall_with_helper);

  for (const Driver& driver : kDrivers) {
    if (!driver.instrument) continue;
    EXPECT_FALSE(HasDeviceKey(driver.hardware_id, DIREG_DEV)) << driver.hardware_id;
    EXPECT_FALSE(HasDeviceKey(driver.hardware_id, DIREG_DRV)) << driver.hardware_id;
    EXPECT_FALSE(ServiceExists(driver.service)) << driver.service;
    EXPECT_FALSE(FileExists(Drivers64(driver.image))) << driver.image;
    EXPECT_FALSE(FileExists(InfPath(driver.inf))) << driver.inf;
    EXPECT_FALSE(FileExists(PnfPath(driver.inf))) << driver.inf;
  }
  EXPECT_TRUE(FileExists(Drivers32(kDrivers[0].image))) << "the 32-bit namesake is not ours";
  ExpectOtherMakersDriverKept();
  // Each run of the helper (two probes and the removal) left nothing behind.
  EXPECT_EQ(HelperTraces(), before);
  EXPECT_EQ(ReadFileText(planted), "planted, not a program");
  DeleteFileA(planted.c_str());
}

TEST_F(Wow64Removal, WithoutTheHelperThe64BitImagesStay) {
  RemoveThroughTheWindow(g_uninstall_without_helper);

  // The 32-bit side reaches the service manager, the registry's device keys
  // and the INF folder, but System32 is redirected for it to SysWOW64.
  for (const Driver& driver : kDrivers) {
    if (!driver.instrument) continue;
    EXPECT_FALSE(ServiceExists(driver.service)) << driver.service;
    EXPECT_FALSE(FileExists(InfPath(driver.inf))) << driver.inf;
    EXPECT_TRUE(FileExists(Drivers64(driver.image))) << driver.image << " stays behind";
  }
  EXPECT_FALSE(FileExists(Drivers32(kDrivers[0].image))) << "deleted in its place";
  ExpectOtherMakersDriverKept();
}

// Restores an environment variable of this process (and so of the programs
// it starts) when it goes.
class EnvironmentChange {
 public:
  EnvironmentChange(const char* name, const char* value) : name_(name) {
    char old[MAX_PATH] = {};
    had_ = GetEnvironmentVariableA(name, old, MAX_PATH) > 0;
    old_ = old;
    SetEnvironmentVariableA(name, value);
  }
  ~EnvironmentChange() { SetEnvironmentVariableA(name_, had_ ? old_.c_str() : nullptr); }
  EnvironmentChange(const EnvironmentChange&) = delete;
  EnvironmentChange& operator=(const EnvironmentChange&) = delete;

 private:
  const char* name_;
  bool had_;
  std::string old_;
};

TEST_F(Wow64Removal, WithoutAUsableTemporaryFolderTheWindowSaysSoAndRemovesNothing) {
  {
    // The temporary folder does not exist: the helper cannot be written.
    const EnvironmentChange tmp("TMP", "C:\\qor-no-such-folder");
    const EnvironmentChange temp("TEMP", "C:\\qor-no-such-folder");
    g_uninstall_exe = g_uninstall_with_helper;
    HWND form = program_.Launch();
    ASSERT_NE(form, nullptr);
    ASSERT_TRUE(WaitFor([&] { return Read(form, app::kCancelBtnId).enabled; }, 180));
    const std::string notice = Read(form, app::kLabel2Id).text;
    std::printf("notice: %s\n", notice.c_str());
    EXPECT_EQ(notice.rfind("Removal is not possible here. The 64-bit part could not be written "
                           "to the temporary folder (error ", 0),
              0u)
        << notice;
    EXPECT_FALSE(Read(form, app::kContinueBtnId).enabled);
    EXPECT_FALSE(Read(form, BoxId(D805)).checked);
    PostMessageA(GetDlgItem(form, app::kCancelBtnId), BM_CLICK, 0, 0);
    ASSERT_EQ(program_.WaitForExit(60), 0u);
  }
  for (const Driver& driver : kDrivers) {
    EXPECT_TRUE(ServiceExists(driver.service)) << driver.service;
    EXPECT_TRUE(FileExists(Drivers64(driver.image))) << driver.image;
    EXPECT_TRUE(HasDeviceKey(driver.hardware_id, DIREG_DRV)) << driver.hardware_id;
  }
}

// Moves the temporary folder away while it lives, as a user's clean-up
// program might between the probe and the removal.
class TemporaryFolderAway {
 public:
  TemporaryFolderAway() : folder_(TempFolder()) {
    folder_.pop_back();  // the trailing backslash
    moved_ = MoveFileA(folder_.c_str(), (folder_ + ".away").c_str()) != FALSE;
  }
  ~TemporaryFolderAway() {
    if (moved_) MoveFileA((folder_ + ".away").c_str(), folder_.c_str());
  }
  TemporaryFolderAway(const TemporaryFolderAway&) = delete;
  TemporaryFolderAway& operator=(const TemporaryFolderAway&) = delete;
  bool moved() const { return moved_; }

 private:
  std::string folder_;
  bool moved_;
};

TEST_F(Wow64Removal, RemovalThatCannotRunSaysSoAndRemovesNothing) {
  g_uninstall_exe = g_uninstall_with_helper;
  HWND form = program_.Launch();
  ASSERT_NE(form, nullptr);
  ASSERT_TRUE(WaitFor([&] { return Read(form, app::kContinueBtnId).enabled; }, 180));
  ASSERT_TRUE(Read(form, BoxId(D805)).checked);
  {
    const TemporaryFolderAway away;
    ASSERT_TRUE(away.moved()) << GetLastError();
    PostMessageA(GetDlgItem(form, app::kContinueBtnId), BM_CLICK, 0, 0);
    ASSERT_TRUE(WaitFor([&] { return Read(form, app::kCancelBtnId).text == "Exit"; }, 300));
  }
  EXPECT_EQ(Read(form, app::kLabel1Id).text, "The removal did not finish; drivers may remain.");
  const std::string notice = Read(form, app::kLabel2Id).text;
  EXPECT_EQ(notice.rfind("The 64-bit part could not be written to the temporary folder (error ", 0),
            0u)
      << notice;
  EXPECT_EQ(program_.FindConfirmBox(), nullptr) << "no restart after a removal that did not run";
  EXPECT_FALSE(Read(form, app::kContinueBtnId).enabled);
  PostMessageA(GetDlgItem(form, app::kCancelBtnId), BM_CLICK, 0, 0);
  ASSERT_EQ(program_.WaitForExit(60), 0u);
  for (const Driver& driver : kDrivers) {
    EXPECT_TRUE(ServiceExists(driver.service)) << driver.service;
    EXPECT_TRUE(FileExists(Drivers64(driver.image))) << driver.image;
  }
}

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  if (argc < 4) {
    std::fprintf(stderr,
                 "usage: wow64_removal_gui_test <Uninstall.exe> <Uninstall.exe without helper> "
                 "<varnel_fixture.exe>\n");
    return 2;
  }
  g_uninstall_with_helper = argv[1];
  g_uninstall_without_helper = argv[2];
  e2e::g_fixture_exe = argv[3];
  return RUN_ALL_TESTS();
}
