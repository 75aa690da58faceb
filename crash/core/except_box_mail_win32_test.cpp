// The dialog's mail button end to end: the report and its screenshot go
// by SMTP to the test's own server on 127.0.0.1, and the user is told.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "crash/core/except_box.h"
#include "crash/core/settings.h"
#include "crash/core/win_handle.h"
#include "crash/delivery/testing/loopback_guard.h"
#include "crash/delivery/testing/peer_process.h"

namespace qor {
namespace {

DWORD WINAPI ShowDialog(void* request) {
  RunExceptBox(*static_cast<const ExceptBoxRequest*>(request));
  return 0;
}

// The top-level window of `class_name` with that title once it is shown
// (it is complete then); polls for up to 20 s, since the dialog's thread
// creates it.
HWND WaitForWindow(const char* class_name, const char* title) {
  for (int i = 0; i < 2000; ++i) {
    HWND window = FindWindowA(class_name, title);
    if (window && IsWindowVisible(window)) return window;
    Sleep(10);
  }
  return nullptr;
}

std::string TextOf(HWND window) {
  char text[512] = {};
  GetWindowTextA(window, text, sizeof text);
  return text;
}

TEST(ExceptBoxMail, MailButtonSendsTheReportAndSaysSo) {
  testing::PeerProcess peer("smtp_peer.py", {"plain:plain"});
  ASSERT_TRUE(peer.ready()) << "the SMTP test server did not start";
  testing::LoopbackGuard guard({}, {}, 0);
  const TExceptSettings saved = ExceptSettings;
  ExceptSettings.ConsoleOutput = false;
  ExceptSettings.AnimatedButtons = false;
  ExceptSettings.AttachBugReportFile = false;
  ExceptSettings.MailAddress = "support@varnel.test";
  ExceptSettings.MailSubject = "%exceptMsg%";
  ExceptSettings.SendViaServer = true;
  ExceptSettings.SmtpServer = "127.0.0.1";
  ExceptSettings.SmtpPort = peer.Port("plain");
  ExceptSettings.SendViaMapi = false;
  ExceptSettings.SendViaShell = false;
  ExceptSettings.TitleText = "mail test";

  ExceptBoxRequest request;
  request.exception_message = "Range check error";
  request.report = "date/time : now\r\nexception message : Range check error\r\nlines";
  const uint8_t png[] = {0x89, 'P', 'N', 'G', 13, 10, 26, 10};
  request.screenshot_png = png;
  OwnedHandle thread(CreateThread(nullptr, 0, ShowDialog, &request, 0, nullptr));
  const HWND dialog = WaitForWindow("qorExceptWndClass", "mail test");
  ASSERT_NE(dialog, nullptr);
  const HWND mail = FindWindowExA(dialog, nullptr, "Button", "mail bug report");
  ASSERT_NE(mail, nullptr);
  PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(mail), BN_CLICKED),
               reinterpret_cast<LPARAM>(mail));

  const HWND told = WaitForWindow("#32770", "mail bug report");
  ASSERT_NE(told, nullptr) << "no message after the mail";
  EXPECT_EQ(TextOf(GetDlgItem(told, 0xffff)), "The mail was sent successfully.");
  EXPECT_EQ(GetWindow(told, GW_OWNER), dialog);
  PostMessageA(told, WM_COMMAND, IDOK, 0);

  auto message = peer.Ask("message " + peer.Ask("count")["count"]);
  EXPECT_EQ(message["from"], "support@varnel.test");
  EXPECT_EQ(message["subject"], "Range check error");
  EXPECT_EQ(message["body"], request.report);
  EXPECT_EQ(message["file:screenShot.png"], std::string(reinterpret_cast<const char*>(png), 8));
  for (Ipv4Address address : testing::LoopbackGuard::Addresses()) {
    EXPECT_TRUE(testing::IsLoopback(address));
  }

  PostMessageA(dialog, WM_CLOSE, 0, 0);  // continue
  EXPECT_EQ(WaitForSingleObject(thread.get(), 20000), WAIT_OBJECT_0);
  ExceptSettings = saved;
}

}  // namespace
}  // namespace qor
