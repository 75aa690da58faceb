#include "engine/hardware_ids.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "engine/fake_device_platform.h"

namespace engine {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

TEST(TextContainsId, ComparesUpperCasedSubstrings) {
  struct Case {
    const char* entry;
    const char* id;
    bool contains;
  };
  const Case cases[] = {
      {"USB\\VID_7A5C&PID_0011&REV_0100", "USB\\Vid_7a5c&Pid_0011", true},
      {"USB\\VID_7A5C&PID_00115", "USB\\Vid_7a5c&Pid_0011", true},  // not anchored
      {"usb\\vid_7a5c&pid_0011", "USB\\VID_7A5C&PID_0011", true},
      {"XUSB\\VID_7A5C&PID_0011", "USB\\VID_7A5C&PID_0011", true},
      {"USB\\VID_7A5C&PID_0012", "USB\\Vid_7a5c&Pid_0011", false},
      {"USB\\VID_7A5C", "USB\\VID_7A5C&PID_0011", false},
      {"", "USB\\VID_7A5C&PID_0011", false},
      // The locale's upper-casing, not ASCII folding: y and e with
      // diaeresis and acute, whose capitals lie outside ASCII.
      {"ID\xFF", "id\x9F", true},
      {"caf\xE9", "CAF\xC9", true},
      {"\xF7", "\xD7", false},  // division and multiplication signs: no case pair
  };
  FakeDevicePlatform platform;
  for (const Case& c : cases) {
    EXPECT_EQ(TextContainsId(platform, c.entry, c.id), c.contains) << c.entry << " / " << c.id;
  }
}

TEST(HardwareIdsContain, TrueWhenAnyEntryContainsTheId) {
  FakeDevicePlatform platform;
  const std::string id = "USB\\Vid_7a5c&Pid_0011";
  EXPECT_FALSE(HardwareIdsContain(platform, {}, id));
  EXPECT_FALSE(HardwareIdsContain(platform, {"USB\\VID_1234&PID_5678", "USB\\VID_1234"}, id));
  EXPECT_TRUE(HardwareIdsContain(platform, {"USB\\VID_1234", "USB\\VID_7A5C&PID_0011&REV_0100"}, id));
}

struct SplitCase {
  const char* name;
  std::string bytes;
  int64_t size;
  bool far_east;
  std::vector<std::string> entries;
};

TEST(SplitMultiString, StepsThroughTheReportedSize) {
  using namespace std::string_literals;
  const SplitCase cases[] = {
      {"two entries", "A\0B\0\0"s, 5, false, {"A", "B"}},
      {"one entry", "A\0\0"s, 3, false, {"A"}},
      {"longer entries", "AB\0CDE\0\0"s, 8, false, {"AB", "CDE"}},
      {"size zero", "A\0B\0\0"s, 0, false, {}},
      {"negative size", "A\0B\0\0"s, -1, false, {}},
      {"size cuts the list", "A\0B\0\0"s, 2, false, {"A"}},
      // A property without its zeros: the text ends at the reported size.
      {"unterminated", "ABC"s, 3, false, {"ABC"}},
      // Far East: the first character's width steps the whole buffer.
      {"double-byte first", "\x82\xA0\0X\0\0"s, 6, true, {"\x82\xA0"}},
      {"single-byte first", "\x82\xA0\0X\0\0"s, 6, false, {"\x82\xA0", "X"}},
      {"ASCII first on Far East", "A\0B\0\0"s, 5, true, {"A", "B"}},
      // An empty first text has no width; stepping by 0 would never end.
      {"empty first on Far East", "\0A\0\0"s, 4, true, {"", "A"}},
  };
  for (const SplitCase& c : cases) {
    FakeDevicePlatform platform;
    platform.far_east = c.far_east;
    // Exactly as long as the bytes, so the sanitizer sees any overrun.
    std::vector<uint8_t> buffer(c.bytes.begin(), c.bytes.end());
    std::vector<std::string> list{"kept"};
    SplitMultiString(platform, buffer.data(), c.size, list);
    std::vector<std::string> expected{"kept"};
    expected.insert(expected.end(), c.entries.begin(), c.entries.end());
    EXPECT_EQ(list, expected) << c.name;
  }
}

}  // namespace
}  // namespace engine
