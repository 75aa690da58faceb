#include "crash/core/report_file.h"

#include <gtest/gtest.h>

#include <string>

namespace qor {
namespace {

// A report of exactly `size` bytes (before the blank line that saving adds)
// that carries the inner date labels a real report has.
std::string Report(char tag, size_t size) {
  std::string report = "date/time         : 2026-12-08\r\nexec. date/time   : x\r\n";
  report += "module date/time  : y\r\n";
  report.resize(size - 2, tag);
  return report + "\r\n";
}

TEST(ReportFileName, AbsoluteAndRelative) {
  EXPECT_TRUE(IsAbsoluteReportPath("C:\\r.txt"));
  EXPECT_TRUE(IsAbsoluteReportPath("\\\\srv\\share\\r.txt"));
  EXPECT_FALSE(IsAbsoluteReportPath("C:"));  // too short
  EXPECT_FALSE(IsAbsoluteReportPath("logs\\r.txt"));
  EXPECT_EQ(ReportPathIn("C:\\app", "bug.txt"), "C:\\app\\bug.txt");
  EXPECT_EQ(ReportPathIn("C:\\", "bug.txt"), "C:\\bug.txt");
  EXPECT_EQ(ReportPathIn("C:\\app", "D:\\bug.txt"), "D:\\bug.txt");
}

TEST(ReportFileSave, AppendsWithBlankLineAndOverwritesWithoutLimit) {
  const std::string first = ReportFileAfterSave("", "date/time one", 50000);
  EXPECT_EQ(first, "date/time one\r\n\r\n");
  EXPECT_EQ(ReportFileAfterSave(first, "date/time two", 50000),
            "date/time one\r\n\r\ndate/time two\r\n\r\n");
  EXPECT_EQ(ReportFileAfterSave(first, "date/time two", 0), "date/time two\r\n\r\n");
  EXPECT_EQ(ReportFileAfterSave(first, "date/time two", -1),
            "date/time one\r\n\r\ndate/time two\r\n\r\n") << "a negative limit is no limit";
}

TEST(ReportFileSave, GrowingFileDropsOldestReportsAtAReportStart) {
  std::string file;
  for (char tag = 'a'; tag <= 'z'; ++tag) {
    file = ReportFileAfterSave(file, Report(tag, 7000), 50000);
    ASSERT_LE(file.size(), 50000u);
    ASSERT_EQ(file.compare(0, 9, "date/time"), 0) << "cut inside a report after " << tag;
  }
  EXPECT_LT(file.size(), 37500u);
  EXPECT_GT(file.size(), 37500u - 7002u) << "more than needed was dropped";
  EXPECT_EQ(file[file.size() - 10], 'z') << "the newest report is kept";
}

TEST(ReportFileCut, InnerDateLabelsAreNoReportStart) {
  // Only one report start, near the front; the inner labels would qualify.
  std::string file = Report('a', 900) + "\r\n";
  file += std::string(100, 'b') + "exec. date/time x\r\nmodule date/time y\r\n";
  EXPECT_EQ(ReportFileCut(file, 800), 0u) << "the only report is kept whole";
}

TEST(ReportFileCut, OversizedNewestReportIsKeptAlone) {
  const std::string file = Report('a', 100) + Report('b', 100) + Report('c', 700);
  EXPECT_EQ(ReportFileCut(file, 600), 200u);
  EXPECT_EQ(ReportFileCut(file, 2000), 0u) << "within the limit";
}

}  // namespace
}  // namespace qor
