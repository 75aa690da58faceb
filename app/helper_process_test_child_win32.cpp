// The program that helper_process_test runs as a carried program:
//   echo WORD...   prints the words and "self <its own path>", exit code 0
//   exit N         exit code N
//   hang           signals the test's event and waits to be ended
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char** argv) {
  const std::string mode = argc > 1 ? argv[1] : "";
  if (mode == "echo") {
    for (int i = 2; i < argc; ++i) std::printf("%s%s", i > 2 ? " " : "", argv[i]);
    char self[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    std::printf("\nself %s\n", self);
    return 0;
  }
  if (mode == "exit" && argc == 3) return std::atoi(argv[2]);
  if (mode == "hang") {
    const HANDLE started = OpenEventA(EVENT_MODIFY_STATE, FALSE, "qor-helper-process-test-hang");
    if (started) SetEvent(started);
    Sleep(INFINITE);
  }
  return 2;
}
