#include "engine/device_walk.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "engine/fake_device_platform.h"

namespace engine {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::IsEmpty;

constexpr char kId0011[] = "USB\\Vid_7a5c&Pid_0011";
constexpr InstrumentKind kD805Only[] = {InstrumentKind::D805};

// A matching instrument with a service and one driver package, and an
// unrelated device without a service.
FakeDevice Instrument() {
  return {"USB\\VID_7A5C&PID_0011\\5&1",
          std::vector<std::string>{"USB\\VID_7A5C&PID_0011&REV_0100", "USB\\VID_7A5C&PID_0011"},
          "varnelusb",
          {"C:\\WINDOWS\\inf\\oem12.inf"}};
}

FakeDevice Unrelated() {
  return {"ROOT\\LEGACY\\0000", std::vector<std::string>{"USB\\VID_1234&PID_5678"}, std::nullopt, {}};
}

FakeDevice WithIds(std::string instance_id, std::vector<std::string> ids) {
  return {std::move(instance_id), std::move(ids), std::nullopt, {}};
}

class DeviceWalkTest : public ::testing::Test {
 protected:
  void TearDown() override {
    // Everything is released, whatever happened.
    platform.ExpectAllReleased();
  }

  FakeDevicePlatform platform;
};

// The driver-package calls of the instrument, the same in every walk.
const std::vector<std::string> kInstrumentDrivers = {
    "SetupDiBuildDriverInfoList(USB\\VID_7A5C&PID_0011\\5&1, 2)",
    "SetupDiEnumDriverInfoA(USB\\VID_7A5C&PID_0011\\5&1, 2, 0)",
    "SetupDiGetDriverInfoDetailA(USB\\VID_7A5C&PID_0011\\5&1, null)",
    "SetupDiGetDriverInfoDetailA(USB\\VID_7A5C&PID_0011\\5&1, buffer)",
    "SetupDiEnumDriverInfoA(USB\\VID_7A5C&PID_0011\\5&1, 2, 1)",
    "SetupDiDestroyDriverInfoList(USB\\VID_7A5C&PID_0011\\5&1, 2)",
};

std::vector<std::string> Joined(std::initializer_list<std::vector<std::string>> parts) {
  std::vector<std::string> all;
  for (const auto& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

// The other maker's device as the removal looks at what it uses: its
// properties, and its driver key (it has none).
std::vector<std::string> ForeignLook(bool nt_family) {
  const std::vector<std::string> nt = {
      "SetupDiEnumDeviceInfo(0)",
      "SetupDiGetDeviceRegistryPropertyW(USB\\VID_7A5C&PID_0011\\5&1, 4, 0)",
      "SetupDiGetDeviceRegistryPropertyA(USB\\VID_7A5C&PID_0011\\5&1, 4, 20)",
      "SetupDiGetDeviceRegistryPropertyW(USB\\VID_7A5C&PID_0011\\5&1, 1, 0)",
      "SetupDiGetDeviceRegistryPropertyA(USB\\VID_7A5C&PID_0011\\5&1, 1, 108)",
      "SetupDiEnumDeviceInfo(1)",
      "SetupDiGetDeviceRegistryPropertyW(ROOT\\LEGACY\\0000, 4, 0)",
      "SetupDiGetDeviceRegistryPropertyW(ROOT\\LEGACY\\0000, 1, 0)",
      "SetupDiGetDeviceRegistryPropertyA(ROOT\\LEGACY\\0000, 1, 46)",
      "SetupDiOpenDevRegKey(ROOT\\LEGACY\\0000, 1, 0, 2, 0x1)",
      "SetupDiEnumDeviceInfo(2)"};
  const std::vector<std::string> x9 = {
      "SetupDiEnumDeviceInfo(0)",
      "SetupDiGetDeviceRegistryPropertyA(USB\\VID_7A5C&PID_0011\\5&1, 1, 0)",
      "SetupDiGetDeviceRegistryPropertyA(USB\\VID_7A5C&PID_0011\\5&1, 1, 55)",
      "SetupDiEnumDeviceInfo(1)",
      "SetupDiGetDeviceRegistryPropertyA(ROOT\\LEGACY\\0000, 1, 0)",
      "SetupDiGetDeviceRegistryPropertyA(ROOT\\LEGACY\\0000, 1, 24)",
      "SetupDiOpenDevRegKey(ROOT\\LEGACY\\0000, 1, 0, 2, 0x1)",
      "SetupDiEnumDeviceInfo(2)"};
  return nt_family ? nt : x9;
}

// NT family: the service and the hardware ids, sized wide and read ANSI
// (wide sizes are twice the ANSI bytes in the fake); the installed INF
// before the keys go (the instrument has no driver key in the fake).
std::vector<std::string> NtWalk(bool remove) {
  const std::vector<std::string> removal = {
      "SetupDiSetClassInstallParamsA(USB\\VID_7A5C&PID_0011\\5&1, 8, 5, 1, 0, 16)",
      "SetupDiCallClassInstaller(5, USB\\VID_7A5C&PID_0011\\5&1)",
  };
  const std::vector<std::string> keys = {
      "SetupDiDeleteDevRegKey(USB\\VID_7A5C&PID_0011\\5&1, 1, 0xffffffff, 4)"};
  // The configuration and the image path's text after it.
  const std::string config_size =
      std::to_string(sizeof(QueryServiceConfigData) + sizeof("System32\\DRIVERS\\varnel.sys"));
  const std::vector<std::string> service = {"OpenSCManagerA(null, null, 0xf003f)",
                                            "OpenServiceA(varnelusb, 0xf003f)",
                                            "QueryServiceConfigA(varnelusb, 0)",
                                            "QueryServiceConfigA(varnelusb, " + config_size + ")"};
  // Nobody else names it, Windows does not provide it: it goes.
  const std::vector<std::string> service_deletion = {
      "LoadLibraryA(sfc.dll)", "GetProcAddress(SfcIsFileProtected)", "FreeLibrary",
      "DeleteService(varnelusb)"};
  const std::vector<std::string> close = {"CloseServiceHandle", "CloseServiceHandle"};
  const std::vector<std::string> files = {
      "LoadLibraryA(sfc.dll)",
      "GetProcAddress(SfcIsFileProtected)",
      "DeleteFileA(C:\\WINDOWS\\System32\\DRIVERS\\varnel.sys)",
      "GetModuleHandleA(setupapi.dll)",
      "GetProcAddress(SetupUninstallOEMInfA)",
      "SetupUninstallOEMInfA(oem12.inf, 0)",
      "DeleteFileA(C:\\WINDOWS\\inf\\oem12.inf)",
      "DeleteFileA(C:\\WINDOWS\\inf\\oem12.PNF)",
      "FreeLibrary",
  };
  const std::vector<std::string> none;
  return Joined({
      {"SetupDiGetClassDevsW(null, null, 0, 0x4)", "SetupDiEnumDeviceInfo(0)",
       "SetupDiGetDeviceRegistryPropertyW(USB\\VID_7A5C&PID_0011\\5&1, 4, 0)",
       "SetupDiGetDeviceRegistryPropertyA(USB\\VID_7A5C&PID_0011\\5&1, 4, 20)",
       "SetupDiGetDeviceRegistryPropertyW(USB\\VID_7A5C&PID_0011\\5&1, 1, 0)",
       "SetupDiGetDeviceRegistryPropertyA(USB\\VID_7A5C&PID_0011\\5&1, 1, 108)",
       "SetupDiOpenDevRegKey(USB\\VID_7A5C&PID_0011\\5&1, 1, 0, 2, 0x1)"},
      remove ? keys : none,
      kInstrumentDrivers,
      remove ? removal : none,
      service,
      remove ? ForeignLook(true) : none,
      remove ? service_deletion : none,
      close,
      remove ? files : none,
      {"SetupDiEnumDeviceInfo(1)", "SetupDiGetDeviceRegistryPropertyW(ROOT\\LEGACY\\0000, 4, 0)",
       "SetupDiGetDeviceRegistryPropertyW(ROOT\\LEGACY\\0000, 1, 0)",
       "SetupDiGetDeviceRegistryPropertyA(ROOT\\LEGACY\\0000, 1, 46)", "SetupDiEnumDeviceInfo(2)",
       "SetupDiDestroyDeviceInfoList"},
  });
}

// 9x family: hardware ids only, read into one spare byte.
std::vector<std::string> Walk9x(bool remove) {
  const std::vector<std::string> removal = {
      "SetupDiDeleteDevRegKey(USB\\VID_7A5C&PID_0011\\5&1, 1, 0x0, 2)",
      "SetupDiSetClassInstallParamsA(USB\\VID_7A5C&PID_0011\\5&1, 8, 5, 1, 0, 16)",
      "SetupDiCallClassInstaller(5, USB\\VID_7A5C&PID_0011\\5&1)",
      "SetupDiDeleteDevRegKey(USB\\VID_7A5C&PID_0011\\5&1, 1, 0x0, 1)",
      "LoadLibraryA(sfc.dll)",
      "GetProcAddress(SfcIsFileProtected)",
  };
  const std::vector<std::string> files = {
      "DeleteFileA(C:\\WINDOWS\\inf\\other\\oem12.inf)",
      "DeleteFileA(C:\\WINDOWS\\inf\\oem12.inf)",
      "DeleteFileA(C:\\WINDOWS\\inf\\oem12.PNF)",
      "FreeLibrary",
  };
  const std::vector<std::string> none;
  return Joined({
      {"SetupDiGetClassDevsA(null, null, 0, 0x4)", "SetupDiEnumDeviceInfo(0)",
       "SetupDiGetDeviceRegistryPropertyA(USB\\VID_7A5C&PID_0011\\5&1, 1, 0)",
       "SetupDiGetDeviceRegistryPropertyA(USB\\VID_7A5C&PID_0011\\5&1, 1, 55)",
       "SetupDiOpenDevRegKey(USB\\VID_7A5C&PID_0011\\5&1, 1, 0, 2, 0x3)"},
      kInstrumentDrivers,
      remove ? removal : none,
      remove ? ForeignLook(false) : none,
      remove ? files : none,
      {"SetupDiEnumDeviceInfo(1)", "SetupDiGetDeviceRegistryPropertyA(ROOT\\LEGACY\\0000, 1, 0)",
       "SetupDiGetDeviceRegistryPropertyA(ROOT\\LEGACY\\0000, 1, 24)", "SetupDiEnumDeviceInfo(2)",
       "SetupDiDestroyDeviceInfoList"},
  });
}

TEST_F(DeviceWalkTest, ExactCallsOfBothWalksInBothModes) {
  struct Case {
    uint32_t platform_id;
    bool remove;
    std::vector<std::string> calls;
  };
  const Case cases[] = {
      {kVerPlatformWin32Nt, false, NtWalk(false)},
      {kVerPlatformWin32Nt, true, NtWalk(true)},
      {1, false, Walk9x(false)},
      {1, true, Walk9x(true)},
  };
  for (const Case& c : cases) {
    FakeDevicePlatform walk_platform;
    walk_platform.platform_id = c.platform_id;
    walk_platform.devices = {Instrument(), Unrelated()};
    walk_platform.services = {{"varnelusb", "System32\\DRIVERS\\varnel.sys"}};
    walk_platform.files = {"C:\\WINDOWS\\System32\\DRIVERS\\varnel.sys",
                           "C:\\WINDOWS\\inf\\oem12.inf", "C:\\WINDOWS\\inf\\oem12.PNF"};
    // Probe answers true on the match and still visits every device;
    // remove answers false although it removed the instrument.
    const bool result = c.remove ? RemoveDriversFor(walk_platform, kId0011, RemovalScope(kD805Only))
                                 : DriversPresentFor(walk_platform, kId0011);
    EXPECT_EQ(result, !c.remove);
    EXPECT_THAT(walk_platform.calls, ElementsAreArray(c.calls))
        << "platform " << c.platform_id << (c.remove ? " remove" : " probe");
    EXPECT_EQ(walk_platform.devices[0].removed, c.remove);
    EXPECT_EQ(walk_platform.files.count("C:\\WINDOWS\\inf\\oem12.inf"), c.remove ? 0u : 1u);
    EXPECT_FALSE(walk_platform.devices[1].removed);
    walk_platform.ExpectAllReleased();
  }
}

TEST_F(DeviceWalkTest, ProbeFindsNothingWhenNoDeviceMatches) {
  platform.devices = {Unrelated(), WithIds("X\\1", {"USB\\VID_7A5C&PID_0012"})};
  EXPECT_FALSE(DriversPresentFor(platform, kId0011));
  EXPECT_THAT(platform.CallsOf("SetupDiBuildDriverInfoList"), IsEmpty());
  EXPECT_THAT(platform.CallsOf("SetupDiEnumDeviceInfo"),
              ElementsAre("SetupDiEnumDeviceInfo(0)", "SetupDiEnumDeviceInfo(1)",
                          "SetupDiEnumDeviceInfo(2)"));
}

TEST_F(DeviceWalkTest, SetThatCannotBeOpenedEndsTheWalk) {
  platform.class_devs_fails = true;
  platform.devices = {Instrument()};
  EXPECT_FALSE(DriversPresentFor(platform, kId0011));
  EXPECT_THAT(platform.calls, ElementsAre("SetupDiGetClassDevsW(null, null, 0, 0x4)"));
}

TEST_F(DeviceWalkTest, TwoMatchingDevicesAreRemovedInEnumerationOrder) {
  platform.devices = {WithIds("FIRST", {"USB\\VID_7A5C&PID_0011&REV_0100"}), Unrelated(),
                      WithIds("SECOND", {"USB\\VID_7A5C&PID_0011&REV_0200"})};
  RemoveDriversFor(platform, kId0011, RemovalScope(kD805Only));
  EXPECT_THAT(platform.CallsOf("SetupDiCallClassInstaller"),
              ElementsAre("SetupDiCallClassInstaller(5, FIRST)",
                          "SetupDiCallClassInstaller(5, SECOND)"));
  EXPECT_TRUE(platform.devices[0].removed);
  EXPECT_TRUE(platform.devices[2].removed);
}

TEST_F(DeviceWalkTest, DeviceWithSeveralTableIdsMatchesEachOfThem) {
  platform.devices = {WithIds("ADAPTER", {"USB\\VID_7A5C&PID_00FD", "USB\\VID_7A5C&PID_00FE"})};
  EXPECT_TRUE(DriversPresentFor(platform, "USB\\VID_7A5C&PID_00fd"));
  EXPECT_TRUE(DriversPresentFor(platform, "USB\\VID_7A5C&PID_00fe"));
  EXPECT_FALSE(DriversPresentFor(platform, "USB\\VID_7A5C&PID_0010"));
  EXPECT_EQ(platform.version_queries, 1);  // the family is read once
}

TEST_F(DeviceWalkTest, FailedClassInstallerRemovalStillRunsTheLaterSteps) {
  struct Case {
    uint32_t platform_id;
    std::vector<std::string> device_calls;
  };
  const std::string sequence[] = {"SetupDiDeleteDevRegKey", "SetupDiSetClassInstallParamsA",
                                  "SetupDiCallClassInstaller", "SetupDiEnumDeviceInfo(1)"};
  const Case cases[] = {
      // NT: both keys are gone before the node removal is tried.
      {kVerPlatformWin32Nt,
       {"SetupDiDeleteDevRegKey(STUCK, 1, 0xffffffff, 4)",
        "SetupDiSetClassInstallParamsA(STUCK, 8, 5, 1, 0, 16)", "SetupDiEnumDeviceInfo(1)",
        "SetupDiDeleteDevRegKey(NEXT, 1, 0xffffffff, 4)",
        "SetupDiSetClassInstallParamsA(NEXT, 8, 5, 1, 0, 16)",
        "SetupDiCallClassInstaller(5, NEXT)"}},
      // 9x: the driver key is gone, the hardware key stays.
      {1,
       {"SetupDiDeleteDevRegKey(STUCK, 1, 0x0, 2)",
        "SetupDiSetClassInstallParamsA(STUCK, 8, 5, 1, 0, 16)", "SetupDiEnumDeviceInfo(1)",
        "SetupDiDeleteDevRegKey(NEXT, 1, 0x0, 2)",
        "SetupDiSetClassInstallParamsA(NEXT, 8, 5, 1, 0, 16)",
        "SetupDiCallClassInstaller(5, NEXT)", "SetupDiDeleteDevRegKey(NEXT, 1, 0x0, 1)"}},
  };
  for (const Case& c : cases) {
    FakeDevicePlatform walk_platform;
    walk_platform.platform_id = c.platform_id;
    FakeDevice stuck = WithIds("STUCK", {"USB\\VID_7A5C&PID_0011"});
    stuck.removal_fails = true;
    walk_platform.devices = {stuck, WithIds("NEXT", {"USB\\VID_7A5C&PID_0011"})};
    RemoveDriversFor(walk_platform, kId0011, RemovalScope(kD805Only));
    std::vector<std::string> seen;
    for (const std::string& call : walk_platform.calls) {
      for (const std::string& prefix : sequence) {
        if (call.rfind(prefix, 0) == 0) seen.push_back(call);
      }
    }
    EXPECT_THAT(seen, ElementsAreArray(c.device_calls)) << "platform " << c.platform_id;
    EXPECT_FALSE(walk_platform.devices[0].removed);
    EXPECT_TRUE(walk_platform.devices[1].removed);
  }
}

TEST_F(DeviceWalkTest, DeviceWithUnreadablePropertiesNeverMatches) {
  for (uint32_t platform_id : {kVerPlatformWin32Nt, 1u}) {
    FakeDevicePlatform walk_platform;
    walk_platform.platform_id = platform_id;
    FakeDevice unreadable = Instrument();
    unreadable.properties_unreadable = true;
    FakeDevice no_ids = Instrument();
    no_ids.instance_id = "NO-IDS";
    no_ids.hardware_ids.reset();
    walk_platform.devices = {unreadable, no_ids};
    EXPECT_FALSE(DriversPresentFor(walk_platform, kId0011)) << platform_id;
    RemoveDriversFor(walk_platform, kId0011, RemovalScope(kD805Only));
    EXPECT_FALSE(walk_platform.devices[0].removed);
    EXPECT_FALSE(walk_platform.devices[1].removed);
    EXPECT_EQ(walk_platform.live_buffers(), 0);
  }
}

TEST_F(DeviceWalkTest, OutOfMemorySkipsTheDevicesQuietly) {
  platform.devices = {Instrument()};
  platform.out_of_memory = true;
  EXPECT_FALSE(DriversPresentFor(platform, kId0011));
  EXPECT_THAT(platform.CallsOf("SetupDiGetDeviceRegistryPropertyA"), IsEmpty());
  EXPECT_THAT(platform.CallsOf("SetupDiDestroyDeviceInfoList"), ElementsAre("SetupDiDestroyDeviceInfoList"));
}

TEST_F(DeviceWalkTest, ProbeInstrumentAsksOnlyForTheProbeId) {
  // Id0015 belongs to K3 but is not its probe id (Id0014 is).
  platform.devices = {WithIds("K3-OTHER", {"USB\\VID_7A5C&PID_0015"})};
  EXPECT_FALSE(ProbeInstrument(platform, InstrumentKind::K3));
  platform.devices.push_back(WithIds("K3", {"USB\\VID_7A5C&PID_0014&REV_0001"}));
  EXPECT_TRUE(ProbeInstrument(platform, InstrumentKind::K3));
  EXPECT_THAT(platform.CallsOf("SetupDiGetClassDevsW"), ::testing::SizeIs(2));  // one walk per probe
  EXPECT_THAT(platform.CallsOf("SetupDiCallClassInstaller"), IsEmpty());
}

TEST_F(DeviceWalkTest, RemoveInstrumentWalksEachIdOfEachGroupInOrder) {
  // Listed against the removal order, so that the order of the removals
  // shows the order of the walks.
  platform.devices = {WithIds("K3", {"USB\\VID_7A5C&PID_0014"}),
                      WithIds("K3-OTHER", {"USB\\VID_7A5C&PID_0015"})};
  const InstrumentKind k3[] = {InstrumentKind::K3};
  RemoveInstruments(platform, k3);
  EXPECT_THAT(platform.CallsOf("SetupDiCallClassInstaller"),
              ElementsAre("SetupDiCallClassInstaller(5, K3-OTHER)",
                          "SetupDiCallClassInstaller(5, K3)"));
  EXPECT_THAT(platform.CallsOf("SetupDiGetClassDevsW"), ::testing::SizeIs(2));
}

TEST_F(DeviceWalkTest, UsbAdapterIsRemovedOnceAcrossTheThreeKindsThatShareIt) {
  platform.devices = {WithIds("ADAPTER-FE", {"USB\\VID_7A5C&PID_00FE"}),
                      WithIds("K2", {"USB\\VID_7A5C&PID_0018"}),
                      WithIds("ADAPTER-FD", {"USB\\VID_7A5C&PID_00FD"}),
                      WithIds("Q2", {"USB\\VID_7A5C&PID_0010"})};
  const InstrumentKind kinds[] = {InstrumentKind::Q2, InstrumentKind::K2, InstrumentKind::D801};
  RemoveInstruments(platform, kinds);
  // Three walks per kind: its own id, then the adapter's two ids; the
  // second and third adapter passes find nothing left to remove.
  EXPECT_THAT(platform.CallsOf("SetupDiGetClassDevsW"), ::testing::SizeIs(9));
  EXPECT_THAT(platform.CallsOf("SetupDiCallClassInstaller"),
              ElementsAre("SetupDiCallClassInstaller(5, Q2)",
                          "SetupDiCallClassInstaller(5, ADAPTER-FD)",
                          "SetupDiCallClassInstaller(5, ADAPTER-FE)",
                          "SetupDiCallClassInstaller(5, K2)"));
  EXPECT_EQ(CurrentManufacturer(), "");
}

}  // namespace
}  // namespace engine
