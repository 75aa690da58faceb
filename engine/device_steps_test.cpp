#include "engine/device_steps.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "engine/fake_device_platform.h"

namespace engine {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

// One device of the fake, reached the way a walk reaches it.
class DeviceStepsTest : public ::testing::Test {
 protected:
  void Open(FakeDevice device) {
    platform.devices = {std::move(device)};
    set = platform.SetupDiGetClassDevsA(nullptr, nullptr, 0, kDigcfAllClasses);
    device_data.cbSize = sizeof(device_data);
    ASSERT_TRUE(platform.SetupDiEnumDeviceInfo(set, 0, &device_data));
  }
  void TearDown() override {
    platform.SetupDiDestroyDeviceInfoList(set);
    EXPECT_EQ(platform.open_driver_lists(), 0);
    EXPECT_EQ(platform.live_buffers(), 0);
  }

  FakeDevicePlatform platform;
  DevInfoHandle set = 0;
  SpDevinfoData device_data{};
  DeviceRecord record;
};

TEST_F(DeviceStepsTest, CollectInfFilesKeepsEveryDriverInOrderWithDuplicates) {
  // One INF that provides two compatible drivers is listed twice.
  Open({"DEV", std::vector<std::string>{"USB\\VID_7A5C&PID_0011"}, std::nullopt,
        {"C:\\WINDOWS\\inf\\oem12.inf", "C:\\WINDOWS\\inf\\oem3.inf", "C:\\WINDOWS\\inf\\oem12.inf"}});
  record.inf_files = {"kept"};
  CollectInfFiles(platform, set, device_data, record);
  EXPECT_THAT(record.inf_files, ElementsAre("kept", "C:\\WINDOWS\\inf\\oem12.inf",
                                            "C:\\WINDOWS\\inf\\oem3.inf",
                                            "C:\\WINDOWS\\inf\\oem12.inf"));
  EXPECT_EQ(platform.allocations, 3);
}

TEST_F(DeviceStepsTest, CollectInfFilesWithoutDriversDestroysTheList) {
  Open({"DEV", std::vector<std::string>{"ID"}, std::nullopt, {}});
  CollectInfFiles(platform, set, device_data, record);
  EXPECT_THAT(record.inf_files, IsEmpty());
  EXPECT_THAT(platform.TakeCalls(),
              ElementsAre("SetupDiGetClassDevsA(null, null, 0, 0x4)", "SetupDiEnumDeviceInfo(0)",
                          "SetupDiBuildDriverInfoList(DEV, 2)", "SetupDiEnumDriverInfoA(DEV, 2, 0)",
                          "SetupDiDestroyDriverInfoList(DEV, 2)"));
}

TEST_F(DeviceStepsTest, CollectInfFilesWithoutMemoryListsNothing) {
  Open({"DEV", std::vector<std::string>{"ID"}, std::nullopt, {"C:\\WINDOWS\\inf\\oem12.inf"}});
  platform.out_of_memory = true;
  CollectInfFiles(platform, set, device_data, record);
  EXPECT_THAT(record.inf_files, IsEmpty());
}

TEST_F(DeviceStepsTest, DriverWhoseDetailCannotBeSizedIsSkipped) {
  FakeDevice device{"DEV", std::vector<std::string>{"ID"}, std::nullopt, {"C:\\WINDOWS\\inf\\oem12.inf"}};
  device.driver_details_unsized = true;
  Open(device);
  CollectInfFiles(platform, set, device_data, record);
  EXPECT_THAT(record.inf_files, IsEmpty());
  EXPECT_EQ(platform.allocations, 0);  // no buffer too small for its own header
}

TEST_F(DeviceStepsTest, InstalledInfComesFromTheDriverKey) {
  FakeDevice device{"DEV", std::vector<std::string>{"ID"}, std::nullopt, {}};
  device.driver_values = {{"DriverDesc", "x"}, {"infpath", "oem7.inf"}};
  Open(device);
  ReadInstalledInf(platform, set, device_data, record);
  EXPECT_EQ(record.installed_inf, "oem7.inf");
  EXPECT_THAT(platform.CallsOf("SetupDiOpenDevRegKey"),
              ElementsAre("SetupDiOpenDevRegKey(DEV, 1, 0, 2, 0x1)"));
  EXPECT_EQ(platform.open_keys(), 0);

  // No driver installed: no key, nothing known.
  platform.devices[0].driver_values.clear();
  DeviceRecord empty;
  ReadInstalledInf(platform, set, device_data, empty);
  EXPECT_EQ(empty.installed_inf, "");
}

TEST_F(DeviceStepsTest, PropertiesNtFillServiceAndHardwareIds) {
  Open({"DEV", std::vector<std::string>{"USB\\VID_7A5C&PID_0011&REV_0100", "USB\\VID_7A5C&PID_0011"},
        "varnelusb", {}});
  ReadDevicePropertiesNT(platform, set, device_data, record);
  EXPECT_EQ(record.service_name, "varnelusb");
  EXPECT_THAT(record.hardware_ids,
              ElementsAre("USB\\VID_7A5C&PID_0011&REV_0100", "USB\\VID_7A5C&PID_0011"));
}

TEST_F(DeviceStepsTest, PropertiesThatCannotBeReadStayEmpty) {
  FakeDevice device{"DEV", std::vector<std::string>{"USB\\VID_7A5C&PID_0011"}, "varnelusb", {}};
  device.properties_unreadable = true;
  Open(device);
  ReadDevicePropertiesNT(platform, set, device_data, record);
  ReadDeviceProperties9x(platform, set, device_data, record);
  EXPECT_EQ(record.service_name, "");
  EXPECT_THAT(record.hardware_ids, IsEmpty());
  EXPECT_EQ(platform.allocations, 3);  // every buffer taken was freed (TearDown)
}

TEST_F(DeviceStepsTest, Properties9xReadHardwareIdsOnly) {
  Open({"DEV", std::vector<std::string>{"USB\\VID_7A5C&PID_00FD"}, "varnelusb", {}});
  ReadDeviceProperties9x(platform, set, device_data, record);
  EXPECT_EQ(record.service_name, "");
  EXPECT_THAT(record.hardware_ids, ElementsAre("USB\\VID_7A5C&PID_00FD"));
}

}  // namespace
}  // namespace engine
