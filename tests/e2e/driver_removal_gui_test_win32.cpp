// The driver leftovers of the instruments under Wine: services with their
// image files, OEM driver packages, and the 9x family's records, removed by
// Uninstall.exe through its window; and a probe that changes nothing.
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

// The D805 device has a service of its own; the Q3 device shares one with
// another vendor's device, which must keep it.
const char kOwnService[] = "VarnelTestD805";
const char kOwnImage[] = "vtd805.sys";
const char kSharedService[] = "VarnelTestShared";
const char kSharedImage[] = "vtshared.sys";

std::string WindowsDirectory() {
  char buffer[MAX_PATH] = {};
  const UINT length = GetWindowsDirectoryA(buffer, MAX_PATH);
  return std::string(buffer, length < MAX_PATH ? length : 0);
}

std::string InfPath(const std::string& name) { return WindowsDirectory() + "\\INF\\" + name; }
std::string DriverPath(const std::string& name) {
  return WindowsDirectory() + "\\SYSTEM32\\DRIVERS\\" + name;
}

bool FileExists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool ServiceExists(const char* name) {
  SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);
  if (!manager) return false;
  SC_HANDLE service = OpenServiceA(manager, name, SERVICE_QUERY_CONFIG);
  if (service) CloseServiceHandle(service);
  CloseServiceHandle(manager);
  return service != nullptr;
}

void DeleteServiceIfPresent(const char* name) {
  SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
  if (!manager) return;
  SC_HANDLE service = OpenServiceA(manager, name, DELETE);
  if (service) {
    DeleteService(service);
    CloseServiceHandle(service);
  }
  CloseServiceHandle(manager);
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
    Clean();
  }

  // Services, packages and files of the simulated devices.
  void GiveNtLeftovers() {
    ASSERT_EQ(RunFixture("service " + d805_ + " " + kOwnService + " " + kOwnImage), 0u);
    ASSERT_EQ(RunFixture("service " + q3_ + " " + kSharedService + " " + kSharedImage), 0u);
    ASSERT_EQ(RunFixture("service " + other_ + " " + kSharedService + " " + kSharedImage), 0u);
    ASSERT_EQ(RunFixture(std::string("inf oem90.inf ") + kD805), 0u);
    ASSERT_EQ(RunFixture(std::string("inf oem91.inf ") + kQ3), 0u);
    // An inbox INF offering a driver for the instrument: listed among the
    // device's compatible drivers, but it belongs to Windows.
    ASSERT_EQ(RunFixture(std::string("inf vtinbox.inf ") + kD805), 0u);
  }

  void Clean() {
    RunFixture("clear");
    for (const char* service : {kOwnService, kSharedService}) DeleteServiceIfPresent(service);
    for (const char* image : {kOwnImage, kSharedImage, "vt9x.sys"})
      DeleteFileA(DriverPath(image).c_str());
    for (const char* inf : {"oem90", "oem91", "oem92", "vtinbox"}) {
      DeleteFileA(InfPath(std::string(inf) + ".inf").c_str());
      DeleteFileA(InfPath(std::string(inf) + ".PNF").c_str());
    }
    DeleteFileA(InfPath("other\\Varneloem92.inf").c_str());
  }

  void RemoveThroughTheWindow(bool nt_family) {
    HWND form = program_.Launch();
    ASSERT_NE(form, nullptr) << "the main window did not appear";
    ASSERT_TRUE(WaitFor([&] { return Read(form, BoxId(D805)).checked; }, 180))
        << "the probe did not find the D805";
    std::string failure;
    ASSERT_TRUE(program_.RemoveTickedAndExit(form, nt_family, failure)) << failure;
  }

  std::string d805_, q3_, other_;
  UninstallProgram program_;
};

TEST_F(DriverRemoval, RemovesServicesImagesAndOemPackagesButNothingShared) {
  GiveNtLeftovers();
  std::vector<std::string> infs_before;
  ListFiles(WindowsDirectory() + "\\INF", infs_before);

  RemoveThroughTheWindow(true);

  EXPECT_FALSE(ServiceExists(kOwnService));
  EXPECT_FALSE(FileExists(DriverPath(kOwnImage)));
  for (const char* name : {"oem90.inf", "oem90.PNF", "oem91.inf", "oem91.PNF"})
    EXPECT_FALSE(FileExists(InfPath(name))) << name;

  // Another vendor's device still uses the shared service: it stays, with
  // its image; so do that device and every INF that is not an OEM package.
  EXPECT_TRUE(ServiceExists(kSharedService));
  EXPECT_TRUE(FileExists(DriverPath(kSharedImage)));
  EXPECT_EQ(CountDevicesWith(kOther), 1);
  std::vector<std::string> infs_after;
  ListFiles(WindowsDirectory() + "\\INF", infs_after);
  std::vector<std::string> kept;
  for (const std::string& line : infs_before)
    if (line.find("\\INF\\oem9") == std::string::npos) kept.push_back(line);
  std::sort(kept.begin(), kept.end());
  std::sort(infs_after.begin(), infs_after.end());
  EXPECT_EQ(kept, infs_after) << Difference(kept, infs_after);
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
  const std::string files[] = {DriverPath("vt9x.sys"), InfPath("oem92.inf"), InfPath("oem92.PNF"),
                               InfPath("other\\Varneloem92.inf")};
  for (const std::string& file : files) ASSERT_TRUE(FileExists(file)) << file;

  Windows98Mode win98;
  RemoveThroughTheWindow(false);

  for (const std::string& file : files) EXPECT_FALSE(FileExists(file)) << file;
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
