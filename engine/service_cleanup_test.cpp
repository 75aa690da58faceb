// The service step inside whole NT walks over the recording fake: which
// services go with their image files, and which stay, and why.
#include "engine/service_cleanup.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>

#include "engine/device_walk.h"
#include "engine/fake_device_platform.h"

namespace engine {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::Not;

constexpr char kId0011[] = "USB\\Vid_7a5c&Pid_0011";
constexpr char kImage[] = "System32\\DRIVERS\\varnel.sys";
constexpr char kDriverFile[] = "C:\\WINDOWS\\System32\\DRIVERS\\varnel.sys";
constexpr InstrumentKind kD805Only[] = {InstrumentKind::D805};

FakeDevice Device(std::string instance_id, std::string id, std::string service) {
  return {std::move(instance_id), std::vector<std::string>{std::move(id)}, std::move(service), {}};
}

FakeDevice D805(std::string service = "varnelusb") {
  return Device("USB\\VID_7A5C&PID_0011\\5&1", "USB\\VID_7A5C&PID_0011&REV_0100",
                std::move(service));
}

class ServiceCleanupTest : public ::testing::Test {
 protected:
  void SetUp() override {
    platform.devices = {D805()};
    platform.services = {{"varnelusb", kImage}};
    platform.files = {kDriverFile};
  }

  void TearDown() override {
    platform.ExpectAllReleased();
  }

  bool ServiceAndImageStay() const {
    return platform.services.count("varnelusb") == 1 && platform.files.count(kDriverFile) == 1;
  }

