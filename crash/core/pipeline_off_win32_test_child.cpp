// A program that carries the core with its hooks off and no freeze
// timeout: it says whether the core made anything.
#include <windows.h>

#include <string>

#include "crash/core/code_patch.h"
#include "crash/core/process_start.h"
#include "crash/core/report_exception.h"
#include "crash/core/settings.h"
#include "crash/core/thread_registry.h"

namespace qor {
TExceptSettings ExceptSettings{.HandleExceptions = true, .InstallHooks = false};
}  // namespace qor

int main() {
  const std::string line = "thread=" + std::to_string(qor::HandlingThreadId()) +
                           " patches=" + std::to_string(qor::PatchCount()) +
                           " registry=" + std::to_string(qor::ThreadRegistryBlock() != nullptr) +
                           " started=" + std::to_string(qor::ProcessStartTime() != 0) + "\n";
  DWORD written = 0;
  WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), line.data(), static_cast<DWORD>(line.size()), &written,
            nullptr);
  return 0;
}
