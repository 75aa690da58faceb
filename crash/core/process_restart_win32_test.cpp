// Restarting and closing end their process: they run in a child.
#include <windows.h>

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

#include "crash/attach/number_text.h"
#include "crash/core/win_handle.h"

namespace qor {
namespace {

std::string ChildPath() {
  char path[MAX_PATH];
  const DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
  std::string directory(path, length);
  return directory.substr(0, directory.find_last_of('\\') + 1) +
         "process_restart_win32_test_child.exe";
}

struct Child {
  OwnedHandle process;
  OwnedHandle thread;
  DWORD id = 0;
};

void Start(Child& child, const std::string& arguments, DWORD flags = 0) {
  std::string command = "\"" + ChildPath() + "\" " + arguments;
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  if (CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, flags, nullptr, nullptr,
                     &startup, &info)) {
    child.process.reset(info.hProcess);
    child.thread.reset(info.hThread);
    child.id = info.dwProcessId;
  }
}

DWORD ExitCodeOf(const Child& child) {
  if (WaitForSingleObject(child.process.get(), 60000) != WAIT_OBJECT_0) return 999;
  DWORD code = 999;
  GetExitCodeProcess(child.process.get(), &code);
  return code;
}

TEST(ProcessRestart, RestartedProgramInheritsTheRequestTimes) {
  char temp[MAX_PATH];
  GetTempPathA(sizeof temp, temp);
  const std::string result = std::string(temp) + "qor-restart-result.txt";
  DeleteFileA(result.c_str());
  const std::string event_name = "qor-restart-test-" + std::to_string(GetCurrentProcessId());
  OwnedHandle done(CreateEventA(nullptr, TRUE, FALSE, event_name.c_str()));
  ASSERT_TRUE(done);
  Child first;
  Start(first, result + " " + event_name + " restart");
  ASSERT_TRUE(first.process);
  EXPECT_EQ(ExitCodeOf(first), 2u);
  ASSERT_EQ(WaitForSingleObject(done.get(), 60000), WAIT_OBJECT_0) << "no restarted program";
  std::ifstream file(result);
  std::stringstream text;
  text << file.rdbuf();
  EXPECT_EQ(text.str(), "1 2 3 4 5 6 7 8 9 10 ");
  file.close();
  DeleteFileA(result.c_str());
}

TEST(ProcessRestart, CloseEndsWithExitCodeOne) {
  Child child;
  Start(child, "- - close");
  ASSERT_TRUE(child.process);
  EXPECT_EQ(ExitCodeOf(child), 1u);
}

TEST(ProcessRestart, HandOverFromAStrangerIsIgnored) {
  Child child;
  Start(child, "- - check", CREATE_SUSPENDED);
  ASSERT_TRUE(child.process);
  OwnedHandle mapping(CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 88,
                                         ("qorExceptRestart" + FormatHex(child.id)).c_str()));
  ASSERT_TRUE(mapping);
  uint32_t* block = static_cast<uint32_t*>(MapViewOfFile(mapping.get(), FILE_MAP_WRITE, 0, 0, 88));
  ASSERT_NE(block, nullptr);
  block[0] = GetCurrentProcessId() + 4;  // not the process that started the child
  block[1] = 4;                          // a handle the child must not close
  UnmapViewOfFile(block);
  ResumeThread(child.thread.get());
  EXPECT_EQ(ExitCodeOf(child), 3u);
}

}  // namespace
}  // namespace qor
