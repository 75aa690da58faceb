// Running a program that Uninstall.exe carries in its resources: its bytes
// are written into a new directory with a random name under the user's
// temporary folder, run from there with the caller's token, and deleted
// with the directory afterwards, on every path (finished, failed, ended by
// force, not started). No file that was there before is ever run.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace app {

struct HelperRun {
  bool finished = false;  // the program ran to its end: exit_code and output hold
  uint32_t exit_code = 0;
  std::string output;     // what it wrote to standard output and error
  // When not finished: what befell the program, for the user, to follow its
  // name ("could not be started (error 2)").
  std::string failure;
};

// Runs `image` as `file_name` with `arguments` (plain words, passed
// unquoted). A program still running after `timeout_ms` is ended and the
// run fails. Output beyond 64 KiB is dropped.
HelperRun RunCarriedProgram(std::span<const uint8_t> image, const std::string& file_name,
                            const std::vector<std::string>& arguments, uint32_t timeout_ms);

// The bytes of the RCDATA resource `id` of this program; empty if missing.
std::span<const uint8_t> CarriedProgram(int id);

}  // namespace app
