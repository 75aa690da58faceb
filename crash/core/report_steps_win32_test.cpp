// The core's own dialog and report actions at the end of the pipeline: a
// program that carries the core (report_steps_win32_test_child) fails, the
// test finds the dialog by its window class and presses its buttons like a
// user, and checks what the program did: its output, its exit code and
// the files it wrote.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "crash/modules/testing/child_output_win32.h"
#include "crash/core/testing/dialog_user_win32.h"

namespace {

constexpr char kChild[] = "report_steps_win32_test_child.exe";

// The user of the child's dialog.
class User : public qor::test::User {
 public:
  explicit User(std::string first, std::string second = "")
      : qor::test::User(kChild, std::move(first), std::move(second)) {}
};

qor::test::ChildOutput RunChild(const std::string& scenario, const std::string& file = "-") {
  return qor::test::RunChildProgram(kChild, scenario + " " + file);
}

std::string TempPath(const std::string& name) {
  char temp[MAX_PATH];
  GetTempPathA(sizeof temp, temp);
  return std::string(temp) + name;
}

std::string FileText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// Polls for a text file that another process writes; its lines (without
// CR) once it has `lines` of them, else what it has after 60 s.
std::string WaitForLines(const std::string& path, int lines) {
  std::string text;
  for (int i = 0; i < 1200; ++i) {
    text = FileText(path);
    if (std::count(text.begin(), text.end(), '\n') >= lines) break;
    Sleep(50);
  }
  std::erase(text, '\r');
  return text;
}

constexpr char kButtons[] =
    "save bug report,show bug report,continue application,restart application,"
    "close application,";

TEST(ReportSteps, ContinueLetsTheProgramGoOn) {
  User user("continue application");
  const qor::test::ChildOutput run = RunChild("continue");
  EXPECT_EQ(user.Seen(), kButtons);
  EXPECT_EQ(run.exit_code, 0u) << run.text;
  EXPECT_NE(run.text.find("continued"), std::string::npos) << run.text;
}

TEST(ReportSteps, CloseEndsTheProgramWithExitCode1) {
  User user("close application");
  const qor::test::ChildOutput run = RunChild("close");
  EXPECT_EQ(user.Seen(), kButtons);
  EXPECT_EQ(run.exit_code, 1u) << run.text;
  EXPECT_EQ(run.text.find("continued"), std::string::npos) << run.text;
}

TEST(ReportSteps, AProgramThatCannotContinueEndsWhenItsDialogIsClosed) {
  User user("");  // the close box
  const qor::test::ChildOutput run = RunChild("fatal");
  EXPECT_EQ(user.Seen(),
            "save bug report,show bug report,continue application(disabled),"
            "restart application,close application,");
  EXPECT_EQ(run.exit_code, 1u) << run.text;
}

TEST(ReportSteps, SaveWritesTheReportIntoANewFolderThenContinueGoesOn) {
  const std::string folder = TempPath("qor-report-steps");
  const std::string file = folder + "\\reports\\bugreport.txt";
  DeleteFileA(file.c_str());
  RemoveDirectoryA((folder + "\\reports").c_str());
  User user("save bug report", "continue application");
  const qor::test::ChildOutput run = RunChild("save", file);
  EXPECT_EQ(user.Seen(), kButtons);
  EXPECT_EQ(run.exit_code, 0u) << run.text;
  const std::string saved = FileText(file);
  EXPECT_EQ(saved.rfind("date/time", 0), 0u) << saved.substr(0, 200);
  EXPECT_NE(saved.find("the save scenario failed"), std::string::npos);
  EXPECT_EQ(saved.substr(saved.size() - 4), "\r\n\r\n");
  DeleteFileA(file.c_str());
  RemoveDirectoryA((folder + "\\reports").c_str());
  RemoveDirectoryA(folder.c_str());
}

TEST(ReportSteps, RestartStartsTheProgramAgainWithTheRequestTimes) {
  const std::string file = TempPath("qor-report-steps-restart.txt");
  DeleteFileA(file.c_str());
  User user("restart application");
  const qor::test::ChildOutput run = RunChild("restart", file);
  EXPECT_EQ(user.Seen(), kButtons);
  EXPECT_EQ(run.exit_code, 2u) << run.text;
  EXPECT_EQ(WaitForLines(file, 1), "restarted times=1\n");
  DeleteFileA(file.c_str());
}

TEST(ReportSteps, TenFailuresRestartAndTheRestartedProgramCountsOn) {
  const std::string log = TempPath("qor-report-steps-rule.txt");
  DeleteFileA(log.c_str());
  const qor::test::ChildOutput run = RunChild("restart_rule", log);
  EXPECT_EQ(run.exit_code, 2u) << run.text;
  EXPECT_NE(run.text.find("failure 10"), std::string::npos) << run.text;
  EXPECT_EQ(run.text.find("not restarted"), std::string::npos) << run.text;
  // The first copy failed ten times; the second inherited the ten times and
  // its first failure restarted it again.
  EXPECT_EQ(WaitForLines(log, 3), "start times=0\nstart times=10\nstart times=10\n");
  DeleteFileA(log.c_str());
}

TEST(ReportSteps, AConsoleProgramGetsTheMessageAndTheReportOnItsOutput) {
  const qor::test::ChildOutput run = RunChild("console");
  EXPECT_EQ(run.exit_code, 0u) << run.text;
  EXPECT_EQ(run.text.rfind("An error occurred in the application.\r\n\r\ndate/time", 0), 0u)
      << run.text.substr(0, 300);
  EXPECT_NE(run.text.find("the console scenario failed"), std::string::npos);
  EXPECT_NE(run.text.find("continued"), std::string::npos) << run.text;
  EXPECT_EQ(FindWindowA("qorExceptWndClass", nullptr), nullptr);
}

}  // namespace
