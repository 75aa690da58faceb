// The driver cleanup inside whole walks over the recording fake: what is
// deleted, in which order, and what must stay.
#include "engine/driver_cleanup.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "engine/device_walk.h"
#include "engine/fake_device_platform.h"
#include "engine/manufacturer_lookup.h"

namespace engine {
namespace {

using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::Not;

constexpr char kId0011[] = "USB\\Vid_7a5c&Pid_0011";
constexpr char kOemInf[] = "C:\\WINDOWS\\inf\\oem12.inf";
constexpr char kOemPnf[] = "C:\\WINDOWS\\inf\\oem12.PNF";
constexpr char kDriverFile[] = "C:\\WINDOWS\\System32\\DRIVERS\\varnel.sys";
constexpr InstrumentKind kD805Only[] = {InstrumentKind::D805};

FakeDevice Instrument(std::optional<std::string> service = "varnelusb") {
  return {"USB\\VID_7A5C&PID_0011\\5&1",
          std::vector<std::string>{"USB\\VID_7A5C&PID_0011&REV_0100"},
          std::move(service),
          {kOemInf}};
}

// Another maker's device, installed from `inf` when that is not empty.
FakeDevice OtherMakersDevice(const std::string& inf = "") {
  FakeDevice device{"USB\\VID_1234&PID_0001\\7&2", std::vector<std::string>{"USB\\VID_1234&PID_0001"},
                    std::nullopt, {}};
  if (!inf.empty()) device.driver_values = {{"InfPath", inf}};
  return device;
}

std::string Deleted(const std::string& path) { return "DeleteFileA(" + path + ")"; }

class DriverCleanupTest : public ::testing::Test {
 protected:
  void SetUp() override { CurrentManufacturer().clear(); }

  void TearDown() override {
    platform.ExpectAllReleased();
    CurrentManufacturer().clear();
  }

  void UseNt(const std::string& image_path) {
    platform.services = {{"varnelusb", image_path}};
    platform.files = {kDriverFile, kOemInf, kOemPnf};
  }

  // Removes the D805's first id, the D805 kind being the whole removal.
  void RemoveD805() { RemoveDriversFor(platform, kId0011, RemovalScope(kD805Only)); }

