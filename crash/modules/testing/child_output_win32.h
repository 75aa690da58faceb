// Runs a test's child program and collects what it prints and its exit
// code (Windows only).
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace qor::test {

// A handle of the child runner, closed by its owner on every path.
class ChildHandle {
 public:
  explicit ChildHandle(HANDLE handle = nullptr) : handle_(handle) {}
  ChildHandle(const ChildHandle&) = delete;
  ChildHandle& operator=(const ChildHandle&) = delete;
  ~ChildHandle() { reset(); }
  HANDLE get() const { return handle_; }
  void reset() {
    if (handle_) CloseHandle(handle_);
    handle_ = nullptr;
  }

 private:
  HANDLE handle_;
};

struct ChildOutput {
  bool started = false;
  DWORD exit_code = 0xFFFFFFFF;
  std::string text;  // standard output and standard error together
};

// Runs `command` and waits at most `limit` ms after its output ends; a
// child that does not end by then is terminated with exit code 0xDEAD.
inline ChildOutput RunCommandLine(std::string command, DWORD limit = 60000) {
  ChildOutput run;
  // Under Wine the first process that needs the desktop starts the desktop
  // process, which keeps copies of that process's standard handles: were
  // the child first, reading its output would never end.
  GetDesktopWindow();
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE read_end = nullptr;
  HANDLE write_end = nullptr;
  if (!CreatePipe(&read_end, &write_end, &inherit, 0)) return run;
  const ChildHandle read(read_end);
  ChildHandle write(write_end);
  SetHandleInformation(read.get(), HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = write.get();
  startup.hStdError = write.get();
  PROCESS_INFORMATION process{};
  if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                      &startup, &process)) {
    return run;
  }
  run.started = true;
  const ChildHandle child(process.hProcess);
  const ChildHandle child_thread(process.hThread);
  write.reset();  // the child holds the only write end: reading ends with it
  char buffer[4096];
  DWORD got = 0;
  while (ReadFile(read.get(), buffer, sizeof buffer, &got, nullptr) && got > 0) {
    run.text.append(buffer, got);
  }
  if (WaitForSingleObject(child.get(), limit) != WAIT_OBJECT_0) {
    TerminateProcess(child.get(), 0xDEAD);
    WaitForSingleObject(child.get(), INFINITE);
  }
  GetExitCodeProcess(child.get(), &run.exit_code);
  return run;
}

// Runs `program` (a file beside the test program) with `arguments`, as
// RunCommandLine.
inline ChildOutput RunChildProgram(const std::string& program, const std::string& arguments,
                                   DWORD limit = 60000) {
  char path[MAX_PATH];
  const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
  const std::string own(path, length);
  std::string command = own.substr(0, own.rfind('\\') + 1) + program;
  if (!arguments.empty()) command += " " + arguments;
  return RunCommandLine(command, limit);
}

}  // namespace qor::test
