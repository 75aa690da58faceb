// The trace client, as a routine and as qor-trace.exe, against the stand-in
// programs of testing/ running beside this test under Wine.
#include "tools/qor_trace/trace_client_win32.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <string>

#include "crash/core/win_handle.h"
#include "tools/qor_trace/testing/trace_target.h"

namespace qor::trace {
namespace {

constexpr DWORD kStartTimeoutMs = 30000;

std::string Beside(const std::string& file) {
  char path[MAX_PATH];
  const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string folder(path, length);
  return folder.substr(0, folder.find_last_of('\\') + 1) + file;
}

std::string Report(int call) {
  return std::string(kTraceTargetReport) + "call " + std::to_string(call) + "\r\n";
}

// A stand-in program started beside the test, ended by the destructor.
class Target {
 public:
  // `security`: the new process object's, when not the default.
  Target(const char* program, const char* mode, SECURITY_ATTRIBUTES* security = nullptr) {
    static int count = 0;
    const std::string event_name = "qorTraceTargetReady" + std::to_string(GetCurrentProcessId()) +
                                   "_" + std::to_string(++count);
    OwnedHandle ready(CreateEventA(nullptr, TRUE, FALSE, event_name.c_str()));
    std::string command = "\"" + Beside(program) + "\" " + mode + " " + event_name;
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info = {};
    if (!CreateProcessA(nullptr, command.data(), security, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &info)) {
      ADD_FAILURE() << "cannot start " << command << ": " << GetLastError();
      return;
    }
    process_.reset(info.hProcess);
    OwnedHandle thread(info.hThread);
    pid_ = info.dwProcessId;
    HANDLE either[] = {ready.get(), process_.get()};
    EXPECT_EQ(WaitForMultipleObjects(2, either, FALSE, kStartTimeoutMs), WAIT_OBJECT_0)
        << command << " did not start";
  }
  ~Target() {
    if (process_) {
      TerminateProcess(process_.get(), 0);
      WaitForSingleObject(process_.get(), kStartTimeoutMs);
    }
  }

  uint32_t pid() const { return pid_; }
  bool Running() const { return WaitForSingleObject(process_.get(), 0) == WAIT_TIMEOUT; }

