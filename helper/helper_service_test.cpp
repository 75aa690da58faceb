#include "helper/helper_service.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "engine/fake_device_platform.h"
#include "helper/helper_protocol.h"

namespace helper {
namespace {

using engine::FakeDevice;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

FakeDevice D805() {
  return {"USB\\VID_7A5C&PID_0011\\5&1",
          std::vector<std::string>{"USB\\VID_7A5C&PID_0011&REV_0100"},
          "vtd805",
          {}};
}

class HelperServiceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    platform.devices.push_back(D805());
    platform.services["vtd805"] = "System32\\DRIVERS\\vtd805.sys";
    platform.files.insert("C:\\WINDOWS\\System32\\DRIVERS\\vtd805.sys");
  }
  void TearDown() override { platform.ExpectAllReleased(); }

  Answer Run(std::vector<std::string> arguments) { return Serve(platform, arguments); }

  engine::FakeDevicePlatform platform;
};

TEST_F(HelperServiceTest, ProbesEachKindAndChangesNothing) {
  const Answer answer = Run({"1", "probe", "Q3", "D805"});
  EXPECT_EQ(answer.exit_code, kExitDone);
  EXPECT_EQ(answer.output, "varnel-removal 1 probe\r\nQ3 absent\r\nD805 present\r\nend\r\n");
  EXPECT_THAT(platform.CallsOf("SetupDiDeleteDevRegKey"), IsEmpty());
  EXPECT_THAT(platform.CallsOf("DeleteService"), IsEmpty());
  EXPECT_EQ(platform.files.count("C:\\WINDOWS\\System32\\DRIVERS\\vtd805.sys"), 1u);
}

TEST_F(HelperServiceTest, RemovesTheKindsAndAsksForTheRestartOnNt) {
  const Answer answer = Run({"1", "remove", "D805"});
  EXPECT_EQ(answer.exit_code, kExitDone);
  EXPECT_EQ(answer.output, "varnel-removal 1 remove\r\nD805 removed\r\nrestart yes\r\nend\r\n");
  EXPECT_TRUE(platform.devices[0].removed);
  EXPECT_EQ(platform.services.count("vtd805"), 0u);
  EXPECT_EQ(platform.files.count("C:\\WINDOWS\\System32\\DRIVERS\\vtd805.sys"), 0u);
}

TEST_F(HelperServiceTest, BadRequestsTouchNothing) {
  const std::vector<std::string> bad[] = {
      {},  {"1"}, {"1", "remove"}, {"x", "remove", "D805"}, {"1", "remove", "D805", "Nope"},
      {"1", "remove", "D805", "D805"}, {"1", "erase", "D805"}};
  for (const auto& arguments : bad) {
    const Answer answer = Run(arguments);
    EXPECT_EQ(answer.exit_code, kExitBadRequest);
    EXPECT_THAT(answer.output, HasSubstr("error: "));
  }
  const Answer other = Run({"2", "remove", "D805"});
  EXPECT_EQ(other.exit_code, kExitOtherVersion);
  EXPECT_THAT(other.output, HasSubstr("protocol version 2"));
  EXPECT_THAT(platform.TakeCalls(), IsEmpty());
  EXPECT_FALSE(platform.devices[0].removed);
}

}  // namespace
}  // namespace helper
