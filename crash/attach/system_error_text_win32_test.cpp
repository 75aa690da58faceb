// Runs against the system's own message tables (under Wine in this build).
#include "crash/attach/system_error_text.h"

#include <windows.h>

#include <gtest/gtest.h>

#include "crash/attach/locale_number.h"
#include "crash/attach/number_text.h"

namespace qor {
namespace {

TEST(SystemErrorText, KnownCodeIsOneLineEndingInABlank) {
  const std::string text = SystemErrorText(ERROR_FILE_NOT_FOUND);
  ASSERT_GT(text.size(), 1u);
  EXPECT_EQ(text.find('\r'), std::string::npos);
  EXPECT_EQ(text.find('\n'), std::string::npos);
  // The system's messages end in CR LF, which leaves exactly one blank.
  EXPECT_EQ(text.back(), ' ');
  EXPECT_NE(text[text.size() - 2], ' ');
  EXPECT_EQ(text.find("Unknown error"), std::string::npos);
}

TEST(SystemErrorText, StatusValuesAreConvertedFirst) {
  // An access violation status becomes ERROR_NOACCESS.
  EXPECT_EQ(SystemErrorText(0xC0000005u), SystemErrorText(ERROR_NOACCESS));
}

TEST(SystemErrorText, UnknownCodeGivesPhraseAndHex) {
  EXPECT_EQ(SystemErrorText(0x0000FFFEu), "Unknown error $fffe");
}

TEST(LocaleNumber, ByteSizeUsesTheLocaleSeparator) {
  const char decimal = LocaleDecimalChar();
  EXPECT_EQ(LocaleDecimalChar(), decimal);
  EXPECT_EQ(FormatByteSize(1536), std::string("1") + decimal + "50 KB");
}

}  // namespace
}  // namespace qor
