// The engine over the real system calls, run under Wine in the Windows tree.
//
// windows.h comes first on purpose: every engine header must compile after
// the system's macros are defined, as it does in the program's own files.
#include <windows.h>
#include <setupapi.h>

#include "engine/device_platform.h"
#include "engine/device_record.h"
#include "engine/device_steps.h"
#include "engine/device_walk.h"
#include "engine/driver_cleanup.h"
#include "engine/fake_device_platform.h"
#include "engine/foreign_use.h"
#include "engine/hardware_ids.h"
#include "engine/instrument_table.h"
#include "engine/local_buffer.h"
#include "engine/manufacturer_lookup.h"
#include "engine/platform_handle.h"
#include "engine/privileges.h"
#include "engine/protected_files.h"
#include "engine/removal_scope.h"
#include "engine/service_cleanup.h"
#include "engine/win32_device_platform.h"

#include <gtest/gtest.h>

#include "runtime/exceptions.h"

namespace engine {
namespace {

TEST(Win32DevicePlatform, ReportsTheNtFamily) {
  Win32DevicePlatform platform;
  EXPECT_TRUE(platform.IsNtFamily());
}

TEST(Win32DevicePlatform, PredefinedKeyHasTheSystemsValue) {
  // A negative 32-bit number widened to the pointer's size, which the
  // 64-bit build must not lose.
  EXPECT_EQ(kHkeyLocalMachine, reinterpret_cast<KeyHandle>(HKEY_LOCAL_MACHINE));
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
  EXPECT_FALSE(
      RemoveDriversFor(platform, "USB\\VID_7A5C&PID_FFFF&NO_SUCH_DEVICE", RemovalScope({})));
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

TEST(Win32DevicePlatform, WinesSfcProtectsNoFile) {
  // Wine exports SfcIsFileProtected, but as a stub that answers false (and
  // ERROR_FILE_NOT_FOUND) for every file, kernel32.dll included. On Windows
  // it answers true here; the protection rule is shown by the host tests.
  Win32DevicePlatform platform;
  ProtectedFiles files(platform);
  EXPECT_FALSE(files.Covers(WindowsDirectory(platform) + "\\System32\\kernel32.dll"));
}

TEST(Win32DevicePlatform, DriverCleanupOverTheRealFileSystemAndServices) {
  Win32DevicePlatform platform;
  const std::string windows = WindowsDirectory(platform);
  ASSERT_FALSE(windows.empty());
  // The NT family has no ENUM key: the manufacturer text stays empty.
  const Guid unknown{0x1234567, 0x89AB, 0xCDEF, {1, 2, 3, 4, 5, 6, 7, 8}};
  EXPECT_EQ(LookUpManufacturer(platform, unknown), "");

  // Driver images are deleted only from the drivers folder.
  char temp[MAX_PATH] = {};
  ASSERT_NE(GetTempPathA(MAX_PATH, temp), 0u);
  const std::string elsewhere = std::string(temp) + "qor_driver_cleanup_test.sys";
  const std::string image = windows + "\\System32\\drivers\\qor_driver_cleanup_test.sys";
  DeviceRecord record;
  for (const std::string& path : {elsewhere, image}) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE) << path;
    CloseHandle(file);
  }
  const HDEVINFO set = SetupDiGetClassDevsA(nullptr, nullptr, nullptr, DIGCF_ALLCLASSES);
  ASSERT_NE(set, INVALID_HANDLE_VALUE);
  const RemovalScope scope({});
  ForeignUse foreign(platform, reinterpret_cast<DevInfoHandle>(set), scope);
  for (const std::string& path : {elsewhere, image}) {
    record.driver_file = path;
    DeleteDriverFiles(platform, record, WalkMode::Probe, true, foreign);
    EXPECT_NE(GetFileAttributesA(path.c_str()), INVALID_FILE_ATTRIBUTES) << path;
    DeleteDriverFiles(platform, record, WalkMode::Remove, true, foreign);
  }
  SetupDiDestroyDeviceInfoList(set);
  EXPECT_NE(GetFileAttributesA(elsewhere.c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(GetFileAttributesA(image.c_str()), INVALID_FILE_ATTRIBUTES);
  DeleteFileA(elsewhere.c_str());
}

}  // namespace
}  // namespace engine
