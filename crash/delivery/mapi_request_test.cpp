// The MAPI message's parts, and the hooks through which the core lets the
// main thread run during the call.
#include "crash/delivery/mapi_request.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "crash/delivery/mail_client_hooks.h"

namespace qor {
namespace {

TEST(MapiRequest, RecipientsFilesAndFlags) {
  const MapiRequest request =
      PrepareMapiRequest("Support Team <help@x.org>; b@y.org", " |C:\\r.txt|| C:\\s.png |", true);
  ASSERT_EQ(request.recipients.size(), 2u);
  EXPECT_EQ(request.recipients[0].name, "Support Team ");
  EXPECT_EQ(request.recipients[0].address, "SMTP:help@x.org");
  EXPECT_EQ(request.recipients[1].address, "SMTP:b@y.org");
  EXPECT_EQ(request.files, (std::vector<std::string>{"C:\\r.txt", "C:\\s.png"}));
  EXPECT_EQ(request.flags, 0u);
  // Silent sending to no one still shows the dialog, where the user can
  // fill in a recipient.
  EXPECT_EQ(PrepareMapiRequest("", "", true).flags, kMapiLogonUi | kMapiDialog);
  EXPECT_EQ(PrepareMapiRequest(" ; ", "", true).flags, 9u);
  EXPECT_EQ(PrepareMapiRequest("a@x.org", "", false).flags, 9u);
  EXPECT_TRUE(PrepareMapiRequest("", "", false).files.empty());
}

std::vector<std::string> calls;
bool release_answer = false;

class MailClientHooksTest : public ::testing::Test {
 protected:
  void SetUp() override {
    calls.clear();
    DeliveryMailClientHooks() = {};
  }
  void TearDown() override { DeliveryMailClientHooks() = {}; }

  static void Install() {
    DeliveryMailClientHooks().loader_lock_held = [] {
      calls.push_back("lock?");
      return true;
    };
    DeliveryMailClientHooks().release_main_thread = [] {
      calls.push_back("release");
      return release_answer;
    };
    DeliveryMailClientHooks().hold_main_thread = [] { calls.push_back("hold"); };
  }
};

TEST_F(MailClientHooksTest, UnfilledHooksChangeNothing) {
  EXPECT_FALSE(LoaderLockHeld());
  { const MainThreadRelease release; }
  EXPECT_TRUE(calls.empty());
}

TEST_F(MailClientHooksTest, MainThreadIsHeldAgainOnlyWhenItWasReleased) {
  Install();
  EXPECT_TRUE(LoaderLockHeld());
  release_answer = true;
  {
    const MainThreadRelease release;
    calls.push_back("call");
  }
  release_answer = false;
  {
    const MainThreadRelease release;
    calls.push_back("call");
  }
  EXPECT_EQ(calls, (std::vector<std::string>{"lock?", "release", "call", "hold", "release", "call"}));
}

}  // namespace
}  // namespace qor
