// A bug-report file and a report of arbitrary bytes: saving one more
// report into the file with its size limit, and the mail's subject and
// sender taken from them. Checks that the file keeps to the limit unless
// its newest report alone is larger.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "crash/core/mail_fields.h"
#include "crash/core/report_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const int32_t limit = static_cast<int32_t>(data[0] | data[1] << 8) - 4;
  const std::string_view bytes(reinterpret_cast<const char*>(data + 2), size - 2);
  const size_t split = bytes.size() / 2;
  const std::string_view file = bytes.substr(0, split);
  const std::string_view report = bytes.substr(split);

  const std::string saved = qor::ReportFileAfterSave(file, report, limit);
  // Over the limit only when the newest report alone is: then nothing but
  // that report is left. Saving the result again would cut nothing more.
  if (limit > 0 && saved.size() > static_cast<size_t>(limit) &&
      saved.find("\ndate/time") != std::string::npos) {
    std::abort();
  }
  if (limit > 0 && qor::ReportFileCut(saved, limit) != 0) std::abort();
  if (limit == 0 && saved != std::string(report) + "\r\n\r\n") std::abort();
  qor::MailSubjectFor("%appname% %exceptMsg%", "a.exe", report);
  qor::MailSenderFor(nullptr, file.substr(0, 75), "a");
  return 0;
}
