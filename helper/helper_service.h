// What the 64-bit removal helper does with one request: parse its command
// line, run the probe or the removal through the engine, and answer.
#pragma once

#include <span>
#include <string>

#include "engine/device_platform.h"

namespace helper {

struct Answer {
  int exit_code;
  std::string output;  // the result, or one line that says what was wrong
};

// Serves the request in `arguments` (the command line without the program
// name). A request that does not parse touches nothing on the system.
Answer Serve(engine::DevicePlatform& platform, std::span<const std::string> arguments);

}  // namespace helper
