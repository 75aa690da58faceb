#include "crash/delivery/http_response.h"

#include <gtest/gtest.h>

namespace qor {
namespace {

TEST(HttpResponse, StatusAndRetryAfterFromTheHead) {
  const auto head = ParseResponseHead(
      "HTTP/1.1 429 Too Many Requests\r\nServer: x\r\nretry-AFTER:  120 \r\n"
      "Retry-After: 5\r\n\r\nRetry-After: 9\r\n");
  ASSERT_TRUE(head);
  EXPECT_EQ(head->status, 429);
  EXPECT_EQ(head->retry_after, "120");

  const auto bare = ParseResponseHead("HTTP/1.0 200\nContent-Length: 0\n");
  ASSERT_TRUE(bare);
  EXPECT_EQ(bare->status, 200);
  EXPECT_EQ(bare->retry_after, "");
}

TEST(HttpResponse, NotAStatusLine) {
  for (const char* text : {"", "HTTP/1.1", "HTTP/1.1 2000 OK", "HTTP/1.1 20x OK", "SMTP/1.0 200 OK",
                           "HTTP/1.1 099 Low", "\r\nHTTP/1.1 200 OK"}) {
    EXPECT_FALSE(ParseResponseHead(text)) << text;
  }
}

TEST(HttpResponse, DatesInAllThreeForms) {
  constexpr int64_t kSunday1994 = 784111777;  // 1994-11-06 08:49:37 UTC
  EXPECT_EQ(ParseHttpDate("Sun, 06 Nov 1994 08:49:37 GMT"), kSunday1994);
  EXPECT_EQ(ParseHttpDate("Sunday, 06-Nov-94 08:49:37 GMT"), kSunday1994);
  EXPECT_EQ(ParseHttpDate("Sun Nov  6 08:49:37 1994"), kSunday1994);
  EXPECT_EQ(ParseHttpDate("Thu, 29 Feb 2024 23:59:59 GMT"), 1709251199);
  EXPECT_EQ(ParseHttpDate("Thu, 01 Jan 1970 00:00:00 GMT"), 0);
  for (const char* text : {"Fri, 29 Feb 2023 00:00:00 GMT", "Sun, 06 Nov 1994 24:00:00 GMT",
                           "Sun, 06 Foo 1994 08:49:37 GMT", "Sun, 06 Nov 1994 8:49:37 GMT",
                           "Sun, 06 Nov 1994", "Wed, 31 Dec 1969 23:59:59 GMT", ""}) {
    EXPECT_FALSE(ParseHttpDate(text)) << text;
  }
}

TEST(HttpResponse, RetryAfterSecondsOrDate) {
  constexpr int64_t kNow = 784111777;
  EXPECT_EQ(RetryAfterSeconds(" 120 ", kNow), 120);
  EXPECT_EQ(RetryAfterSeconds("0", kNow), 0);
  EXPECT_EQ(RetryAfterSeconds("Sun, 06 Nov 1994 08:51:37 GMT", kNow), 120);
  EXPECT_EQ(RetryAfterSeconds("Sun, 06 Nov 1994 08:00:00 GMT", kNow), 0);  // past
  EXPECT_EQ(RetryAfterSeconds("99999999999999999999999", kNow), kMaxRetryAfterSeconds);
  EXPECT_EQ(RetryAfterSeconds("Fri, 01 Jan 2100 00:00:00 GMT", kNow), kMaxRetryAfterSeconds);
  EXPECT_FALSE(RetryAfterSeconds("-5", kNow));
  EXPECT_FALSE(RetryAfterSeconds("soon", kNow));
  EXPECT_FALSE(RetryAfterSeconds("", kNow));
}

}  // namespace
}  // namespace qor
