#include "crash/attach/smtp_password.h"

#include <gtest/gtest.h>

#include <string>

namespace qor {
namespace {

TEST(SmtpPassword, RoundTripsForEveryLastByte) {
  // Deciphering the outer layer strips padding; if the inner layer's
  // ciphertext were not padded itself, its last byte would be taken for
  // padding now and then. Many passwords make sure that never happens.
  for (int i = 0; i < 1500; ++i) {
    const std::string password = "pw" + std::to_string(i * 7919);
    std::string stored;
    ASSERT_TRUE(EncryptSmtpPassword(password, "user@example.org", "smtp.example.org", stored));
    EXPECT_NE(stored.find("pw"), 0u);
    ASSERT_EQ(DecryptSmtpPassword(stored, "user@example.org", "smtp.example.org"), password) << i;
  }
}

TEST(SmtpPassword, BothNamesAreNeeded) {
  std::string stored;
  ASSERT_TRUE(EncryptSmtpPassword("secret", "user", "server", stored));
  EXPECT_NE(DecryptSmtpPassword(stored, "server", "user"), "secret");
  EXPECT_NE(DecryptSmtpPassword(stored, "user", "other"), "secret");
}

TEST(SmtpPassword, EmptyNamesLeaveNoUsablePassword) {
  std::string stored = "unchanged";
  EXPECT_FALSE(EncryptSmtpPassword("secret", "", "server", stored));
  EXPECT_FALSE(EncryptSmtpPassword("secret", "user", "", stored));
  EXPECT_EQ(stored, "unchanged");
  ASSERT_TRUE(EncryptSmtpPassword("secret", "user", "server", stored));
  EXPECT_EQ(DecryptSmtpPassword(stored, "", "server"), "");
  EXPECT_EQ(DecryptSmtpPassword(stored, "user", ""), "");
  EXPECT_EQ(DecryptSmtpPassword("", "user", "server"), "");
}

}  // namespace
}  // namespace qor
