// The process that the restart test starts:
//   child RESULT EVENT restart  restarts itself with the times 1 to 10; the
//                               restarted copy writes the times it received
//                               to RESULT and signals EVENT.
//   child RESULT EVENT close    closes itself.
//   child - - check             exits with 0 when it took a hand-over, else 3.
#include <windows.h>

#include <cstring>
#include <fstream>

#include "crash/core/report_actions.h"

int main(int argc, char** argv) {
  if (argc != 4) return 4;
  qor::TExceptTimes times{};
  const bool handed_over = qor::CheckRestartHandOver(times);
  if (std::strcmp(argv[3], "check") == 0) return handed_over ? 0 : 3;
  if (handed_over) {
    std::ofstream result(argv[1]);
    for (uint64_t time : times) result << time << ' ';
    result.close();
    const HANDLE done = OpenEventA(EVENT_MODIFY_STATE, FALSE, argv[2]);
    SetEvent(done);
    CloseHandle(done);
    return 0;
  }
  if (std::strcmp(argv[3], "close") == 0) qor::CloseProcess();
  for (size_t i = 0; i < times.size(); ++i) times[i] = i + 1;
  qor::RestartProcess(times);
}
