#include "crash/core/crash_server_files.h"

#include "crash/attach/text_search.h"

namespace qor {
namespace {

// The directory part of a path with its final separator; empty when the
// path has none.
std::string_view DirectoryOf(std::string_view path) {
  const size_t slash = path.find_last_of("\\/");
  return slash == std::string_view::npos ? std::string_view{} : path.substr(0, slash + 1);
}

bool IsAbsolute(std::string_view name) {
  return name.size() >= 3 && (name[0] == '\\' || name[1] == ':');
}

// Negative settings count as none: a cap of 0.
template <typename T>
T NotNegative(int32_t value) {
  return value > 0 ? static_cast<T>(value) : T{0};
}

}  // namespace

std::string BugReportFilePath(std::string_view setting, std::string_view core_module_path,
                              std::string_view executable_path) {
  // Only the application name is a placeholder here; "%LF%" and the
  // message have no meaning in a file name and stay as written.
  std::string name;
  const std::string app = AppNameOf(core_module_path, false);
  constexpr std::string_view kAppName = "%appname%";
  for (size_t at = 0; at < setting.size();) {
    if (StartsWithNoCase(setting.substr(at), kAppName)) {
      name += app;
      at += kAppName.size();
    } else {
      name += setting[at++];
    }
  }
  if (IsAbsolute(name)) return name;
  return std::string(DirectoryOf(executable_path)) + name;
}

std::string MinidumpPathOf(std::string_view report_path) {
  const size_t name_start = DirectoryOf(report_path).size();
  const size_t dot = report_path.rfind('.');
  const std::string_view stem =
      dot != std::string_view::npos && dot > name_start ? report_path.substr(0, dot) : report_path;
  return std::string(stem) + ".dmp";
}

UploadSettings UploadSettingsOf(const TExceptSettings& settings, std::string_view minidump_path,
                                std::string_view executable_path) {
  UploadSettings upload;
  upload.url = std::string(settings.UploadUrl.View());
  upload.product = settings.UploadProduct.Empty() ? AppNameOf(executable_path, false)
                                                  : std::string(settings.UploadProduct.View());
  upload.version = std::string(settings.UploadVersion.View());
  upload.gzip_body = settings.UploadGzip;
  upload.queue_folder = settings.UploadQueueFolder.Empty()
                            ? std::string(DirectoryOf(minidump_path)) + "crash uploads"
                            : std::string(settings.UploadQueueFolder.View());
  upload.queue_max_reports = NotNegative<uint32_t>(settings.UploadQueueMaxReports);
  upload.queue_max_bytes = NotNegative<uint64_t>(settings.UploadQueueMaxBytes);
  upload.min_interval_seconds = NotNegative<uint32_t>(settings.UploadIntervalSeconds);
  return upload;
}

}  // namespace qor
