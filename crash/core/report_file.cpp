#include "crash/core/report_file.h"

namespace qor {
namespace {

constexpr std::string_view kReportStart = "date/time";

bool IsReportStart(std::string_view content, size_t pos) {
  return (pos == 0 || content[pos - 1] == '\n') &&
         content.compare(pos, kReportStart.size(), kReportStart) == 0;
}

}  // namespace

bool IsAbsoluteReportPath(std::string_view name) {
  return name.size() >= 3 && (name[0] == '\\' || name[0] == '/' || name[1] == ':');
}

std::string ReportPathIn(std::string_view directory, std::string_view name) {
  if (IsAbsoluteReportPath(name) || directory.empty()) return std::string(name);
  std::string path(directory);
  if (path.back() != '\\' && path.back() != '/') path += '\\';
  path += name;
  return path;
}

size_t ReportFileCut(std::string_view content, int32_t max_size) {
  if (max_size <= 0 || content.size() <= static_cast<size_t>(max_size)) return 0;
  const size_t keep_below = static_cast<size_t>(max_size - max_size / 4);
  size_t newest = 0;
  for (size_t pos = content.find(kReportStart); pos != std::string_view::npos;
       pos = content.find(kReportStart, pos + 1)) {
    if (!IsReportStart(content, pos)) continue;
    if (content.size() - pos < keep_below) return pos;
    newest = pos;
  }
  return newest;
}

std::string ReportFileAfterSave(std::string_view old_content, std::string_view report,
                                int32_t max_size) {
  std::string content;
  if (max_size != 0) content = old_content;
  content += report;
  content += "\r\n\r\n";
  content.erase(0, ReportFileCut(content, max_size));
  return content;
}

}  // namespace qor