  FakeDevicePlatform platform;
};

TEST_F(DriverCleanupTest, NtRemovalDeletesServiceDriverFileInfAndPnf) {
  const char* const forms[] = {"System32\\DRIVERS\\varnel.sys",
                               "\\SystemRoot\\System32\\DRIVERS\\varnel.sys",
                               "\\??\\C:\\WINDOWS\\System32\\DRIVERS\\varnel.sys",
                               "system32/drivers/varnel.sys"};
  for (const char* windows : {"C:\\WINDOWS", "C:\\WINDOWS\\"}) {
    for (const char* image : forms) {
      platform.calls.clear();
      platform.windows_directory = windows;
      platform.devices = {Instrument()};
      UseNt(image);
      platform.uninstall_oem_inf_available = false;  // the plain deletions alone
      RemoveD805();
      EXPECT_THAT(platform.CallsOf("DeleteFileA"),
                  ElementsAre(HasSubstr("varnel.sys"), Deleted(kOemInf), Deleted(kOemPnf)))
          << windows << " + " << image;
      EXPECT_THAT(platform.files, IsEmpty()) << windows << " + " << image;
      EXPECT_THAT(platform.services, IsEmpty());
    }
  }
}

TEST_F(DriverCleanupTest, DriverStoreUninstallRunsBeforeThePlainDeletions) {
  platform.devices = {Instrument()};
  UseNt("System32\\DRIVERS\\varnel.sys");
  RemoveD805();
  EXPECT_THAT(platform.CallsOf("SetupUninstallOEMInfA"),
              ElementsAre("SetupUninstallOEMInfA(oem12.inf, 0)"));
  EXPECT_THAT(platform.CallsOf("DeleteFileA").size(), 3u);  // they find nothing left
  EXPECT_THAT(platform.files, IsEmpty());
}

TEST_F(DriverCleanupTest, InboxAndForeignInfFilesStay) {
  FakeDevice device = Instrument();
  device.inf_files = {"C:\\WINDOWS\\inf\\usb.inf", "C:\\Drivers\\oem4.inf", kOemInf, kOemInf};
  platform.devices = {device};
  UseNt("System32\\DRIVERS\\varnel.sys");
  platform.files.insert({"C:\\WINDOWS\\inf\\usb.inf", "C:\\WINDOWS\\inf\\usb.PNF",
                         "C:\\Drivers\\oem4.inf"});
  RemoveD805();
  EXPECT_THAT(platform.files, ElementsAre("C:\\Drivers\\oem4.inf", "C:\\WINDOWS\\inf\\usb.inf",
                                          "C:\\WINDOWS\\inf\\usb.PNF"));
  // Each occurrence of the OEM INF is handed on; the second finds nothing.
  EXPECT_EQ(platform.CallsOf("SetupUninstallOEMInfA").size(), 2u);
}

TEST_F(DriverCleanupTest, OnlyPackagesWhoseDriverNamesAnInstrumentGo) {
  // The device lists every INF that matches any of its ids, generic
  // compatible ids included; a driver counts by the ids of its model line.
  const std::string class_inf = "C:\\WINDOWS\\inf\\oem50.inf";
  const std::string compat_inf = "C:\\WINDOWS\\inf\\oem51.inf";
  FakeDevice device = Instrument();
  device.hardware_ids = std::vector<std::string>{"USB\\VID_7A5C&PID_0011&REV_0100",
                                                 "USB\\Class_FF&SubClass_00", "USB\\Class_FF"};
  device.inf_files = {class_inf, compat_inf};
  platform.devices = {device};
  platform.inf_models[class_inf] = {"USB\\Class_FF"};
  // The instrument among the model line's compatible ids counts too.
  platform.inf_models[compat_inf] = {"USB\\VID_7A5C&PID_00FF", "USB\\VID_7A5C&PID_0011"};
  UseNt("System32\\DRIVERS\\varnel.sys");
  platform.files = {class_inf, "C:\\WINDOWS\\inf\\oem50.PNF", compat_inf,
                    "C:\\WINDOWS\\inf\\oem51.PNF"};
  RemoveD805();
  EXPECT_THAT(platform.files, ElementsAre(class_inf, "C:\\WINDOWS\\inf\\oem50.PNF"));
  EXPECT_THAT(platform.CallsOf("SetupUninstallOEMInfA"),
              ElementsAre("SetupUninstallOEMInfA(oem51.inf, 0)"));
}

TEST_F(DriverCleanupTest, PackageInstalledOnADeviceOutsideTheRemovalStays) {
  FakeDevice unticked{"USB\\VID_7A5C&PID_0008\\5&3",
                      std::vector<std::string>{"USB\\VID_7A5C&PID_0008"}, std::nullopt, {}};
  unticked.driver_values = {{"InfPath", "OEM12.INF"}};
  for (const FakeDevice& user : {OtherMakersDevice("OEM12.INF"), unticked}) {
    for (uint32_t platform_id : {kVerPlatformWin32Nt, 1u}) {
      FakeDevicePlatform walk_platform;
      walk_platform.platform_id = platform_id;
      walk_platform.devices = {Instrument(std::nullopt), user};
      walk_platform.files = {kOemInf, kOemPnf};
      // Without the system's own refusal: the walk sees the use itself.
      walk_platform.uninstall_oem_inf_available = false;
      RemoveDriversFor(walk_platform, kId0011, RemovalScope(kD805Only));
      EXPECT_TRUE(walk_platform.devices[0].removed);
      EXPECT_THAT(walk_platform.files, ElementsAre(kOemInf, kOemPnf))
          << user.instance_id << " on platform " << platform_id;
      EXPECT_THAT(walk_platform.CallsOf("DeleteFileA"), IsEmpty());
      walk_platform.ExpectAllReleased();
    }
  }
}

TEST_F(DriverCleanupTest, PackageTheSystemRefusesToUninstallStays) {
  // The instrument's node stays (the class installer refused), so its
  // driver still uses the package and the driver store keeps it.
  FakeDevice stuck = Instrument(std::nullopt);
  stuck.removal_fails = true;
  stuck.driver_values = {{"InfPath", "oem12.inf"}};
  platform.devices = {stuck};
  platform.files = {kOemInf, kOemPnf};
  RemoveD805();
  EXPECT_THAT(platform.CallsOf("SetupUninstallOEMInfA"),
              ElementsAre("SetupUninstallOEMInfA(oem12.inf, 0)"));
  EXPECT_THAT(platform.files, ElementsAre(kOemInf, kOemPnf));
  EXPECT_THAT(platform.CallsOf("DeleteFileA"), IsEmpty());
}

TEST_F(DriverCleanupTest, ProtectedFilesStay) {
  platform.devices = {Instrument(std::nullopt)};
  platform.uninstall_oem_inf_available = false;
  platform.files = {kOemInf, kOemPnf};
  platform.protected_files = {kOemPnf};
  RemoveD805();
  EXPECT_THAT(platform.files, ElementsAre(kOemPnf));
  EXPECT_THAT(platform.CallsOf("DeleteFileA"), ElementsAre(Deleted(kOemInf)));
}

TEST_F(DriverCleanupTest, DeviceWithoutServiceStillLosesItsPackages) {
  platform.devices = {Instrument(std::nullopt)};
  UseNt("System32\\DRIVERS\\varnel.sys");
  RemoveD805();
  EXPECT_THAT(platform.CallsOf("DeleteService"), IsEmpty());
  EXPECT_THAT(platform.files, ElementsAre(kDriverFile));
  EXPECT_EQ(platform.services.size(), 1u);
}

// The 9x family's driver key and INF copies.
class DriverCleanup9xTest : public DriverCleanupTest {
 protected:
  void SetUp() override {
    DriverCleanupTest::SetUp();
    platform.platform_id = 1;
    FakeDevice device = Instrument(std::nullopt);
    device.inf_files = {"C:\\WINDOWS\\INF\\OEM3.INF"};
    device.driver_values = {{"DriverDesc", "Varnel"}, {"ntmpdriver", "varnel.sys"}};
    platform.devices = {device};
    platform.sfc_available = false;
  }

