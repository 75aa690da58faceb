#include "crash/core/bug_report.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <regex>
#include <string>
#include <vector>

#include "crash/attach/number_text.h"
#include "crash/core/settings.h"
#include "crash/core/testing/report_lines.h"
#include "crash/core/testing/waiting_thread_win32.h"
#include "crash/core/thread_registry.h"
#include "crash/disasm/function_listing_win32.h"
#include "runtime/exceptions.h"
#include "runtime/raise.h"

// The program that fails: a named worker throws two calls deep and is held
// inside the raise routine, its frames still on the stack, while the test
// composes the report; a named idle thread runs at the highest priority.
namespace report_test {

HANDLE g_failed = nullptr;
HANDLE g_release = nullptr;
uint32_t g_failing_thread = 0;
uint32_t g_raise_address = 0;

void HoldTheFailingThread(const runtime::RaiseRecord& record) {
  if (GetCurrentThreadId() != g_failing_thread) return;
  g_raise_address = record.address;
  SetEvent(g_failed);
  WaitForSingleObject(g_release, INFINITE);
}

constexpr int kThrowLine = __LINE__ + 2;
__attribute__((noinline)) void WriteSettings(int attempt) {
  if (attempt >= 0) throw runtime::Exception("Disk full!!");
}

constexpr int kCallLine = __LINE__ + 2;
__attribute__((noinline)) void SaveDocument() {
  WriteSettings(GetTickCount() % 2);
  GetTickCount();  // not a tail call
}

DWORD WINAPI Worker(void*) {
  try {
    SaveDocument();
  } catch (const runtime::Exception&) {
  }
  return 0;
}

DWORD WINAPI Idle(void*) {
  WaitForSingleObject(g_release, INFINITE);
  return 0;
}

}  // namespace report_test

namespace qor {
namespace {

// A code address of the caller: where a thread is said to be created.
__attribute__((noinline)) uint32_t CallerAddress() {
  return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(__builtin_return_address(0)));
}

uint64_t ProcessStart() {
  FILETIME created, exited, kernel, user;
  GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
  return (uint64_t{created.dwHighDateTime} << 32) | created.dwLowDateTime;
}

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

// A failing worker and an idle thread for the whole suite.
class BugReport : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    JoinThreadRegistry();
    InstallFunctionListing();
    report_test::g_failed = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    report_test::g_release = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    runtime::raise_hook = report_test::HoldTheFailingThread;
    DWORD id = 0;
    idle_ = CreateThread(nullptr, 0, report_test::Idle, nullptr, 0, &id);
    idle_id_ = id;
    SetThreadPriority(idle_, THREAD_PRIORITY_HIGHEST);
    creator_address_ = CallerAddress();
    RegisterThreadInfo(idle_id_, idle_, "idle helper", GetCurrentThreadId(), creator_address_);
    worker_ = CreateThread(nullptr, 0, report_test::Worker, nullptr, CREATE_SUSPENDED, &id);
    report_test::g_failing_thread = id;
    SetThreadDisplayName(id, "report worker");
    ResumeThread(worker_);
    WaitForSingleObject(report_test::g_failed, INFINITE);
  }
  static void TearDownTestSuite() {
    SetEvent(report_test::g_release);
    WaitForSingleObject(worker_, INFINITE);
    WaitForSingleObject(idle_, INFINITE);
    runtime::raise_hook = nullptr;
    for (HANDLE handle : {worker_, idle_, report_test::g_failed, report_test::g_release}) {
      CloseHandle(handle);
    }
  }
  void TearDown() override { report_step_hook = nullptr; }

  static BugReportInput Failure() {
    BugReportInput input;
    input.ClassText = "runtime.Exception";
    input.MessageText = "Disk full!!";
    input.ExceptAddress = report_test::g_raise_address;
    input.ThreadId = report_test::g_failing_thread;
    input.StartTime = ProcessStart();
    return input;
  }
  static std::string Worker() { return "report worker (" + FormatHex(report_test::g_failing_thread) + "):"; }
  static std::string Idle() { return "idle helper (" + FormatHex(idle_id_) + "):"; }
  static std::string Main() { return "main thread (" + FormatHex(GetCurrentThreadId()) + "):"; }

  static inline HANDLE worker_ = nullptr;
  static inline HANDLE idle_ = nullptr;
  static inline uint32_t idle_id_ = 0;
  static inline uint32_t creator_address_ = 0;
};

size_t modules_at(const std::string& report) { return report.find("\r\n\r\nmodules:"); }

