// A failure forced in a test-only build of Uninstall.exe reaches the
// crash-report core with its class, its message and the address of the
// throw.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(UninstallFailure, AnEventHandlerFailureReachesThePipeline) {
  char path[MAX_PATH];
  const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string command(path, length);
  command = command.substr(0, command.rfind('\\') + 1) + "uninstall_failure_win32_test_child.exe";
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE read = nullptr;
  HANDLE write = nullptr;
  ASSERT_TRUE(CreatePipe(&read, &write, &inherit, 0));
  SetHandleInformation(read, HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = write;
  startup.hStdError = write;
  PROCESS_INFORMATION process{};
  const BOOL started = CreateProcessA(nullptr, command.data(), nullptr, nullptr, TRUE, 0,
                                      nullptr, nullptr, &startup, &process);
  CloseHandle(write);
  std::string output;
  if (started) {
    char buffer[1024];
    DWORD got = 0;
    while (ReadFile(read, buffer, sizeof buffer, &got, nullptr) && got > 0) {
      output.append(buffer, got);
    }
    if (WaitForSingleObject(process.hProcess, 60000) != WAIT_OBJECT_0) {
      TerminateProcess(process.hProcess, 0xDEAD);
    }
  }
  CloseHandle(read);
  ASSERT_TRUE(started);
  DWORD exit_code = 0;
  GetExitCodeProcess(process.hProcess, &exit_code);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);

  EXPECT_EQ(exit_code, 7u) << output;
  const std::string expected =
      "class=runtime.EOSError message=forced failure after_call=1 offset=";
  ASSERT_EQ(output.rfind(expected, 0), 0u) << output;
  // The address is the return address of the throw, a call inside the
  // handler (a short function).
  const long offset = std::stol(output.substr(expected.size()));
  EXPECT_GT(offset, 0) << output;
  EXPECT_LT(offset, 256) << output;
}

}  // namespace