  // Runs the walk again on the same records.
  void RemoveAgain() {
    platform.calls.clear();
    platform.devices[0].removed = false;
    RemoveD805();
  }
};

TEST_F(DriverCleanup9xTest, DeletionsInOrderWithAndWithoutManufacturer) {
  struct Case {
    const char* manufacturer;
    const char* copy;
  };
  const Case cases[] = {{"Xyz", "C:\\WINDOWS\\INF\\other\\XyzOEM3.INF"},
                        {"", "C:\\WINDOWS\\INF\\other\\OEM3.INF"}};
  for (const Case& c : cases) {
    CurrentManufacturer() = c.manufacturer;
    RemoveAgain();
    EXPECT_THAT(platform.CallsOf("DeleteFileA"),
                ElementsAre(Deleted("C:\\WINDOWS\\SYSTEM32\\DRIVERS\\varnel.sys"), Deleted(c.copy),
                            Deleted("C:\\WINDOWS\\INF\\OEM3.INF"),
                            Deleted("C:\\WINDOWS\\INF\\OEM3.PNF")));
  }
}

TEST_F(DriverCleanup9xTest, OnlyVendorInfFilesGo) {
  // The 9x family keeps the copies it made of vendors' INF files in the
  // "other" folder; an INF of the INF folder itself came with Windows
  // unless Setup named it oem*.inf.
  platform.devices[0].inf_files = {"C:\\WINDOWS\\INF\\USB.INF", "C:\\WINDOWS\\INF\\OTHER\\XyzVARNEL.INF",
                                   "C:\\WINDOWS\\INF\\OTHER\\sub\\X.INF", "C:\\WINDOWS\\OEM4.INF"};
  CurrentManufacturer() = "Xyz";
  RemoveAgain();
  EXPECT_THAT(platform.CallsOf("DeleteFileA(C:\\WINDOWS\\INF"),
              ElementsAre(Deleted("C:\\WINDOWS\\INF\\OTHER\\XyzVARNEL.INF"),
                          Deleted("C:\\WINDOWS\\INF\\OTHER\\XyzVARNEL.PNF")));
}

TEST_F(DriverCleanup9xTest, RegistryTextsThatAreNoSingleFileNameDeleteNothing) {
  for (const char* value : {"..\\..\\varnel.sys", "..\\x.exe", "sub\\varnel.sys", "C:varnel.sys",
                            "/varnel.sys", "varnel.exe", ".."}) {
    platform.devices[0].driver_values = {{"NTMPDriver", value}};
    RemoveAgain();
    EXPECT_THAT(platform.CallsOf("DeleteFileA"), Not(Contains(HasSubstr("DRIVERS")))) << value;
  }
  for (const char* manufacturer : {"..\\..\\Xyz", "Xyz\\..", "C:Xyz", "a/b"}) {
    CurrentManufacturer() = manufacturer;
    RemoveAgain();
    // The INF and its PNF still go; only the copy's path is in doubt.
    EXPECT_THAT(platform.CallsOf("DeleteFileA(C:\\WINDOWS\\INF"),
                ElementsAre(Deleted("C:\\WINDOWS\\INF\\OEM3.INF"),
                            Deleted("C:\\WINDOWS\\INF\\OEM3.PNF")))
        << manufacturer;
  }
}

TEST_F(DriverCleanup9xTest, ValueTooLongForTheBuffersEndsTheScan) {
  for (const auto& [name, data] : {std::pair<std::string, std::string>{std::string(255, 'N'), "x"},
                                  {"Big", std::string(255, 'd')}}) {
    platform.devices[0].driver_values = {{name, data}, {"NTMPDriver", "varnel.sys"}};
    RemoveAgain();
    EXPECT_THAT(platform.CallsOf("RegEnumValueA"), ElementsAre("RegEnumValueA(0, 255, 255)"));
    EXPECT_EQ(platform.CallsOf("DeleteFileA").size(), 3u) << "no driver file";
  }
  // The longest that fits: 254 characters and the zero.
  platform.devices[0].driver_values = {{std::string(254, 'N'), std::string(254, 'd')},
                                       {"NTMPDriver", "varnel.sys"}};
  RemoveAgain();
  EXPECT_EQ(platform.CallsOf("DeleteFileA").size(), 4u);
}

TEST_F(DriverCleanup9xTest, RemoveInstrumentNamesTheCopyAfterTheManufacturer) {
  const RemovalGroup& group = InstrumentEntryFor(InstrumentKind::K3).groups[0];
  platform.devices[0].hardware_ids = std::vector<std::string>{group.ids[0]};
  platform.devices[0].interface_class = group.interface_class;
  platform.devices[0].manufacturer = "Xyz";
  EXPECT_EQ(LookUpManufacturer(platform, group.interface_class), "Xyz");
  const InstrumentKind k3[] = {InstrumentKind::K3};
  RemoveInstruments(platform, k3);
  EXPECT_THAT(platform.CallsOf("DeleteFileA(C:\\WINDOWS\\INF\\other"),
              ElementsAre(Deleted("C:\\WINDOWS\\INF\\other\\XyzOEM3.INF")));
}

TEST_F(DriverCleanup9xTest, ManufacturerIsEmptyWithoutInterfaceOrValue) {
  const Guid unknown{1, 2, 3, {4}};
  EXPECT_EQ(LookUpManufacturer(platform, unknown), "");
  platform.devices[0].interface_class = unknown;
  EXPECT_EQ(LookUpManufacturer(platform, unknown), "");  // no ENUM key
}

TEST(DriverCleanupProbe, ProbeChangesNothing) {
  for (uint32_t platform_id : {kVerPlatformWin32Nt, 1u}) {
    FakeDevicePlatform platform;
    platform.platform_id = platform_id;
    FakeDevice device = Instrument();
    device.driver_values = {{"NTMPDriver", "varnel.sys"}};
    platform.devices = {device};
    platform.services = {{"varnelusb", "System32\\DRIVERS\\varnel.sys"}};
    platform.files = {kDriverFile, kOemInf, kOemPnf};
    EXPECT_TRUE(DriversPresentFor(platform, kId0011));
    EXPECT_EQ(platform.files.size(), 3u);
    EXPECT_EQ(platform.services.size(), 1u);
    for (const std::string& call : platform.calls) {
      EXPECT_EQ(call.find("Delete"), std::string::npos) << call;
      EXPECT_EQ(call.find("Uninstall"), std::string::npos) << call;
    }
  }
}

}  // namespace
}  // namespace engine
