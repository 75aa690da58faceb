// What tests check in a report of a frozen program: its message line, the
// main thread's block first, and that a thread of the core is left out.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "crash/attach/number_text.h"
#include "crash/core/testing/report_lines.h"

namespace qor::test {

// The captions of the report's thread blocks, in their order: a line after
// an empty one that names a thread id and ends its caption with ":" (a
// priority may follow).
inline std::vector<std::string> ThreadBlockCaptions(const std::string& report) {
  std::vector<std::string> captions;
  const std::vector<std::string> lines = ReportLines(report);
  for (size_t i = 1; i < lines.size(); ++i) {
    const std::string& line = lines[i];
    const size_t colon = line.find(':');
    if (lines[i - 1].empty() && line.find('$') != std::string::npos &&
        colon != std::string::npos &&
        (colon + 1 == line.size() || line.compare(colon, 3, ": <") == 0)) {
      captions.push_back(line.substr(0, colon));
    }
  }
  return captions;
}

// One line: "frozen_line=F main_first=M listed=L", each 0 or 1. L says
// whether thread `left_out` (0: none) has a block.
inline std::string DescribeFrozenReport(const std::string& report, uint32_t main_thread,
                                        uint32_t left_out, std::string_view frozen_message) {
  const std::vector<std::string> captions = ThreadBlockCaptions(report);
  const std::string main = "main thread (" + FormatHex(main_thread) + ")";
  bool listed = false;
  for (const std::string& caption : captions) {
    const size_t at = caption.find(FormatHex(left_out));
    const size_t end = at + FormatHex(left_out).size();
    listed |= left_out != 0 && at != std::string::npos &&
              (end == caption.size() || caption[end] == ')' || caption[end] == ' ');
  }
  const std::string frozen_line = "\r\nexception message : " + std::string(frozen_message);
  const size_t line_at = report.find(frozen_line);
  const size_t line_end = line_at + frozen_line.size();
  const bool has_line = line_at != std::string::npos &&
                        (line_end == report.size() || report.compare(line_end, 2, "\r\n") == 0);
  return "frozen_line=" + std::to_string(has_line) +
         " main_first=" + std::to_string(!captions.empty() && captions[0] == main) +
         " listed=" + std::to_string(listed);
}

}  // namespace qor::test