 private:
  OwnedHandle process_;
  uint32_t pid_ = 0;
};

TraceRequest For(uint32_t pid, uint32_t timeout_ms = 30000) {
  TraceRequest request;
  request.pid = pid;
  request.timeout_ms = timeout_ms;
  return request;
}

TEST(RequestTrace, GetsTheReportAndLeavesTheProgramRunning) {
  Target target("trace_target.exe", "answer");
  for (int call = 1; call <= 2; ++call) {
    const TraceOutcome outcome = RequestTrace(For(target.pid()));
    ASSERT_EQ(outcome.status, TraceStatus::kOk) << outcome.message;
    EXPECT_EQ(outcome.report, Report(call));
    EXPECT_TRUE(target.Running());
  }
}

TEST(RequestTrace, TheViewsSizeIsTheReportsMaxLength) {
  Target target("trace_target.exe", "answer");
  TraceRequest request = For(target.pid());
  request.view_size = 10;
  const TraceOutcome outcome = RequestTrace(request);
  ASSERT_EQ(outcome.status, TraceStatus::kOk) << outcome.message;
  EXPECT_EQ(outcome.report, std::string(kTraceTargetReport).substr(0, 9));
}

struct Client {
  TraceRequest request;
  TraceOutcome outcome;
};

DWORD WINAPI RunClient(void* parameter) {
  auto* client = static_cast<Client*>(parameter);
  client->outcome = RequestTrace(client->request);
  return 0;
}

TEST(RequestTrace, TwoClientsAtOnceEachGetAWholeReportOfTheirOwn) {
  Target target("trace_target.exe", "answer");
  Client clients[2] = {{For(target.pid())}, {For(target.pid())}};
  OwnedHandle threads[2];
  for (int i = 0; i < 2; ++i)
    threads[i].reset(CreateThread(nullptr, 0, RunClient, &clients[i], 0, nullptr));
  for (const OwnedHandle& thread : threads)
    ASSERT_EQ(WaitForSingleObject(thread.get(), 120000), WAIT_OBJECT_0);
  for (const Client& client : clients)
    ASSERT_EQ(client.outcome.status, TraceStatus::kOk) << client.outcome.message;
  // Calls 1 and 2, one each, neither started while the other ran.
  EXPECT_NE(clients[0].outcome.report, clients[1].outcome.report);
  for (const Client& client : clients) {
    EXPECT_TRUE(client.outcome.report == Report(1) || client.outcome.report == Report(2))
        << client.outcome.report;
  }
}

TEST(RequestTrace, EachBadTargetGetsItsOwnStatusAndMessage) {
  TraceOutcome outcome = RequestTrace(For(0xFFFFFFF0));
  EXPECT_EQ(outcome.status, TraceStatus::kNoProcess);
  EXPECT_EQ(outcome.message, "no process has the id 4294967280");

  Target plain("trace_target_plain.exe", "answer");
  outcome = RequestTrace(For(plain.pid()));
  EXPECT_EQ(outcome.status, TraceStatus::kNoExport);
  EXPECT_EQ(outcome.message,
            "process " + std::to_string(plain.pid()) +
                " (trace_target_plain.exe) does not export qorTraceProcess, so it cannot be "
                "traced");

  Target silent("trace_target.exe", "hang");
  outcome = RequestTrace(For(silent.pid(), 500));
  EXPECT_EQ(outcome.status, TraceStatus::kTimeout);
  EXPECT_EQ(outcome.message,
            "process " + std::to_string(silent.pid()) + " did not answer within 1 s");
  EXPECT_TRUE(silent.Running());
  // The silent routine holds no lock: the next client is served.
  Target answering("trace_target.exe", "answer");
  EXPECT_EQ(RequestTrace(For(answering.pid())).report, Report(1));
}

TEST(RequestTrace, AProcessThatGrantsNoAccessIsRefused) {
  // An empty access list: nobody but the creator's own handle may touch it.
  SECURITY_DESCRIPTOR descriptor;
  ACL acl;
  ASSERT_TRUE(InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION));
  ASSERT_TRUE(InitializeAcl(&acl, sizeof acl, ACL_REVISION));
  ASSERT_TRUE(SetSecurityDescriptorDacl(&descriptor, TRUE, &acl, FALSE));
  SECURITY_ATTRIBUTES security = {sizeof security, &descriptor, FALSE};
  Target guarded("trace_target.exe", "answer", &security);
  const TraceOutcome outcome = RequestTrace(For(guarded.pid()));
  EXPECT_EQ(outcome.status, TraceStatus::kAccessDenied) << outcome.message;
  EXPECT_EQ(outcome.message, "access to process " + std::to_string(guarded.pid()) +
                                 " denied; run qor-trace as the user of that process or as an "
                                 "administrator");
}

struct ToolRun {
  DWORD exit_code = 0xDEADBEEF;
  std::string out, err;
  double ms = 0;  // from the start of qor-trace.exe to its end
};

std::string ReadWhole(const std::string& path) {
  std::string text;
  OwnedHandle file(
      CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  char buffer[4096];
  DWORD got = 0;
  while (file && ReadFile(file.get(), buffer, sizeof buffer, &got, nullptr) && got > 0)
    text.append(buffer, got);
  return text;
}

// Runs qor-trace.exe with `args`, its output and errors going to files.
ToolRun RunTool(const std::string& args) {
  const std::string out = Beside("qor_trace_test.out"), err = Beside("qor_trace_test.err");
  SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
  ToolRun run;
  {
    OwnedHandle out_file(
        CreateFileA(out.c_str(), GENERIC_WRITE, 0, &inherit, CREATE_ALWAYS, 0, nullptr));
    OwnedHandle err_file(
        CreateFileA(err.c_str(), GENERIC_WRITE, 0, &inherit, CREATE_ALWAYS, 0, nullptr));
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = out_file.get();
    startup.hStdError = err_file.get();
    std::string command = "\"" + Beside("qor-trace.exe") + "\" " + args;
    PROCESS_INFORMATION info = {};
    LARGE_INTEGER start, end, frequency;
    QueryPerformanceCounter(&start);
    if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                        &startup, &info)) {
      ADD_FAILURE() << "cannot start " << command;
      return run;
    }
    OwnedHandle process(info.hProcess), thread(info.hThread);
    EXPECT_EQ(WaitForSingleObject(process.get(), 120000), WAIT_OBJECT_0);
    QueryPerformanceCounter(&end);
    QueryPerformanceFrequency(&frequency);
    run.ms = double(end.QuadPart - start.QuadPart) * 1000.0 / double(frequency.QuadPart);
    GetExitCodeProcess(process.get(), &run.exit_code);
  }
  run.out = ReadWhole(out);
  run.err = ReadWhole(err);
  DeleteFileA(out.c_str());
  DeleteFileA(err.c_str());
  return run;
}

TEST(QorTraceProgram, PrintsOrWritesTheReportUnchanged) {
  Target target("trace_target.exe", "answer");
  ToolRun run = RunTool(std::to_string(target.pid()));
  EXPECT_EQ(run.exit_code, 0u) << run.err;
  EXPECT_EQ(run.out, Report(1));  // CR LF kept as they are
  std::printf("qor-trace.exe: %.0f ms from its start to the printed report\n", run.ms);
  const std::string file = Beside("qor_trace_test_report.txt");
  run = RunTool(std::to_string(target.pid()) + " --out \"" + file + "\"");
  EXPECT_EQ(run.exit_code, 0u) << run.err;
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(ReadWhole(file), Report(2));
  DeleteFileA(file.c_str());
}

TEST(QorTraceProgram, FailuresGiveAMessageAndTheirExitCode) {
  ToolRun run = RunTool("");
  EXPECT_EQ(run.exit_code, 2u);
  EXPECT_EQ(run.err,
            "qor-trace: no process id given\r\nusage: qor-trace PID [--out FILE] [--timeout "
            "SECONDS]\r\n");
  run = RunTool("12 --color");
  EXPECT_EQ(run.exit_code, 2u);
  EXPECT_NE(run.err.find("unknown option --color"), std::string::npos) << run.err;
  run = RunTool("4294967280");
  EXPECT_EQ(run.exit_code, 3u);
  EXPECT_EQ(run.err, "qor-trace: no process has the id 4294967280\r\n");
  Target plain("trace_target_plain.exe", "answer");
  run = RunTool(std::to_string(plain.pid()));
  EXPECT_EQ(run.exit_code, 5u);
  EXPECT_EQ(run.out, "");
}

}  // namespace
}  // namespace qor::trace
