// Simple MAPI and the registered mail program, with stand-ins that record
// what they were given: a mapi32.dll beside this test, and a recorder
// program registered as the "mailto" command for the length of a test.
#include <winsock2.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "crash/delivery/dns_servers.h"
#include "crash/delivery/library_win32.h"
#include "crash/delivery/mail_client.h"
#include "crash/delivery/mail_client_hooks.h"
#include "crash/delivery/mailto_command.h"
#include "crash/delivery/testing/percent_decoded.h"

namespace qor {
namespace {

std::string ProgramDirectory() {
  char path[MAX_PATH];
  const DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
  std::string directory(path, length);
  return directory.substr(0, directory.find_last_of('\\'));
}

// --- Simple MAPI -----------------------------------------------------------

std::vector<std::string> order;

using RecordProc = const char*(__cdecl*)();
using AnswerProc = void(__cdecl*)(ULONG, void (*)());

class MapiTest : public ::testing::Test {
 protected:
  void SetUp() override {
    DeliveryMailClientHooks() = {};
    // The first send loads the stand-in; later ones find it loaded.
    MapiSendReport("", "", "", true, nullptr, "");
    const HMODULE mapi = GetModuleHandleA("mapi32.dll");
    ASSERT_NE(mapi, nullptr);
    record_ = ProcAddress<RecordProc>(mapi, "TestMapiRecord");
    answer_ = ProcAddress<AnswerProc>(mapi, "TestMapiAnswer");
    // Wine's own mapi32 would have no such exports.
    ASSERT_NE(record_, nullptr) << "the stand-in mapi32.dll was not the one loaded";
    answer_(0, [] { order.push_back("call"); });
    order.clear();
  }
  void TearDown() override { DeliveryMailClientHooks() = {}; }