  FakeDevicePlatform platform;
};

TEST_F(ServiceCleanupTest, ServiceOnlyTheRemovedKindsUseGoesWithItsImage) {
  // A second D805 device names it too; it goes with the kind.
  platform.devices.push_back(
      Device("USB\\VID_7A5C&PID_0012\\5&2", "USB\\VID_7A5C&PID_0012", "VARNELUSB"));
  RemoveDriversFor(platform, kId0011, RemovalScope(kD805Only));
  EXPECT_THAT(platform.CallsOf("DeleteService"), ElementsAre("DeleteService(varnelusb)"));
  EXPECT_THAT(platform.services, IsEmpty());
  EXPECT_THAT(platform.files, IsEmpty());
}

TEST_F(ServiceCleanupTest, ServiceThatADeviceOutsideTheRemovalNamesStays) {
  FakeDevice other_maker = Device("USB\\VID_1234&PID_0001\\7&2", "USB\\VID_1234&PID_0001",
                                  "VARNELUSB");
  FakeDevice unticked_q3 = Device("USB\\VID_7A5C&PID_0008\\5&3", "USB\\VID_7A5C&PID_0008",
                                  "varnelusb");
  FakeDevice unreadable = other_maker;
  unreadable.hardware_ids.reset();  // might be anyone's
  for (const FakeDevice& user : {other_maker, unticked_q3, unreadable}) {
    SetUp();
    platform.devices.push_back(user);
    const InstrumentKind d805[] = {InstrumentKind::D805};
    RemoveInstruments(platform, d805);
    EXPECT_TRUE(ServiceAndImageStay()) << user.instance_id;
    EXPECT_THAT(platform.CallsOf("DeleteService"), IsEmpty());
  }
  // Removed together with the Q3, the shared service goes.
  SetUp();
  platform.devices.push_back(unticked_q3);
  const InstrumentKind both[] = {InstrumentKind::D805, InstrumentKind::Q3};
  RemoveInstruments(platform, both);
  EXPECT_THAT(platform.services, IsEmpty());
  EXPECT_THAT(platform.files, IsEmpty());
}

TEST_F(ServiceCleanupTest, ServicesThatWindowsProvidesStay) {
  // Each case gives the service one fact of its own; only instruments
  // name any of them.
  struct Case {
    const char* rule;
    std::function<void(FakeDevicePlatform&)> arrange;
  };
  const Case cases[] = {
      {"well-known USB class service",
       [](FakeDevicePlatform& p) {
         p.devices = {D805("usbser")};
         p.services = {{"usbser", kImage}};
       }},
      {"system start type",
       [](FakeDevicePlatform& p) { p.service_start_types["varnelusb"] = kServiceSystemStart; }},
      {"boot start type",
       [](FakeDevicePlatform& p) { p.service_start_types["varnelusb"] = kServiceBootStart; }},
      {"installed from an inbox INF",
       [](FakeDevicePlatform& p) { p.devices[0].driver_values = {{"InfPath", "usb.inf"}}; }},
      {"protected image", [](FakeDevicePlatform& p) { p.protected_files = {kDriverFile}; }},
  };
  for (const Case& c : cases) {
    FakeDevicePlatform walk_platform;
    walk_platform.devices = {D805()};
    walk_platform.services = {{"varnelusb", kImage}};
    walk_platform.files = {kDriverFile};
    c.arrange(walk_platform);
    RemoveDriversFor(walk_platform, kId0011, RemovalScope(kD805Only));
    EXPECT_EQ(walk_platform.services.size(), 1u) << c.rule;
    EXPECT_THAT(walk_platform.files, ElementsAre(kDriverFile)) << c.rule;
    EXPECT_THAT(walk_platform.CallsOf("DeleteService"), IsEmpty()) << c.rule;
    walk_platform.ExpectAllReleased();
  }
  // An OEM INF installed the driver: that fact alone keeps nothing.
  platform.devices[0].driver_values = {{"InfPath", "oem7.inf"}};
  RemoveDriversFor(platform, kId0011, RemovalScope(kD805Only));
  EXPECT_THAT(platform.services, IsEmpty());
}

TEST_F(ServiceCleanupTest, ImageFollowsOnlyAServiceThatIsGone) {
  platform.delete_service_errors["varnelusb"] = 5;  // ERROR_ACCESS_DENIED
  RemoveDriversFor(platform, kId0011, RemovalScope(kD805Only));
  EXPECT_THAT(platform.CallsOf("DeleteService"), ElementsAre("DeleteService(varnelusb)"));
  EXPECT_TRUE(ServiceAndImageStay());
  EXPECT_THAT(platform.CallsOf("DeleteFileA"), IsEmpty());

  // Marked for deletion before: it goes when its last handle closes.
  SetUp();
  platform.calls.clear();
  platform.delete_service_errors["varnelusb"] = kErrorServiceMarkedForDelete;
  RemoveDriversFor(platform, kId0011, RemovalScope(kD805Only));
  EXPECT_THAT(platform.files, IsEmpty());
}

TEST_F(ServiceCleanupTest, ImagesOutsideTheDriversFolderDeleteNothing) {
  for (const char* image :
       {"System32\\DRIVERS\\..\\..\\varnel.sys", "\\SystemRoot\\System32\\drivers\\..\\x.sys",
        "\\\\server\\share\\varnel.sys", "\\??\\UNC\\server\\share\\varnel.sys",
        "\\\\.\\C:\\WINDOWS\\System32\\DRIVERS\\varnel.sys", "C:\\Drivers\\varnel.sys",
        "System32\\varnel.sys", "System32\\DRIVERS\\sub\\varnel.sys",
        "System32\\DRIVERS\\varnel.exe", "System32\\DRIVERS\\varnel.sys:stream", ""}) {
    SetUp();
    platform.calls.clear();
    platform.services = {{"varnelusb", image}};
    RemoveDriversFor(platform, kId0011, RemovalScope(kD805Only));
    EXPECT_EQ(platform.services.size(), 1u) << image;
    EXPECT_THAT(platform.CallsOf("DeleteFileA"), Not(::testing::Contains(HasSubstr("varnel"))))
        << image;
    EXPECT_THAT(platform.CallsOf("DeleteService"), IsEmpty()) << image;
  }
}

}  // namespace
}  // namespace engine
