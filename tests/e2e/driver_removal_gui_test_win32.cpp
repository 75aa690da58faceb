// The driver leftovers of the instruments under Wine: services with their
// image files, OEM driver packages, and the 9x family's records, removed by
// Uninstall.exe through its window, while what belongs to another maker, to
// an unticked kind or to Windows stays; and a probe that changes nothing.
//   driver_removal_gui_test <Uninstall.exe> <varnel_fixture.exe>
#include <windows.h>
#include <setupapi.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "app/form1_ids.h"
#include "tests/e2e/e2e_support_win32.h"

namespace {

using namespace e2e;

const char kD805Interface[] = "{897B5A9B-25C7-4C20-BD6A-C13EA4397A6A}";
const char* const kClassFfIds[] = {"USB\\Class_FF&SubClass_00&Prot_00", "USB\\Class_FF&SubClass_00",
                                   "USB\\Class_FF"};
// Another maker's device that a Varnel driver package serves as well.
const char kOther2[] = "USB\\VID_1234&PID_9999&REV_0100";

// A driver service that one simulated device names.
struct Leftover {
  const char* hardware_id;
  const char* service;
  const char* image_path;  // as the service records it
  const char* image_file;  // below the Windows directory; nullptr: none
  bool goes;               // the removal deletes service and image
  const char* why;
};

// Ticked in the window: D805 and Q3. Q2 is installed but left unticked.
const Leftover kLeftovers[] = {
    {kD805, "VarnelTestD805", "System32\\DRIVERS\\vtd805.sys", "System32\\DRIVERS\\vtd805.sys",
     true, "only the D805 uses it"},
    {kQ3, "VarnelTestShared", "System32\\DRIVERS\\vtshared.sys",
     "System32\\DRIVERS\\vtshared.sys", false, "another maker's device names it"},
    {kOther, "VarnelTestShared", "System32\\DRIVERS\\vtshared.sys",
     "System32\\DRIVERS\\vtshared.sys", false, "another maker's device names it"},
    {"USB\\VID_7A5C&PID_0009&REV_0100", "VarnelTestKept", "System32\\DRIVERS\\vtkept.sys",
     "System32\\DRIVERS\\vtkept.sys", false, "the unticked Q2 names it"},
    {kQ2, "VarnelTestKept", "System32\\DRIVERS\\vtkept.sys", "System32\\DRIVERS\\vtkept.sys",
     false, "the unticked Q2 names it"},
    {"USB\\VID_7A5C&PID_0012&REV_0101", "usbser", "System32\\DRIVERS\\vtusbser.sys",
     "System32\\DRIVERS\\vtusbser.sys", false, "Windows' USB serial class service"},
    {"USB\\VID_7A5C&PID_0012&REV_0102", "VarnelTestInbox", "System32\\DRIVERS\\vtinboxsvc.sys",
     "System32\\DRIVERS\\vtinboxsvc.sys", false, "an inbox INF installed the device's driver"},
    {"USB\\VID_7A5C&PID_00FB&REV_0100", "VarnelTestMarked", "System32\\DRIVERS\\vtmarked.sys",
     "System32\\DRIVERS\\vtmarked.sys", true, "marked for deletion before the removal"},
    {"USB\\VID_7A5C&PID_00FC&REV_0100", "VarnelTestDots", "System32\\DRIVERS\\..\\..\\vtdots.sys",
     "vtdots.sys", false, "its image path leaves the drivers folder through .."},
    {"USB\\VID_7A5C&PID_0012&REV_0103", "VarnelTestOutside", "System32\\vtoutside.sys",
     "System32\\vtoutside.sys", false, "its image lies outside the drivers folder"},
    {"USB\\VID_7A5C&PID_0012&REV_0104", "VarnelTestUnc", "\\\\vtserver\\share\\vtunc.sys", nullptr,
     false, "its image is on a network share"},
};
const char kInboxServiceDevice[] = "USB\\VID_7A5C&PID_0012&REV_0102";
const char kMarkedService[] = "VarnelTestMarked";

// The 9x family's records of a second D805 whose driver value leaves the
// drivers folder.
const char kD805Dots9x[] = "USB\\VID_7A5C&PID_0012&REV_0100";

std::string InfPath(const std::string& name) { return WindowsDirectory() + "\\INF\\" + name; }
std::string DriverPath(const std::string& name) {
  return WindowsDirectory() + "\\SYSTEM32\\DRIVERS\\" + name;
}

// Every file below `directory`, one "path size" line each, sorted.
void ListFiles(const std::string& directory, std::vector<std::string>& lines) {
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA((directory + "\\*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return;
  do {
    const std::string name = found.cFileName;
    if (name == "." || name == "..") continue;
    const std::string path = directory + "\\" + name;
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      ListFiles(path, lines);
    } else {
      lines.push_back(path + " " + std::to_string(found.nFileSizeLow));
    }
  } while (FindNextFileA(search, &found));
  FindClose(search);
}

std::vector<std::string> FileListing() {
  std::vector<std::string> lines;
  ListFiles(WindowsDirectory(), lines);
  std::sort(lines.begin(), lines.end());
  return lines;
}

// The registry branch `key` as regedit exports it, line by line.
std::vector<std::string> RegistryExport(const char* key, const char* file_name) {
  char temp[MAX_PATH] = {};
  GetTempPathA(MAX_PATH, temp);
  const std::string file = std::string(temp) + file_name;
  DeleteFileA(file.c_str());
  PROCESS_INFORMATION info = {};
  std::vector<std::string> lines;
  if (!Start("regedit.exe /E \"" + file + "\" " + key, info)) return lines;
  ScopedHandle process(info.hProcess), thread(info.hThread);
  WaitForSingleObject(info.hProcess, 120000);
  // regedit writes UTF-16; a byte-wise comparison of the lines is enough.
  std::ifstream in(file, std::ios::binary);
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::istringstream stream(text);
  for (std::string line; std::getline(stream, line);) lines.push_back(line);
  DeleteFileA(file.c_str());
  return lines;
}

// The lines of `after` that are not in `before` and the other way round.
std::string Difference(const std::vector<std::string>& before,
                       const std::vector<std::string>& after) {
  std::multiset<std::string> gone(before.begin(), before.end());
  std::string added;
  for (const std::string& line : after) {
    auto it = gone.find(line);
    if (it != gone.end()) {
      gone.erase(it);
    } else {
      added += "  + " + line + "\n";
    }
  }
  std::string removed;
  for (const std::string& line : gone) removed += "  - " + line + "\n";
  return added + removed;
}

std::string ImageFile(const Leftover& leftover) {
  return WindowsDirectory() + "\\" + leftover.image_file;
}

class DriverRemoval : public ::testing::Test {
 protected:
  void SetUp() override {
    Clean();
    for (const char* id : {kD805, kQ3, kOther}) ASSERT_EQ(RunFixture(std::string("add ") + id), 0u);
    d805_ = InstanceIdOf(kD805);
    q3_ = InstanceIdOf(kQ3);
    other_ = InstanceIdOf(kOther);
    ASSERT_FALSE(d805_.empty() || q3_.empty() || other_.empty());
  }

  void TearDown() override {
    program_.Terminate();
    if (marked_) CloseServiceHandle(marked_);
    Clean();
  }

  // Adds a device with `id` unless one exists; its instance id.
  std::string Device(const std::string& id) {
    if (InstanceIdOf(id).empty()) EXPECT_EQ(RunFixture("add " + id), 0u) << id;
    return InstanceIdOf(id);
  }

  // Services, packages and files of the simulated devices: what is the
  // instruments' own, and what belongs to others or to Windows.
  void GiveNtLeftovers() {
    for (const Leftover& leftover : kLeftovers) {
      const std::string device = Device(leftover.hardware_id);
      ASSERT_EQ(RunFixture("service " + device + " " + leftover.service + " \"" +
                           leftover.image_path + "\""),
                0u)
          << leftover.service;
    }
    ASSERT_EQ(RunFixture(std::string("inf oem90.inf ") + kD805), 0u);
    ASSERT_EQ(RunFixture(std::string("inf oem91.inf ") + kQ3), 0u);
    // An inbox INF offering a driver for the instrument: listed among the
    // device's compatible drivers, but it belongs to Windows.
    ASSERT_EQ(RunFixture(std::string("inf vtinbox.inf ") + kD805), 0u);
    ASSERT_EQ(RunFixture("installed " + InstanceIdOf(kInboxServiceDevice) + " vtinbox.inf"), 0u);
    // Another maker's package for a generic class id, which the D805 lists
    // through its compatible ids while that maker's device uses it.
    std::string class_ids;
    for (const char* id : kClassFfIds) class_ids += std::string(" ") + id;
    ASSERT_EQ(RunFixture("compatible " + d805_ + class_ids), 0u);
    ASSERT_EQ(RunFixture("compatible " + other_ + class_ids), 0u);
    ASSERT_EQ(RunFixture("inf oem93.inf USB\\Class_FF"), 0u);
    ASSERT_EQ(RunFixture("installed " + other_ + " oem93.inf"), 0u);
    // A package with a Q3 driver that another maker's device was installed from.
    ASSERT_EQ(RunFixture(std::string("inf oem94.inf ") + kQ3 + " " + kOther2), 0u);
    ASSERT_EQ(RunFixture("installed " + Device(kOther2) + " oem94.inf"), 0u);
    // Marked for deletion: it stays in the database while this handle lives.
    marked_ = MarkForDeletion(kMarkedService);
    ASSERT_NE(marked_, nullptr);
  }

  void Clean() {
    RunFixture("clear");
    for (const Leftover& leftover : kLeftovers) {
      DeleteServiceIfPresent(leftover.service);
      if (leftover.image_file) DeleteFileA(ImageFile(leftover).c_str());
    }
    DeleteFileA(DriverPath("vt9x.sys").c_str());
    DeleteFileA((WindowsDirectory() + "\\SYSTEM32\\vt9xdots.sys").c_str());
    for (const char* inf : {"oem90", "oem91", "oem92", "oem93", "oem94", "vtinbox"}) {
      DeleteFileA(InfPath(std::string(inf) + ".inf").c_str());
      DeleteFileA(InfPath(std::string(inf) + ".PNF").c_str());
    }
    DeleteFileA(InfPath("other\\Varneloem92.inf").c_str());
  }

  // Runs the removal through the window, with the kinds in `untick` left out.
  void RemoveThroughTheWindow(bool nt_family, std::initializer_list<Kind> untick = {}) {
    HWND form = program_.Launch();
    ASSERT_NE(form, nullptr) << "the main window did not appear";
    ASSERT_TRUE(WaitFor([&] { return Read(form, BoxId(D805)).checked; }, 180))
        << "the probe did not find the D805";
    ASSERT_TRUE(WaitFor([&] { return Read(form, app::kCancelBtnId).enabled; }, 180))
        << "the probe did not end";
    for (Kind kind : untick) {
      ASSERT_TRUE(Read(form, BoxId(kind)).checked) << "kind " << kind << " was not found";
      PostMessageA(GetDlgItem(form, BoxId(kind)), BM_CLICK, 0, 0);
      ASSERT_TRUE(WaitFor([&] { return !Read(form, BoxId(kind)).checked; }, 60));
    }
    std::string failure;
    ASSERT_TRUE(program_.RemoveTickedAndExit(form, nt_family, failure)) << failure;
  }

  std::string d805_, q3_, other_;
  SC_HANDLE marked_ = nullptr;
  UninstallProgram program_;
};

TEST_F(DriverRemoval, RemovesWhatIsTheInstrumentsOwnAndNothingElse) {
  GiveNtLeftovers();
  std::vector<std::string> infs_before;
  ListFiles(WindowsDirectory() + "\\INF", infs_before);

  RemoveThroughTheWindow(true, {Q2});

  // Wine's DeleteService cannot fail on a service that is not marked yet
  // (it only sets a flag), so a failed deletion that keeps the image shows
  // only in the host tests; here the marked service still loses its image.
  for (const Leftover& leftover : kLeftovers) {
    if (std::string(leftover.service) != kMarkedService) {
      EXPECT_EQ(ServiceExists(leftover.service), !leftover.goes)
          << leftover.service << ": " << leftover.why;
    }
    if (leftover.image_file) {
      EXPECT_EQ(FileExists(ImageFile(leftover)), !leftover.goes)
          << leftover.image_file << ": " << leftover.why;
    }
  }
  CloseServiceHandle(marked_);
  marked_ = nullptr;
  EXPECT_FALSE(ServiceExists(kMarkedService)) << "the last handle is closed";

  // The OEM packages of the instruments go. Every other INF stays: inbox
  // ones, another maker's package that the D805 lists through a generic
  // compatible id (SetupUninstallOEMInfA of Wine accepts everything and
  // deletes nothing, so the walk's own check of the driver keys keeps it),
  // and a Varnel package another maker's device was installed from.
  for (const char* name : {"oem90.inf", "oem90.PNF", "oem91.inf", "oem91.PNF"})
    EXPECT_FALSE(FileExists(InfPath(name))) << name;
  std::vector<std::string> infs_after;
  ListFiles(WindowsDirectory() + "\\INF", infs_after);
  std::vector<std::string> kept;
  for (const std::string& line : infs_before)
    if (line.find("\\INF\\oem90") == std::string::npos &&
        line.find("\\INF\\oem91") == std::string::npos)
      kept.push_back(line);
  std::sort(kept.begin(), kept.end());
  std::sort(infs_after.begin(), infs_after.end());
  EXPECT_EQ(kept, infs_after) << Difference(kept, infs_after);
  for (const char* name : {"oem93.inf", "oem93.PNF", "oem94.inf", "oem94.PNF", "vtinbox.inf"})
    EXPECT_TRUE(FileExists(InfPath(name))) << name;
  EXPECT_EQ(CountDevicesWith(kOther), 1);
  EXPECT_EQ(CountDevicesWith(kOther2), 1);
}

TEST_F(DriverRemoval, ProbeChangesNothingOnThePrefix) {
  GiveNtLeftovers();
  const auto files_before = FileListing();
  const auto machine_before = RegistryExport("HKEY_LOCAL_MACHINE", "qor_probe_hklm.reg");
  ASSERT_GT(machine_before.size(), 100u) << "regedit exported nothing";

  HWND form = program_.Launch();
  ASSERT_NE(form, nullptr);
  ASSERT_TRUE(WaitFor([&] { return Read(form, BoxId(D805)).checked; }, 180))
      << "the probe did not find the D805";
  ASSERT_TRUE(WaitFor([&] { return Read(form, app::kContinueBtnId).enabled; }, 180))
      << "the probe did not end";
  PostMessageA(GetDlgItem(form, app::kCancelBtnId), BM_CLICK, 0, 0);
  ASSERT_EQ(program_.WaitForExit(60), 0u);

  const auto files_after = FileListing();
  const auto machine_after = RegistryExport("HKEY_LOCAL_MACHINE", "qor_probe_hklm.reg");
  EXPECT_EQ(files_before, files_after) << Difference(files_before, files_after);
  EXPECT_EQ(machine_before, machine_after) << Difference(machine_before, machine_after);
  for (const Leftover& leftover : kLeftovers)
    EXPECT_TRUE(ServiceExists(leftover.service)) << leftover.service;
  std::printf("compared %zu files and %zu registry lines\n", files_after.size(),
              machine_after.size());
}

// Wine answers as Windows 98 for Uninstall.exe while this lives.
class Windows98Mode {
 public:
  Windows98Mode() {
    if (RegCreateKeyExA(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key_,
                        nullptr) == ERROR_SUCCESS) {
      RegSetValueExA(key_, "Version", 0, REG_SZ, reinterpret_cast<const BYTE*>("win98"), 6);
    }
  }
  ~Windows98Mode() {
    if (key_) RegCloseKey(key_);
    RegDeleteKeyA(HKEY_CURRENT_USER, kKey);
  }
  Windows98Mode(const Windows98Mode&) = delete;
  Windows98Mode& operator=(const Windows98Mode&) = delete;

 private:
  static constexpr char kKey[] = "Software\\Wine\\AppDefaults\\Uninstall.exe";
  HKEY key_ = nullptr;
};

TEST_F(DriverRemoval, Windows98FamilyRemovesImageInfItsPnfAndTheCopy) {
  ASSERT_EQ(RunFixture(std::string("inf oem92.inf ") + kD805), 0u);
  ASSERT_EQ(RunFixture("records9x " + d805_ + " " + kD805Interface + " vt9x.sys Varnel oem92.inf"),
            0u);
  // A second D805 whose driver value climbs out of the drivers folder, and
  // an inbox INF that the D805 lists among its drivers.
  ASSERT_EQ(RunFixture("records9x " + Device(kD805Dots9x) + " " + kD805Interface +
                       " ..\\vt9xdots.sys Varnel oem92.inf"),
            0u);
  ASSERT_EQ(RunFixture(std::string("inf vtinbox.inf ") + kD805), 0u);
  const std::string gone[] = {DriverPath("vt9x.sys"), InfPath("oem92.inf"), InfPath("oem92.PNF"),
                              InfPath("other\\Varneloem92.inf")};
  const std::string kept[] = {WindowsDirectory() + "\\SYSTEM32\\vt9xdots.sys",
                              InfPath("vtinbox.inf"), InfPath("vtinbox.PNF")};
  for (const std::string& file : gone) ASSERT_TRUE(FileExists(file)) << file;
  for (const std::string& file : kept) ASSERT_TRUE(FileExists(file)) << file;

  Windows98Mode win98;
  RemoveThroughTheWindow(false);

  for (const std::string& file : gone) EXPECT_FALSE(FileExists(file)) << file;
  for (const std::string& file : kept) EXPECT_TRUE(FileExists(file)) << file;
  EXPECT_EQ(CountDevicesWith(kOther), 1);
}

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  if (argc < 3) {
    std::fprintf(stderr, "usage: driver_removal_gui_test <Uninstall.exe> <varnel_fixture.exe>\n");
    return 2;
  }
  e2e::g_uninstall_exe = argv[1];
  e2e::g_fixture_exe = argv[2];
  return RUN_ALL_TESTS();
}
