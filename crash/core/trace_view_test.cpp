#include "crash/core/trace_view.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace qor {
namespace {

constexpr uint8_t kUntouched = 0xCC;

struct Case {
  size_t report_length;
  int32_t max_length;
  size_t view_size;
  size_t written;  // NUL included
};

TEST(CopyTraceToView, CutsToMaxLengthAndToTheViewNeverWritingBeyond) {
  const Case cases[] = {
      {300, 100, 4096, 100},   // 99 characters and the NUL
      {99, 100, 4096, 100},    // exactly fits
      {98, 100, 4096, 99},     // shorter: whole, with its NUL
      {300, 4096, 64, 64},     // the view is smaller than the tool said
      {300, 1, 4096, 1},       // room for the NUL only
      {0, 100, 4096, 1},       // an empty report is still terminated
      {300, 0, 4096, 0},       // no length: nothing
      {300, -7, 4096, 0},
      {300, 100, 0, 0},        // no view: nothing
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.report_length << " chars, max " << c.max_length
                                    << ", view " << c.view_size);
    std::string report(c.report_length, 'r');
    for (size_t i = 0; i < report.size(); ++i) report[i] = static_cast<char>('a' + i % 26);
    std::vector<uint8_t> view(c.view_size + 16, kUntouched);
    EXPECT_EQ(CopyTraceToView(report, c.max_length, view.data(), c.view_size), c.written);
    if (c.written > 0) {
      EXPECT_EQ(std::string(reinterpret_cast<const char*>(view.data())),
                report.substr(0, c.written - 1));
    }
    for (size_t i = c.written; i < view.size(); ++i) ASSERT_EQ(view[i], kUntouched) << i;
  }
}

}  // namespace
}  // namespace qor