TEST_F(BugReport, FullReportOfAFailingThread) {
  const std::string report = ComposeBugReportText(Failure());
  const std::vector<std::string> lines = test::ReportLines(report);

  // Header: every unconditional line, in order, then the exception.
  const std::vector<std::string> labels = {
      "date/time         : ", "computer name     : ", "user name         : ",
      "operating system  : ", "program up time   : ", "physical memory   : ",
      "free disk space   : ", "display mode      : ", "process id        : ",
      "allocated memory  : ", "executable        : ", "exec. date/time   : ",
      "qorExcept version : ", "exception class   : "};
  size_t at = 0;
  for (const std::string& label : labels) {
    while (at < lines.size() && lines[at].rfind(label, 0) != 0) ++at;
    ASSERT_LT(at, lines.size()) << label << " missing or out of order";
  }
  EXPECT_EQ(lines[0].rfind("date/time         : ", 0), 0u) << "the first line";
  char computer[260];
  DWORD size = sizeof computer;
  GetComputerNameA(computer, &size);
  EXPECT_TRUE(Contains(report, "\r\ncomputer name     : " + std::string(computer) + "\r\n"));
  EXPECT_TRUE(Contains(report, "\r\nprocess id        : " + FormatHex(GetCurrentProcessId()) + "\r\n"));
  EXPECT_TRUE(Contains(report, "\r\nexecutable        : qor_bug_report_win32_test.exe\r\n"));
  EXPECT_TRUE(Contains(report, "\r\nexception class   : runtime.Exception\r\n"
                               "exception message : Disk full.\r\n\r\n" + Worker() + "\r\n"))
      << "the failing thread right after the header";
  EXPECT_FALSE(Contains(report, "wts client name")) << "not a remote session";
  EXPECT_FALSE(Contains(report, "system resources")) << "NT family";

  // The failing thread: the throw, then its caller, resolved to lines.
  const size_t worker = report.find(Worker());
  const size_t main = report.find(Main());
  const size_t idle = report.find(Idle());
  ASSERT_NE(main, std::string::npos);
  ASSERT_NE(idle, std::string::npos);
  EXPECT_LT(worker, main);
  EXPECT_LT(main, idle);
  const std::vector<std::string> stack = test::ReportLines(report.substr(worker, main - worker));
  ASSERT_GE(stack.size(), 3u);
  EXPECT_TRUE(std::regex_match(stack[1], std::regex("[0-9a-f]{8} qor_bug_report_win32_test.exe "
                                                    "bug_report_win32_test.cpp " +
                                                    std::to_string(report_test::kThrowLine) +
                                                    " report_test.WriteSettings")))
      << stack[1];
  EXPECT_TRUE(Contains(stack[2], "bug_report_win32_test.cpp " + std::to_string(report_test::kCallLine) +
                                     " report_test.SaveDocument"))
      << stack[2];
  EXPECT_TRUE(Contains(report.substr(idle), " <priority:2>\r\n")) << "THREAD_PRIORITY_HIGHEST";
  const std::vector<std::string> idle_stack = test::ReportLines(report.substr(idle, modules_at(report) - idle));
  ASSERT_GE(idle_stack.size(), 3u);
  EXPECT_EQ(idle_stack[idle_stack.size() - 2], ">> created by " + Main().substr(0, Main().size() - 1) + " at:");
  EXPECT_TRUE(Contains(idle_stack.back(), " report_test.") || Contains(idle_stack.back(), "SetUpTestSuite"))
      << "the creating call last: " << idle_stack.back();
  EXPECT_FALSE(Contains(report.substr(main, idle - main), "<priority")) << "normal priority";

  // Modules in ascending order, with versions; the hardware; the listing.
  const size_t modules = report.find("\r\n\r\nmodules:\r\n");
  const size_t hardware = report.find("\r\n\r\nhardware:\r\n");
  const size_t listing = report.find("\r\n\r\ndisassembling:\r\n");
  ASSERT_NE(modules, std::string::npos);
  ASSERT_NE(hardware, std::string::npos);
  ASSERT_NE(listing, std::string::npos);
  EXPECT_TRUE(modules < hardware && hardware < listing);
  const std::vector<std::string> module_lines = test::ReportLines(report.substr(modules + 14, hardware - modules - 14));
  for (size_t i = 1; i < module_lines.size(); ++i) {
    EXPECT_LT(module_lines[i - 1].substr(0, 8), module_lines[i].substr(0, 8)) << module_lines[i];
  }
  EXPECT_TRUE(std::regex_search(report.substr(modules, hardware - modules),
                                std::regex("\r\n[0-9a-f]{8} kernel32\\.dll +[0-9]+\\.[0-9.]+ +"
                                           "C:\\\\windows\\\\system32\\\\\r\n",
                                           std::regex::icase)));
  EXPECT_TRUE(Contains(report.substr(listing), "\r\n" + stack[1].substr(0, 8) + " > "))
      << "the listing marks the failing thread's innermost instruction";
  EXPECT_FALSE(Contains(report, "internal error"));
  EXPECT_FALSE(Contains(report, "An exception occurred"));
}

