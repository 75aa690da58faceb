// The bug-report file: what its configured name means, and what the file
// holds after one more report is saved into it. Every report begins with
// the line label "date/time", which is where the file may be cut when it
// grows past its size limit.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace qor {

// A name is absolute when it has at least three characters and starts with
// "\" (or "/") or has ":" as its second character.
bool IsAbsoluteReportPath(std::string_view name);

// `name` when absolute, else `directory` + "\" + `name`.
std::string ReportPathIn(std::string_view directory, std::string_view name);

// Where the oldest reports end when `content` has grown past `max_size`
// bytes: the first report start p with size − p < max_size − max_size / 4.
// A report start is "date/time" at the beginning of a line, so the labels
// "exec. date/time" and "module date/time" inside a report never count.
// When no start qualifies, the newest report alone is kept. 0 means keep
// everything (the content is within the limit, the limit is 0 or less, or
// the newest report is the only one).
size_t ReportFileCut(std::string_view content, int32_t max_size);

// The file after `report` is saved into a file holding `old_content`: the
// old content (none when `max_size` is 0, each report then replacing the
// last), the report, CR LF CR LF, then cut as ReportFileCut says.
std::string ReportFileAfterSave(std::string_view old_content, std::string_view report,
                                int32_t max_size);

}  // namespace qor