  RecordProc record_ = nullptr;
  AnswerProc answer_ = nullptr;
};

TEST_F(MapiTest, MessageAsMapiSeesIt) {
  EXPECT_EQ(MapiSendReport("Support Team <help@x.org>; b@y.org", "Bug report", "Body\r\ntext",
                           true, nullptr, " C:\\r\\report.txt | C:\\r\\shot.png"),
            kMapiSent);
  EXPECT_EQ(std::string(record_()),
            "session=0 flags=0 reserved=0 owner-topmost=0\n"
            "subject=Bug report\nnote=Body\r\ntext\n"
            "to class=1 name=Support Team  address=SMTP:help@x.org\n"
            "to class=1 name=b@y.org address=SMTP:b@y.org\n"
            "file position=4294967295 path=C:\\r\\report.txt name=(null)\n"
            "file position=4294967295 path=C:\\r\\shot.png name=(null)\n");
  EXPECT_EQ(MapiSendReport("", "s", "b", true, nullptr, ""), kMapiSent);
  EXPECT_EQ(std::string(record_()).substr(0, 19), "session=0 flags=9 r");
}

TEST_F(MapiTest, ResultCodes) {
  answer_(1, nullptr);  // the user closed the composition window
  EXPECT_EQ(MapiSendReport("a@x.org", "s", "b", false, nullptr, ""), kMapiCancelled);
  answer_(3, nullptr);  // log-on failed
  EXPECT_EQ(MapiSendReport("a@x.org", "s", "b", false, nullptr, ""), kMapiNotSent);
}

TEST_F(MapiTest, TopmostOwnerStepsBackForTheCall) {
  const HWND owner = CreateWindowExA(WS_EX_TOPMOST, "STATIC", "owner", WS_POPUP, 0, 0, 10, 10,
                                     nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(owner, nullptr);
  EXPECT_EQ(MapiSendReport("a@x.org", "s", "b", true, owner, ""), kMapiSent);
  EXPECT_NE(std::string(record_()).find("owner-topmost=0"), std::string::npos);
  EXPECT_NE(GetWindowLongA(owner, GWL_EXSTYLE) & WS_EX_TOPMOST, 0);
  DestroyWindow(owner);
}

TEST_F(MapiTest, MainThreadRunsDuringTheCallAndLoaderLockStopsIt) {
  DeliveryMailClientHooks().release_main_thread = [] {
    order.push_back("release");
    return true;
  };
  DeliveryMailClientHooks().hold_main_thread = [] { order.push_back("hold"); };
  EXPECT_EQ(MapiSendReport("a@x.org", "s", "b", true, nullptr, ""), kMapiSent);
  EXPECT_EQ(order, (std::vector<std::string>{"release", "call", "hold"}));
  order.clear();
  DeliveryMailClientHooks().loader_lock_held = [] { return true; };
  EXPECT_EQ(MapiSendReport("a@x.org", "s", "b", true, nullptr, ""), kMapiNotSent);
  EXPECT_TRUE(order.empty());
}

// --- The registered mail program --------------------------------------------

constexpr char kMailtoKey[] = "mailto\\shell\\open\\command";

// Registers `command` as the mailto program and puts the previous one back.
class RegisteredCommand {
 public:
  explicit RegisteredCommand(const std::string& command) {
    RegCreateKeyExA(HKEY_CLASSES_ROOT, kMailtoKey, 0, nullptr, 0, KEY_READ | KEY_WRITE, nullptr,
                    &key_, nullptr);
    char previous[4096];
    DWORD size = sizeof previous;
    DWORD type = 0;
    had_value_ = RegQueryValueExA(key_, nullptr, nullptr, &type,
                                  reinterpret_cast<BYTE*>(previous), &size) == ERROR_SUCCESS;
    if (had_value_) previous_.assign(previous, size), previous_type_ = type;
    RegSetValueExA(key_, nullptr, 0, REG_EXPAND_SZ, reinterpret_cast<const BYTE*>(command.c_str()),
                   static_cast<DWORD>(command.size() + 1));
  }
  RegisteredCommand(const RegisteredCommand&) = delete;
  RegisteredCommand& operator=(const RegisteredCommand&) = delete;
  ~RegisteredCommand() {
    if (had_value_) {
      RegSetValueExA(key_, nullptr, 0, previous_type_,
                     reinterpret_cast<const BYTE*>(previous_.data()),
                     static_cast<DWORD>(previous_.size()));
    } else {
      RegDeleteValueA(key_, nullptr);
    }
    RegCloseKey(key_);
  }

 private:
  HKEY key_ = nullptr;
  bool had_value_ = false;
  std::string previous_;
  DWORD previous_type_ = REG_SZ;
};

class MailProgramTest : public ::testing::Test {
 protected:
  void SetUp() override {
    record_ = ProgramDirectory() + "\\mailto_record.txt";
    DeleteFileA(record_.c_str());
    SetEnvironmentVariableA("QOR_MAILTO_RECORD", record_.c_str());
    SetEnvironmentVariableA("QOR_RECORDER_DIR", ProgramDirectory().c_str());
    done_ = CreateEventA(nullptr, TRUE, FALSE, "qorTestMailtoRecorded");
  }
  void TearDown() override { CloseHandle(done_); }

  // The command line the recorder was started with.
  std::string Recorded() {
    if (WaitForSingleObject(done_, 60000) != WAIT_OBJECT_0) return "(recorder did not run)";
    ResetEvent(done_);
    std::ifstream file(record_, std::ios::binary);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
  }

  std::string record_;
  HANDLE done_ = nullptr;
};

TEST_F(MailProgramTest, ReportArrivesUnchangedThroughTheUrl) {
  // Found through an environment reference, and given the URL as "%1".
  RegisteredCommand command("\"%QOR_RECORDER_DIR%\\mailto_recorder.exe\" \"%1\"");
  const std::string body = "Exception & more: a=b #3 at 100% + x?\r\n\"q\" <tag> \xe4\xf6\xfc\xdf\xe9";
  ASSERT_TRUE(ShellSendReport("Support Team <help@x.org>; b@y.org", "Bug: a&b=c", body));
  const std::string line = Recorded();
  const std::string prefix =
      "\"" + ProgramDirectory() + "\\mailto_recorder.exe\" \"mailto:Support%20Team%20%3Chelp@x.org%3E,"
      "b@y.org?subject=Bug:%20a%26b%3Dc&body=";
  ASSERT_EQ(line.substr(0, prefix.size()), prefix);
  ASSERT_EQ(line.back(), '"');
  EXPECT_EQ(testing::PercentDecoded(line.substr(prefix.size(), line.size() - prefix.size() - 1)), body);
}

TEST_F(MailProgramTest, UrlAppendedToACommandWithoutPlaceholder) {
  RegisteredCommand command("\"" + ProgramDirectory() + "\\mailto_recorder.exe\" ");
  ASSERT_TRUE(ShellSendReport("a@x.org", "s", "b"));
  EXPECT_EQ(Recorded(), "\"" + ProgramDirectory() +
                            "\\mailto_recorder.exe\" mailto:a@x.org?subject=s&body=b");
}

TEST_F(MailProgramTest, LongReportIsCutToWhatWindowsStarts) {
  RegisteredCommand command("\"" + ProgramDirectory() + "\\mailto_recorder.exe\" %1");
  std::string body;
  while (body.size() < 30000) body += "line with blanks\r\n";
  ASSERT_TRUE(ShellSendReport("a@x.org", "s", body));
  const std::string line = Recorded();
  EXPECT_LE(line.size(), kMaxNtCommandLine);
  EXPECT_GE(line.size(), kMaxNtCommandLine - 2);
  const std::string plain = testing::PercentDecoded(line.substr(line.find("&body=") + 6));
  EXPECT_EQ(plain, body.substr(0, plain.size()));
}

TEST_F(MailProgramTest, NoRegisteredCommandNoMail) {
  RegisteredCommand command("");
  EXPECT_FALSE(ShellSendReport("a@x.org", "s", "b"));
}

// --- The machine's DNS servers ------------------------------------------------

TEST(DnsServerList, SystemReportsDottedAddresses) {
  // Wine's IP helper reports the servers of the machine it runs on; which
  // ones is not ours to know, but each must come out as a whole address.
  for (const std::string& server : ReadDnsServerList()) {
    EXPECT_NE(inet_addr(server.c_str()), INADDR_NONE) << server;
  }
}

}  // namespace
}  // namespace qor
