#include "crash/attach/scrambled_text.h"

#include <gtest/gtest.h>

#include "crash/attach/qor_exception.h"

namespace qor {
namespace {

constexpr ScrambledText kSample("ntdll.dll");

TEST(ScrambledText, StoredBytesDifferAndComeBack) {
  EXPECT_EQ(kSample.Scrambled().size(), 9u);
  EXPECT_EQ(kSample.Scrambled().find("ntdll"), std::string_view::npos);
  EXPECT_EQ(kSample.Plain(), "ntdll.dll");
  EXPECT_EQ(UnscrambleText(UnscrambleText("any text")), "any text");
}

TEST(QorException, CarriesItsMessageAndIsNoStdException) {
  static_assert(!std::is_base_of_v<std::exception, QorException>);
  try {
    throw QorException(kStreamWriteErrorText);
  } catch (const QorException& e) {
    EXPECT_EQ(e.Message, "Stream write error.");
  }
}

}  // namespace
}  // namespace qor
