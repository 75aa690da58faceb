#include "crash/core/crash_server_files.h"

#include <gtest/gtest.h>

namespace qor {
namespace {

TEST(CrashServerFiles, TheReportFileFollowsTheSilentSavesRule) {
  const char* exe = "C:\\Program Files\\Varnel\\Uninstall.exe";
  EXPECT_EQ(BugReportFilePath("bugreport.txt", exe, exe),
            "C:\\Program Files\\Varnel\\bugreport.txt");
  // The application name is the core module's, without its extension, in
  // any case of the placeholder.
  EXPECT_EQ(BugReportFilePath("%APPNAME%-crash.log", "C:\\lib\\Core.dll", exe),
            "C:\\Program Files\\Varnel\\Core-crash.log");
  EXPECT_EQ(BugReportFilePath("D:\\reports\\%appname%.txt", exe, exe),
            "D:\\reports\\Uninstall.txt");
  EXPECT_EQ(BugReportFilePath("\\\\server\\share\\r.txt", exe, exe), "\\\\server\\share\\r.txt");
  // Two characters are never absolute; other placeholders stay as written.
  EXPECT_EQ(BugReportFilePath("c:", exe, exe), "C:\\Program Files\\Varnel\\c:");
  EXPECT_EQ(BugReportFilePath("%LF%.txt", exe, exe), "C:\\Program Files\\Varnel\\%LF%.txt");
}

TEST(CrashServerFiles, TheMinidumpTakesTheReportsNameWithItsOwnExtension) {
  EXPECT_EQ(MinidumpPathOf("C:\\app\\bugreport.txt"), "C:\\app\\bugreport.dmp");
  EXPECT_EQ(MinidumpPathOf("C:\\app\\bug.report.txt"), "C:\\app\\bug.report.dmp");
  // A dot in a directory is no extension of the file.
  EXPECT_EQ(MinidumpPathOf("C:\\app.d\\bugreport"), "C:\\app.d\\bugreport.dmp");
  EXPECT_EQ(MinidumpPathOf("bugreport"), "bugreport.dmp");
}

TEST(CrashServerFiles, TheDefaultRecordUploadsNothing) {
  const TExceptSettings defaults{};
  EXPECT_EQ(defaults.Minidump, MinidumpSize::kSmall);
  const UploadSettings upload =
      UploadSettingsOf(defaults, "C:\\app\\bugreport.dmp", "C:\\app\\Uninstall.exe");
  EXPECT_TRUE(upload.url.empty());
  EXPECT_EQ(upload.product, "Uninstall");
  EXPECT_EQ(upload.queue_folder, "C:\\app\\crash uploads");
  EXPECT_EQ(upload.min_interval_seconds, 60u);
  EXPECT_EQ(upload.queue_max_reports, 5u);
  EXPECT_EQ(upload.queue_max_bytes, 32u << 20);
  EXPECT_FALSE(upload.gzip_body);
}

TEST(CrashServerFiles, ConfiguredUploadFieldsReachTheDeliveryAndNegativeCapsCountAsNone) {
  const TExceptSettings settings{.UploadUrl = "http://127.0.0.1:8080/submit",
                                 .UploadProduct = "Remover",
                                 .UploadVersion = "2.1.0.7",
                                 .UploadGzip = true,
                                 .UploadIntervalSeconds = -1,
                                 .UploadQueueFolder = "D:\\queue",
                                 .UploadQueueMaxReports = 2,
                                 .UploadQueueMaxBytes = -5};
  const UploadSettings upload = UploadSettingsOf(settings, "x.dmp", "Uninstall.exe");
  EXPECT_EQ(upload.url, "http://127.0.0.1:8080/submit");
  EXPECT_EQ(upload.product, "Remover");
  EXPECT_EQ(upload.version, "2.1.0.7");
  EXPECT_TRUE(upload.gzip_body);
  EXPECT_EQ(upload.queue_folder, "D:\\queue");
  EXPECT_EQ(upload.queue_max_reports, 2u);
  EXPECT_EQ(upload.queue_max_bytes, 0u);
  EXPECT_EQ(upload.min_interval_seconds, 0u);
}

}  // namespace
}  // namespace qor
