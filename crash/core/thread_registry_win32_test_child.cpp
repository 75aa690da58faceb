// Started by thread_registry_fatal_win32_test. With "mutex" or "mapping",
// an object of another kind or a mapping of the wrong size takes the
// registry's name before joining; with "list", the program joins and
// prints the system family, its main thread and the threads the system
// lists, main first.
#include <windows.h>

#include <cstdio>
#include <cstring>

#include "crash/core/thread_list.h"
#include "crash/core/thread_registry.h"
#include "crash/modules/os_version.h"

int main(int argc, char** argv) {
  const char* mode = argc > 1 ? argv[1] : "";
  const std::string name = qor::ThreadRegistryName(GetCurrentProcessId());
  HANDLE squatter = nullptr;
  if (std::strcmp(mode, "mutex") == 0) squatter = CreateMutexA(nullptr, FALSE, name.c_str());
  if (std::strcmp(mode, "mapping") == 0) {
    squatter = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 4, name.c_str());
  }
  qor::JoinThreadRegistry();
  std::printf("joined %s %lu", qor::CurrentOs().Is9x ? "9x" : "nt", GetCurrentThreadId());
  for (uint32_t id : qor::ListProcessThreads()) std::printf(" %u", id);
  std::printf("\n");
  qor::LeaveThreadRegistry();
  if (squatter) CloseHandle(squatter);
  return 3;
}
