#include "engine/privileges.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>

#include "engine/fake_device_platform.h"
#include "runtime/exceptions.h"

namespace engine {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::IsEmpty;

constexpr uint32_t kAdmins = kDomainAliasRidAdmins;
constexpr uint32_t kUsers = 545;

class PrivilegesTest : public ::testing::Test {
 protected:
  void TearDown() override {
    // The identifier, the token and the group buffer go on every path.
    EXPECT_EQ(platform.live_sids(), 0);
    EXPECT_EQ(platform.live_tokens(), 0);
    EXPECT_EQ(platform.live_buffers(), 0);
  }

  FakeDevicePlatform platform;
};

TEST_F(PrivilegesTest, NineXFamilyAnswersTrueWithoutAskingTheSystem) {
  platform.platform_id = 1;
  platform.process_token_fails = true;
  EXPECT_TRUE(IsGroupMember(platform, kUsers));
  EXPECT_TRUE(IsAdmin(platform));
  EXPECT_TRUE(EnablePrivilege(platform, "SeShutdownPrivilege", true));
  EXPECT_THAT(platform.calls, IsEmpty());
}

TEST_F(PrivilegesTest, CheckTokenMembershipDecidesWhereTheSystemHasIt) {
  struct Case {
    bool fails;
    bool answer;
    bool member;
  };
  for (const Case c : {Case{false, true, true}, Case{false, false, false}, Case{true, true, false}}) {
    FakeDevicePlatform check;
    check.check_token_membership_fails = c.fails;
    check.check_token_membership_answer = c.answer;
    EXPECT_EQ(IsAdmin(check), c.member);
    EXPECT_THAT(check.calls,
                ElementsAre("AllocateAndInitializeSid(NT, 2, 32, 544)", "GetVersion",
                            "GetModuleHandleA(advapi32.dll)",
                            "GetProcAddress(CheckTokenMembership)",
                            "CheckTokenMembership(0, S-1-5-32-544)", "FreeSid(S-1-5-32-544)"));
    EXPECT_EQ(check.live_sids(), 0);
  }
}

TEST_F(PrivilegesTest, OlderSystemsAndMissingEntryPointUseTheTokenGroups) {
  FakeDevicePlatform nt4;
  nt4.major_version = 4;
  nt4.token_groups = {{kAdmins, kSeGroupEnabled}};
  EXPECT_TRUE(IsAdmin(nt4));
  EXPECT_THAT(nt4.calls,
              ElementsAre("AllocateAndInitializeSid(NT, 2, 32, 544)", "GetVersion",
                          "OpenThreadToken(thread, 0x8, self)", "OpenProcessToken(process, 0x8)",
                          "GetTokenInformation(token, 2, null)",
                          "GetTokenInformation(token, 2, buffer)",
                          "EqualSid(S-1-5-32-544, S-1-5-32-544)", "CloseHandle(token)",
                          "FreeSid(S-1-5-32-544)"));

  platform.check_token_membership_exported = false;
  platform.check_token_membership_answer = true;  // must not be asked
  EXPECT_FALSE(IsAdmin(platform));
  EXPECT_THAT(platform.calls, ::testing::Contains("GetTokenInformation(token, 2, buffer)"));
  EXPECT_THAT(platform.calls, ::testing::Not(::testing::Contains(
                                  ::testing::StartsWith("CheckTokenMembership"))));
}

TEST_F(PrivilegesTest, FallbackCountsOnlyEnabledGroupsThatAreNotDenyOnly) {
  constexpr uint32_t kMandatory = 0x1, kOwner = 0x8;
  struct Case {
    const char* name;
    std::vector<FakeTokenGroup> groups;
    bool member;
  };
  std::vector<FakeTokenGroup> many;
  for (uint32_t rid = 600; rid < 640; ++rid) many.push_back({rid, kSeGroupEnabled});
  many.push_back({kAdmins, kSeGroupEnabled | kMandatory});
  const Case cases[] = {
      {"enabled", {{kAdmins, kSeGroupEnabled}}, true},
      {"other bits ignored", {{kAdmins, kSeGroupEnabled | kMandatory | kOwner}}, true},
      {"deny-only", {{kAdmins, kSeGroupEnabled | kSeGroupUseForDenyOnly}}, false},
      {"deny-only, not enabled", {{kAdmins, kSeGroupUseForDenyOnly}}, false},
      {"not enabled", {{kAdmins, kMandatory}}, false},
      {"other group only", {{kUsers, kSeGroupEnabled}}, false},
      {"no groups", {}, false},
      {"last of many", many, true},
      {"second entry qualifies",
       {{kAdmins, kSeGroupUseForDenyOnly}, {kAdmins, kSeGroupEnabled}},
       true},
  };
  for (const Case& c : cases) {
    FakeDevicePlatform fallback;
    fallback.check_token_membership_exported = false;
    fallback.token_groups = c.groups;
    EXPECT_EQ(IsAdmin(fallback), c.member) << c.name;
    EXPECT_EQ(fallback.live_sids() + fallback.live_tokens() + fallback.live_buffers(), 0) << c.name;
  }
}

// Each early exit of the fallback: the answer is false and everything that
// was obtained up to that point is released, in reverse order.
TEST_F(PrivilegesTest, FallbackFailuresAnswerFalseAndReleaseWhatWasTaken) {
  struct Case {
    const char* name;
    std::function<void(FakeDevicePlatform&)> setup;
    bool member;
    std::vector<std::string> calls_after_lookup;  // after GetProcAddress
    int allocations;
  };
  const std::vector<std::string> kGroupRead = {
      "OpenThreadToken(thread, 0x8, self)", "OpenProcessToken(process, 0x8)",
      "GetTokenInformation(token, 2, null)", "GetTokenInformation(token, 2, buffer)"};
  auto then = [](std::vector<std::string> head, std::vector<std::string> tail) {
    head.insert(head.end(), tail.begin(), tail.end());
    return head;
  };
  const Case cases[] = {
      {"thread token refused", [](FakeDevicePlatform& p) { p.thread_token = FakeThreadToken::Fails; },
       false, {"OpenThreadToken(thread, 0x8, self)", "FreeSid(S-1-5-32-544)"}, 0},
      {"process token refused", [](FakeDevicePlatform& p) { p.process_token_fails = true; }, false,
       {"OpenThreadToken(thread, 0x8, self)", "OpenProcessToken(process, 0x8)",
        "FreeSid(S-1-5-32-544)"},
       0},
      {"impersonating thread", [](FakeDevicePlatform& p) { p.thread_token = FakeThreadToken::Present; },
       true,
       {"OpenThreadToken(thread, 0x8, self)", "GetTokenInformation(token, 2, null)",
        "GetTokenInformation(token, 2, buffer)", "EqualSid(S-1-5-32-544, S-1-5-32-544)",
        "CloseHandle(token)", "FreeSid(S-1-5-32-544)"},
       1},
      {"size query fails", [](FakeDevicePlatform& p) { p.group_size_error = 5; }, false,
       {"OpenThreadToken(thread, 0x8, self)", "OpenProcessToken(process, 0x8)",
        "GetTokenInformation(token, 2, null)", "CloseHandle(token)", "FreeSid(S-1-5-32-544)"},
       0},
      {"group read fails", [](FakeDevicePlatform& p) { p.group_read_fails = true; }, false,
       then(kGroupRead, {"CloseHandle(token)", "FreeSid(S-1-5-32-544)"}), 1},
      {"no memory", [](FakeDevicePlatform& p) { p.out_of_memory = true; }, false,
       {"OpenThreadToken(thread, 0x8, self)", "OpenProcessToken(process, 0x8)",
        "GetTokenInformation(token, 2, null)", "CloseHandle(token)", "FreeSid(S-1-5-32-544)"},
       0},
  };
  const std::vector<std::string> kLookup = {
      "AllocateAndInitializeSid(NT, 2, 32, 544)", "GetVersion", "GetModuleHandleA(advapi32.dll)",
      "GetProcAddress(CheckTokenMembership)"};
  for (const Case& c : cases) {
    FakeDevicePlatform fallback;
    fallback.check_token_membership_exported = false;
    fallback.token_groups = {{kAdmins, kSeGroupEnabled}};
    c.setup(fallback);
    EXPECT_EQ(IsAdmin(fallback), c.member) << c.name;
    EXPECT_THAT(fallback.calls, ElementsAreArray(then(kLookup, c.calls_after_lookup))) << c.name;
    EXPECT_EQ(fallback.allocations, c.allocations) << c.name;
    EXPECT_EQ(fallback.live_sids() + fallback.live_tokens() + fallback.live_buffers(), 0) << c.name;
  }
}

TEST_F(PrivilegesTest, FallbackReadsNoGroupBeyondTheBuffer) {
  platform.check_token_membership_exported = false;
  platform.token_groups = {{kUsers, kSeGroupEnabled}};
  platform.claimed_group_count = 1000;
  EXPECT_FALSE(IsAdmin(platform));
  EXPECT_THAT(platform.calls, ::testing::Contains(::testing::StartsWith("EqualSid")).Times(1));
}

TEST_F(PrivilegesTest, IdentifierThatCannotBeBuiltAnswersFalse) {
  platform.allocate_sid_fails = true;
  platform.check_token_membership_answer = true;
  EXPECT_FALSE(IsGroupMember(platform, kUsers));
  EXPECT_THAT(platform.calls, ElementsAre("AllocateAndInitializeSid(NT, 2, 32, 545)"));
}

TEST_F(PrivilegesTest, EnablePrivilegeAdjustsTheProcessToken) {
  EXPECT_TRUE(EnablePrivilege(platform, "SeShutdownPrivilege", true));
  EXPECT_TRUE(EnablePrivilege(platform, "SeShutdownPrivilege", false));
  EXPECT_THAT(platform.calls,
              ElementsAre("OpenProcessToken(process, 0x28)",
                          "LookupPrivilegeValueA(null, SeShutdownPrivilege)",
                          "AdjustTokenPrivileges(token, false, 1, 19, 2, 16)", "CloseHandle(token)",
                          "OpenProcessToken(process, 0x28)",
                          "LookupPrivilegeValueA(null, SeShutdownPrivilege)",
                          "AdjustTokenPrivileges(token, false, 1, 19, 0, 16)",
                          "CloseHandle(token)"));
}

TEST_F(PrivilegesTest, EnablePrivilegeRaisesTheSystemsMessage) {
  struct Case {
    const char* name;
    std::function<void(FakeDevicePlatform&)> setup;
    const char* privilege;
    uint32_t code;
    const char* message;
  };
  const Case cases[] = {
      // The adjustment reports success; only the error code tells.
      {"not held", [](FakeDevicePlatform& p) { p.privilege_held = false; }, "SeShutdownPrivilege",
       kErrorNotAllAssigned, "Not all privileges or groups referenced are assigned to the caller"},
      {"unknown name", [](FakeDevicePlatform&) {}, "SeNoSuchPrivilege", 1313,
       "A specified privilege does not exist"},
      {"token refused", [](FakeDevicePlatform& p) { p.process_token_fails = true; },
       "SeShutdownPrivilege", 5, "Access is denied"},
  };
  for (const Case& c : cases) {
    FakeDevicePlatform enable;
    c.setup(enable);
    try {
      EnablePrivilege(enable, c.privilege, true);
      ADD_FAILURE() << c.name << ": no exception";
    } catch (const runtime::EOSError& error) {
      EXPECT_EQ(error.ErrorCode, c.code) << c.name;
      EXPECT_EQ(error.Message, c.message) << c.name;
    }
    EXPECT_EQ(enable.live_tokens(), 0) << c.name;
    EXPECT_THAT(enable.calls, ::testing::Contains(
                                  "FormatMessageA(0x1200, " + std::to_string(c.code) + ")"));
  }
}

TEST_F(PrivilegesTest, ErrorWithoutSystemTextStillNamesTheCode) {
  platform.process_token_fails = true;
  platform.process_token_error = 1234;  // a code the system has no text for
  try {
    EnablePrivilege(platform, "SeShutdownPrivilege", true);
    ADD_FAILURE() << "no exception";
  } catch (const runtime::EOSError& error) {
    EXPECT_EQ(error.ErrorCode, 1234u);
    EXPECT_EQ(error.Message, "System error 1234");
  }
}

}  // namespace
}  // namespace engine
