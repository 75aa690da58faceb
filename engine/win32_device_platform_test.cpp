// The engine over the real system calls, run under Wine in the Windows tree.
//
// windows.h comes first on purpose: every engine header must compile after
// the system's macros are defined, as it does in the program's own files.
#include <windows.h>

#include "engine/device_platform.h"
#include "engine/device_record.h"
#include "engine/device_steps.h"
#include "engine/device_walk.h"
#include "engine/driver_cleanup.h"
#include "engine/fake_device_platform.h"
#include "engine/hardware_ids.h"
#include "engine/instrument_table.h"
#include "engine/local_buffer.h"
#include "engine/manufacturer_lookup.h"
#include "engine/platform_handle.h"
#include "engine/privileges.h"
#include "engine/win32_device_platform.h"

#include <gtest/gtest.h>

#include "runtime/exceptions.h"

namespace engine {
namespace {

TEST(Win32DevicePlatform, ReportsTheNtFamily) {
  Win32DevicePlatform platform;
  EXPECT_TRUE(platform.IsNtFamily());
}

TEST(Win32DevicePlatform, UpperCasesThroughTheLocale) {
  Win32DevicePlatform platform;
  EXPECT_TRUE(TextContainsId(platform, "usb\\vid_7a5c&pid_0011&rev_0100", "USB\\Vid_7a5c&Pid_0011"));
  EXPECT_FALSE(TextContainsId(platform, "USB\\VID_7A5C&PID_0012", "USB\\Vid_7a5c&Pid_0011"));
}

TEST(Win32DevicePlatform, WalksFindNoDeviceForAnUnknownId) {
  Win32DevicePlatform platform;
  // The walk opens, enumerates and closes the set of all devices.
  EXPECT_FALSE(DriversPresentFor(platform, "USB\\VID_7A5C&PID_FFFF&NO_SUCH_DEVICE"));
  EXPECT_FALSE(RemoveDriversFor(platform, "USB\\VID_7A5C&PID_FFFF&NO_SUCH_DEVICE"));
}

TEST(Win32DevicePlatform, MembershipOfTheBuiltInGroups) {
  Win32DevicePlatform platform;
  // The Wine prefix's user is an administrator; 0x3FF is no
  // built-in alias at all.
  EXPECT_TRUE(IsAdmin(platform));
  EXPECT_FALSE(IsGroupMember(platform, 0x3FF));
}

TEST(Win32DevicePlatform, UnknownPrivilegeRaisesTheSystemsError) {
  Win32DevicePlatform platform;
  try {
    EnablePrivilege(platform, "SeNoSuchPrivilege", true);
    ADD_FAILURE() << "no exception";
  } catch (const runtime::EOSError& error) {
    EXPECT_EQ(error.ErrorCode, 1313u);  // ERROR_NO_SUCH_PRIVILEGE
    EXPECT_FALSE(error.Message.empty());
  }
}

}  // namespace
}  // namespace engine
