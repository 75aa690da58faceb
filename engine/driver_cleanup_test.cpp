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

using ::testing::ElementsAre;
using ::testing::IsEmpty;

constexpr char kId0011[] = "USB\\Vid_7a5c&Pid_0011";
constexpr char kOemInf[] = "C:\\WINDOWS\\inf\\oem12.inf";
constexpr char kOemPnf[] = "C:\\WINDOWS\\inf\\oem12.PNF";
constexpr char kDriverFile[] = "C:\\WINDOWS\\System32\\DRIVERS\\varnel.sys";

FakeDevice Instrument(std::optional<std::string> service = "varnelusb") {
  return {"USB\\VID_7A5C&PID_0011\\5&1",
          std::vector<std::string>{"USB\\VID_7A5C&PID_0011&REV_0100"},
          std::move(service),
          {kOemInf}};
}

class DriverCleanupTest : public ::testing::Test {
 protected:
  void SetUp() override { CurrentManufacturer().clear(); }

  void TearDown() override {
    EXPECT_EQ(platform.open_sets(), 0);
    EXPECT_EQ(platform.open_keys(), 0);
    EXPECT_EQ(platform.open_services(), 0);
    EXPECT_EQ(platform.loaded_libraries(), 0);
    EXPECT_EQ(platform.live_buffers(), 0);
    CurrentManufacturer().clear();
  }

  void UseNt(const std::string& image_path) {
    platform.services = {{"varnelusb", image_path}};
    platform.files = {kDriverFile, kOemInf, kOemPnf};
  }

  std::vector<std::string> CallsOf(const std::string& prefix) const {
    std::vector<std::string> found;
    for (const std::string& call : platform.calls) {
      if (call.rfind(prefix, 0) == 0) found.push_back(call);
    }
    return found;
  }

  FakeDevicePlatform platform;
};

TEST_F(DriverCleanupTest, NtRemovalDeletesServiceDriverFileInfAndPnf) {
  const char* const forms[] = {"System32\\DRIVERS\\varnel.sys",
                               "\\SystemRoot\\System32\\DRIVERS\\varnel.sys",
                               "\\??\\C:\\WINDOWS\\System32\\DRIVERS\\varnel.sys"};
  for (const char* windows : {"C:\\WINDOWS", "C:\\WINDOWS\\"}) {
    for (const char* image : forms) {
      platform.calls.clear();
      platform.windows_directory = windows;
      platform.devices = {Instrument()};
      UseNt(image);
      platform.uninstall_oem_inf_available = false;  // the plain deletions alone
      RemoveDriversFor(platform, kId0011);
      EXPECT_THAT(CallsOf("DeleteFileA"),
                  ElementsAre("DeleteFileA(C:\\WINDOWS\\System32\\DRIVERS\\varnel.sys)",
                              std::string("DeleteFileA(") + kOemInf + ")",
                              std::string("DeleteFileA(") + kOemPnf + ")"))
          << windows << " + " << image;
      EXPECT_THAT(platform.files, IsEmpty());
      EXPECT_THAT(platform.services, IsEmpty());
    }
  }
}

TEST_F(DriverCleanupTest, DriverStoreUninstallRunsBeforeThePlainDeletions) {
  platform.devices = {Instrument()};
  UseNt("System32\\DRIVERS\\varnel.sys");
  RemoveDriversFor(platform, kId0011);
  EXPECT_THAT(CallsOf("SetupUninstallOEMInfA"), ElementsAre("SetupUninstallOEMInfA(oem12.inf, 0)"));
  EXPECT_THAT(CallsOf("DeleteFileA").size(), 3u);  // they find nothing left
  EXPECT_THAT(platform.files, IsEmpty());
}

TEST_F(DriverCleanupTest, InboxAndForeignInfFilesStay) {
  FakeDevice device = Instrument();
  device.inf_files = {"C:\\WINDOWS\\inf\\usb.inf", "C:\\Drivers\\oem4.inf", kOemInf, kOemInf};
  platform.devices = {device};
  UseNt("System32\\DRIVERS\\varnel.sys");
  platform.files.insert({"C:\\WINDOWS\\inf\\usb.inf", "C:\\WINDOWS\\inf\\usb.PNF",
                         "C:\\Drivers\\oem4.inf"});
  RemoveDriversFor(platform, kId0011);
  EXPECT_THAT(platform.files, ElementsAre("C:\\Drivers\\oem4.inf", "C:\\WINDOWS\\inf\\usb.inf",
                                          "C:\\WINDOWS\\inf\\usb.PNF"));
  // Each occurrence of the OEM INF is handed on; the second finds nothing.
  EXPECT_EQ(CallsOf("SetupUninstallOEMInfA").size(), 2u);
}

TEST_F(DriverCleanupTest, ProtectedFilesStay) {
  platform.devices = {Instrument()};
  UseNt("System32\\DRIVERS\\varnel.sys");
  platform.uninstall_oem_inf_available = false;
  platform.protected_files = {kDriverFile, kOemPnf};
  RemoveDriversFor(platform, kId0011);
  EXPECT_THAT(platform.files, ElementsAre(kOemPnf, kDriverFile));
  EXPECT_THAT(CallsOf("DeleteFileA"), ElementsAre(std::string("DeleteFileA(") + kOemInf + ")"));
}

