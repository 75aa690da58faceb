// removal64.exe: the 64-bit removal helper. Uninstall.exe, a 32-bit
// program, cannot remove device nodes or reach the real System32\drivers
// on 64-bit Windows; it writes this program out of its resources and runs
// it for the probe and the removal (see helper_protocol.h). No window.
#include <windows.h>

#include <string>
#include <vector>

#include "engine/device_walk.h"
#include "engine/win32_device_platform.h"
#include "helper/helper_service.h"

namespace {

// Writes all of `text` to the standard output handle; false when it could
// not, and then the exit code must not claim a result.
bool WriteOutput(const std::string& text) {
  const HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
  if (output == nullptr || output == INVALID_HANDLE_VALUE) return false;
  size_t written_total = 0;
  while (written_total < text.size()) {
    DWORD written = 0;
    if (!WriteFile(output, text.data() + written_total,
                   static_cast<DWORD>(text.size() - written_total), &written, nullptr) ||
        written == 0) {
      return false;
    }
    written_total += written;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> arguments(argv + 1, argv + argc);
  helper::Answer answer;
  {
    engine::Win32DevicePlatform platform;
    answer = helper::Serve(platform, arguments);
  }
  engine::CurrentManufacturer().clear();
  constexpr int kExitNoOutput = 4;
  return WriteOutput(answer.output) ? answer.exit_code : kExitNoOutput;
}