TEST_F(BugReport, FrozenProgramAndMessageEqualToClass) {
  BugReportInput frozen = Failure();
  frozen.Frozen = true;
  const std::string report = ComposeBugReportText(frozen);
  EXPECT_FALSE(Contains(report, "exception class"));
  EXPECT_TRUE(Contains(report, "\r\nexception message : The application seems to be frozen.\r\n\r\n" +
                                   Main() + "\r\n"))
      << "the main thread first";
  EXPECT_LT(report.find(Main()), report.find(Worker()));

  BugReportInput same = Failure();
  same.MessageText = same.ClassText;
  static const char* const kOwnVersion = "3.1 beta";
  ExceptSettings.VersionText = &kOwnVersion;
  const std::string plain = ComposeBugReportText(same);
  ExceptSettings.VersionText = nullptr;
  EXPECT_TRUE(Contains(plain, "\r\nversion           : 3.1 beta\r\n")) << "the program's own text";
  EXPECT_TRUE(Contains(plain, "\r\nexception class   : runtime.Exception\r\n\r\n" + Worker()));
  EXPECT_FALSE(Contains(plain, "exception message"));
}

TEST_F(BugReport, OnlyFailingAndMainThreadsWithoutListAllThreads) {
  ExceptSettings.ListAllThreads = false;
  BugReportInput input = Failure();
  input.ShowProgress = true;  // no window without the start-up's hooks
  const std::string report = ComposeBugReportText(input);
  ExceptSettings.ListAllThreads = true;
  EXPECT_TRUE(Contains(report, Worker()));
  EXPECT_TRUE(Contains(report, Main()));
  EXPECT_FALSE(Contains(report, Idle()));
}

TEST_F(BugReport, HiddenThreadsMakeNoBlockUnlessTheyFail) {
  test::WaitingThread hidden;
  SetThreadDisplayName(hidden.id(), kHiddenThreadName);
  const std::string caption = "thread " + FormatHex(hidden.id()) + ":";
  EXPECT_FALSE(Contains(ComposeBugReportText(Failure()), caption));
  BugReportInput input = Failure();
  input.ThreadId = hidden.id();
  EXPECT_TRUE(Contains(ComposeBugReportText(input), "\r\n\r\n" + caption + "\r\n"))
      << "the failing thread's caption is forced";
}

TEST_F(BugReport, AThreadThatCannotBeReadShowsTheExceptionLocation) {
  BugReportInput input = Failure();
  input.ThreadId = 0x7ffffffc;  // no such thread
  const std::string report = ComposeBugReportText(input);
  EXPECT_TRUE(Contains(report, "\r\n\r\nthread $7ffffffc:\r\n>> stack not accessible, exception location: \r\n"));
  EXPECT_TRUE(std::regex_search(report, std::regex("exception location: \r\n[0-9a-f]{8} qor_bug_report_win32_test.exe "
                                                   "bug_report_win32_test.cpp " + std::to_string(report_test::kThrowLine) +
                                                   " report_test.WriteSettings\r\n\r\n")))
      << "the line of the throw";
}

const char* g_failing_step = nullptr;
constexpr int kHookThrowLine = __LINE__ + 4;
__attribute__((noinline)) void FailChosenStep(const char* step) {
  if (std::strcmp(step, g_failing_step) != 0) return;
  if (std::strcmp(step, "GetModuleReport") == 0) *static_cast<volatile int*>(nullptr) = 1;
  throw runtime::Exception("failed on purpose");
}

TEST_F(BugReport, AFailingSectionBecomesTextAndTheRestIsComplete) {
  report_step_hook = FailChosenStep;
  g_failing_step = "GetHardwareList";
  std::string report = ComposeBugReportText(Failure());
  EXPECT_TRUE(Contains(report, "\r\n\r\nhardware:\r\n>> internal error in GetHardwareList:\r\n"));
  EXPECT_TRUE(Contains(report, "bug_report_win32_test.cpp " + std::to_string(kHookThrowLine) +
                                   " qor.(anonymous namespace).FailChosenStep"))
      << "where it was raised";
  EXPECT_TRUE(Contains(report, "\r\n\r\ndisassembling:\r\n")) << "later sections still run";
  EXPECT_FALSE(Contains(report, "An exception occurred"));

  g_failing_step = "GetModuleReport";  // a processor fault
  report = ComposeBugReportText(Failure());
  EXPECT_TRUE(Contains(report, "\r\n\r\nmodules:\r\n>> internal error in GetModuleReport:\r\n"));
  EXPECT_TRUE(Contains(report, "\r\n\r\nhardware:\r\n+ "));

  g_failing_step = "GetThreadStack";  // every block
  report = ComposeBugReportText(Failure());
  EXPECT_TRUE(Contains(report, Worker() + "\r\n>> internal error in GetThreadStack:\r\n"));
  EXPECT_TRUE(Contains(report, Main() + "\r\n>> internal error in GetThreadStack:\r\n"));

  g_failing_step = "header";  // no section of its own: the closing paragraph
  report = ComposeBugReportText(Failure());
  EXPECT_EQ(report.rfind("\r\n\r\n" + Worker(), 0), 0u) << "the threads without a header";
  EXPECT_TRUE(std::regex_search(
      report, std::regex("\r\n\r\nAn exception occurred during composing the bug report\\. \\$[0-9a-f]+$")));
  EXPECT_TRUE(Contains(report, "\r\n\r\nmodules:\r\n"));
}

}  // namespace
}  // namespace qor