TEST_F(DriverCleanupTest, ServiceSharedWithAnotherVendorsDeviceStays) {
  FakeDevice other{"USB\\VID_1234&PID_0001\\7&2",
                   std::vector<std::string>{"USB\\VID_1234&PID_0001"}, "VARNELUSB", {}};
  other.removal_fails = true;  // not present: still listed, still counts
  platform.devices = {Instrument(), other};
  UseNt("System32\\DRIVERS\\varnel.sys");
  RemoveDriversFor(platform, kId0011);
  EXPECT_THAT(platform.services, ElementsAre(std::pair<const std::string, std::string>(
                                     "varnelusb", "System32\\DRIVERS\\varnel.sys")));
  EXPECT_THAT(platform.files, ElementsAre(kDriverFile));
  EXPECT_THAT(CallsOf("DeleteService"), IsEmpty());
}

TEST_F(DriverCleanupTest, ServiceSharedOnlyWithInstrumentsGoes) {
  FakeDevice second = Instrument();
  second.instance_id = "USB\\VID_7A5C&PID_0012\\5&2";
  second.hardware_ids = std::vector<std::string>{"USB\\VID_7A5C&PID_0012"};
  platform.devices = {Instrument(), second};
  UseNt("System32\\DRIVERS\\varnel.sys");
  RemoveDriversFor(platform, kId0011);
  EXPECT_THAT(platform.services, IsEmpty());
  EXPECT_THAT(CallsOf("DeleteService"), ElementsAre("DeleteService(varnelusb)"));
}

TEST_F(DriverCleanupTest, DeviceWithoutServiceStillLosesItsPackages) {
  platform.devices = {Instrument(std::nullopt)};
  UseNt("System32\\DRIVERS\\varnel.sys");
  RemoveDriversFor(platform, kId0011);
  EXPECT_THAT(CallsOf("DeleteService"), IsEmpty());
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
};

TEST_F(DriverCleanup9xTest, DeletionsInOrderWithAndWithoutManufacturer) {
  struct Case {
    const char* manufacturer;
    const char* copy;
  };
  const Case cases[] = {{"Xyz", "C:\\WINDOWS\\INF\\other\\XyzOEM3.INF"},
                        {"", "C:\\WINDOWS\\INF\\other\\OEM3.INF"}};
  for (const Case& c : cases) {
    platform.calls.clear();
    platform.devices[0].removed = false;
    CurrentManufacturer() = c.manufacturer;
    RemoveDriversFor(platform, kId0011);
    EXPECT_THAT(CallsOf("DeleteFileA"),
                ElementsAre("DeleteFileA(C:\\WINDOWS\\SYSTEM32\\DRIVERS\\varnel.sys)",
                            std::string("DeleteFileA(") + c.copy + ")",
                            "DeleteFileA(C:\\WINDOWS\\INF\\OEM3.INF)",
                            "DeleteFileA(C:\\WINDOWS\\INF\\OEM3.PNF)"));
  }
}

TEST_F(DriverCleanup9xTest, ValueTooLongForTheBuffersEndsTheScan) {
  for (const auto& [name, data] : {std::pair<std::string, std::string>{std::string(255, 'N'), "x"},
                                  {"Big", std::string(255, 'd')}}) {
    platform.calls.clear();
    platform.devices[0].removed = false;
    platform.devices[0].driver_values = {{name, data}, {"NTMPDriver", "varnel.sys"}};
    RemoveDriversFor(platform, kId0011);
    EXPECT_THAT(CallsOf("RegEnumValueA"), ElementsAre("RegEnumValueA(0, 255, 255)"));
    EXPECT_EQ(CallsOf("DeleteFileA").size(), 3u) << "no driver file";
  }
  // The longest that fits: 254 characters and the zero.
  platform.calls.clear();
  platform.devices[0].removed = false;
  platform.devices[0].driver_values = {{std::string(254, 'N'), std::string(254, 'd')},
                                       {"NTMPDriver", "varnel.sys"}};
  RemoveDriversFor(platform, kId0011);
  EXPECT_EQ(CallsOf("DeleteFileA").size(), 4u);
}

TEST_F(DriverCleanup9xTest, RemoveInstrumentNamesTheCopyAfterTheManufacturer) {
  const RemovalGroup& group = InstrumentEntryFor(InstrumentKind::K3).groups[0];
  platform.devices[0].hardware_ids = std::vector<std::string>{group.ids[0]};
  platform.devices[0].interface_class = group.interface_class;
  platform.devices[0].manufacturer = "Xyz";
  EXPECT_EQ(LookUpManufacturer(platform, group.interface_class), "Xyz");
  RemoveInstrument(platform, InstrumentKind::K3);
  EXPECT_THAT(CallsOf("DeleteFileA(C:\\WINDOWS\\INF\\other"),
              ElementsAre("DeleteFileA(C:\\WINDOWS\\INF\\other\\XyzOEM3.INF)"));
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
