// The HTML error page built from an arbitrary report: the message taken
// from it, and the escaping, which must leave the page's own markup the
// only markup (one text box, no script).
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "crash/core/error_page.h"

namespace {

size_t Count(const std::string& text, std::string_view part) {
  size_t n = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view report(reinterpret_cast<const char*>(data), size);
  qor::TExceptSettings settings;
  settings.ShowDetailsAtStart = size % 2 == 1;
  settings.ErrorMessage = "%exceptMsg%%LF%";
  const std::string page = qor::ErrorPageHtml(report, settings, report.substr(0, 16));
  if (Count(page, "<textarea") != 1 || Count(page, "</textarea>") != 1 ||
      page.find("<script") != std::string::npos || Count(page, "<button") > 2) {
    std::abort();
  }
  return 0;
}
