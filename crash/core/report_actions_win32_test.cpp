// Saving, copying and mailing a report against the real file system, the
// clipboard and a recording mapi32.dll beside this test.
#include <windows.h>

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "crash/core/report_actions.h"
#include "crash/core/settings.h"
#include "crash/core/win_handle.h"
#include "crash/delivery/mail_client_hooks.h"

namespace qor {
namespace {

std::string TempPath(const std::string& name) {
  char path[MAX_PATH];
  GetTempPathA(sizeof path, path);
  return std::string(path) + name;
}

std::string ReadAll(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::stringstream content;
  content << file.rdbuf();
  return content.str();
}

bool Exists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Each test starts from the program's settings and ends with them again.
class ReportActionsTest : public ::testing::Test {
 protected:
  void SetUp() override { DeliveryMailClientHooks() = {}; }
  void TearDown() override {
    ExceptSettings = saved_;
    DeliveryMailClientHooks() = {};
  }
  void UseReportFile(const std::string& path) { ExceptSettings.BugReportFile.Assign(path); }

  TExceptSettings saved_ = ExceptSettings;
};

TEST_F(ReportActionsTest, SaveCreatesDirectoriesAppendsAndOverwrites) {
  const std::string dir = TempPath("qor-save-" + std::to_string(GetCurrentProcessId()));
  const std::string path = dir + "\\a\\b\\%appname%.txt";
  UseReportFile(path);
  const std::string file = dir + "\\a\\b\\" + "qor_actions_win32_test.txt";
  ASSERT_EQ(BugReportFileName(), dir + "\\a\\b\\qor_actions_win32_test.txt");
  ASSERT_TRUE(SaveReport("date/time 1", nullptr, false)) << "absolute: no dialog";
  ASSERT_TRUE(SaveReport("date/time 2", nullptr, false));
  EXPECT_EQ(ReadAll(file), "date/time 1\r\n\r\ndate/time 2\r\n\r\n");
  ExceptSettings.BugReportFileMaxSize = 0;
  ASSERT_TRUE(SaveReport("date/time 3", nullptr, true));
  EXPECT_EQ(ReadAll(file), "date/time 3\r\n\r\n");
  DeleteFileA(file.c_str());
  RemoveDirectoryA((dir + "\\a\\b").c_str());
  RemoveDirectoryA((dir + "\\a").c_str());
  RemoveDirectoryA(dir.c_str());
}

TEST_F(ReportActionsTest, SaveKeepsTheNewestReportsBelowTheLimit) {
  const std::string file = TempPath("qor-limit.txt");
  DeleteFileA(file.c_str());
  UseReportFile(file);
  const std::string report = "date/time         : now\r\n" + std::string(4000, 'x');
  size_t cut_to = 0;
  for (size_t i = 0, before = 0; i < 20; ++i) {
    ASSERT_TRUE(SaveReport(report, nullptr, true));
    const std::string content = ReadAll(file);
    ASSERT_LE(content.size(), 50000u);
    ASSERT_EQ(content.compare(0, 9, "date/time"), 0);
    if (content.size() < before) cut_to = content.size();
    before = content.size();
  }
  EXPECT_GT(cut_to, 0u) << "the file was never cut";
  EXPECT_LT(cut_to, 37500u);
  DeleteFileA(file.c_str());
}

TEST_F(ReportActionsTest, FailedSaveSaysSoAndLeavesTheOldFile) {
  const std::string file = TempPath("qor-locked.txt");
  UseReportFile(file);
  { std::ofstream(file, std::ios::binary) << "date/time old\r\n\r\n"; }
  {
    OwnedHandle lock(CreateFileA(file.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(lock);
    EXPECT_FALSE(SaveReport("date/time new", nullptr, true));
  }
  EXPECT_EQ(ReadAll(file), "date/time old\r\n\r\n");
  SetFileAttributesA(file.c_str(), FILE_ATTRIBUTE_READONLY);
  EXPECT_FALSE(SaveReport("date/time new", nullptr, true)) << "a read-only file";
  SetFileAttributesA(file.c_str(), FILE_ATTRIBUTE_NORMAL);
  EXPECT_EQ(ReadAll(file), "date/time old\r\n\r\n");
  DeleteFileA(file.c_str());
}

TEST_F(ReportActionsTest, RelativeNameSilentlyBesideTheProgramAndRefusedUnderLoaderLock) {
  UseReportFile("qor-relative.txt");
  char program[MAX_PATH];
  GetModuleFileNameA(nullptr, program, sizeof program);
  std::string file(program);
  file = file.substr(0, file.find_last_of('\\') + 1) + "qor-relative.txt";
  DeleteFileA(file.c_str());
  ASSERT_TRUE(SaveReport("date/time r", nullptr, true));
  EXPECT_EQ(ReadAll(file), "date/time r\r\n\r\n");
  // Asking for a name would open a common dialog: refused, nothing shown.
  DeliveryMailClientHooks().loader_lock_held = [] { return true; };
  EXPECT_FALSE(SaveReport("date/time s", nullptr, false));
  EXPECT_FALSE(PrintReport("date/time s", nullptr));
  EXPECT_EQ(ReadAll(file), "date/time r\r\n\r\n");
  DeleteFileA(file.c_str());
}

std::string ClipboardText() {
  if (!OpenClipboard(nullptr)) return "(not opened)";
  std::string text;
  if (HANDLE data = GetClipboardData(CF_TEXT)) {
    if (const char* chars = static_cast<const char*>(GlobalLock(data))) {
      text = chars;
      GlobalUnlock(data);
    }
  }
  CloseClipboard();
  return text;
}

TEST_F(ReportActionsTest, ClipboardHoldsTheTextAndTheMainThreadRunsMeanwhile) {
  static int released = 0, held = 0;
  DeliveryMailClientHooks().release_main_thread = [] { return ++released > 0; };
  DeliveryMailClientHooks().hold_main_thread = [] { ++held; };
  ASSERT_TRUE(CopyToClipboard("date/time : clip\r\nline two"));
  EXPECT_EQ(ClipboardText(), "date/time : clip\r\nline two");
  EXPECT_EQ(released, 1);
  EXPECT_EQ(held, 1);
}

// --- mail, through the recording mapi32.dll --------------------------------

using RecordProc = const char*(__cdecl*)();

TEST_F(ReportActionsTest, MailAttachesACopyOfTheReportFileAndTheScreenshot) {
  const std::string file = TempPath("qor-mail-dir\\mailed.txt");
  CreateDirectoryA(TempPath("qor-mail-dir").c_str(), nullptr);
  { std::ofstream(file, std::ios::binary) << "date/time earlier\r\n\r\n"; }
  UseReportFile(file);
  ExceptSettings.MailAddress = "Support <help@x.org>; b@y.org";
  ExceptSettings.MailSubject = "bug in %appname%: %exceptMsg%";
  ExceptSettings.SendViaShell = false;
  ExceptSettings.DeleteFileAfterMail = true;
  static const char extra[] = "C:\\extra.log";
  ExceptSettings.ExtraAttachments = extra;
  const std::vector<uint8_t> png = {0x89, 'P', 'N', 'G'};
  ASSERT_TRUE(MailReport("date/time : x\r\nexception message : it broke.\r\n", png, nullptr, true));

  const HMODULE mapi = GetModuleHandleA("mapi32.dll");
  ASSERT_NE(mapi, nullptr);
  const auto record = reinterpret_cast<RecordProc>(GetProcAddress(mapi, "TestMapiRecord"));
  ASSERT_NE(record, nullptr) << "the recording mapi32.dll was not the one loaded";
  const std::string copy = TempPath("mailed.txt");
  EXPECT_EQ(std::string(record()),
            "session=0 flags=0 reserved=0 owner-topmost=0\n"
            "subject=bug in qor_actions_win32_test.exe: it broke.\n"
            "note=date/time : x\r\nexception message : it broke.\r\n\n"
            "to class=1 name=Support  address=SMTP:help@x.org\n"
            "to class=1 name=b@y.org address=SMTP:b@y.org\n"
            "file position=4294967295 path=" + copy + " name=(null)\n"
            "file position=4294967295 path=" + TempPath("screenShot.png") + " name=(null)\n"
            "file position=4294967295 path=C:\\extra.log name=(null)\n");
  EXPECT_EQ(ReadAll(TempPath("screenShot.png")), std::string("\x89PNG"));
  EXPECT_FALSE(Exists(copy)) << "the mailed copy is deleted";
  EXPECT_TRUE(Exists(file)) << "the user's file stays";
  DeleteFileA(file.c_str());
  RemoveDirectoryA(TempPath("qor-mail-dir").c_str());
}

TEST_F(ReportActionsTest, MailNeverDeletesAReportFileThatLiesInTheTemporaryDirectory) {
  const std::string file = TempPath("qor-in-temp.txt");
  { std::ofstream(file, std::ios::binary) << "date/time earlier\r\n\r\n"; }
  UseReportFile(file);
  ExceptSettings.SendViaShell = false;
  ExceptSettings.DeleteFileAfterMail = true;
  ASSERT_TRUE(MailReport("date/time : y\r\n", {}, nullptr, true));
  EXPECT_TRUE(Exists(file));
  DeleteFileA(file.c_str());
}

TEST_F(ReportActionsTest, MailFailsWhenNoMethodWorks) {
  ExceptSettings.SendViaMapi = false;
  ExceptSettings.SendViaShell = false;
  ExceptSettings.SendDirectSmtp = true;  // no recipients: never tried
  EXPECT_FALSE(MailReport("date/time : z\r\n", {}, nullptr, true));
}

}  // namespace
}  // namespace qor
