#include "helper/helper_protocol.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace helper {
namespace {

using engine::InstrumentKind;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

const Request kProbe{Command::Probe, {InstrumentKind::D805, InstrumentKind::Q4Diff}};
const Request kRemove{Command::Remove, {InstrumentKind::Q3}};

std::optional<Request> Parse(std::vector<std::string> arguments, std::string* error_out = nullptr,
                             bool* other_version_out = nullptr) {
  std::string error;
  bool other_version = false;
  auto request = ParseRequest(arguments, error, other_version);
  if (error_out) *error_out = error;
  if (other_version_out) *other_version_out = other_version;
  EXPECT_EQ(request.has_value(), error.empty()) << error;
  return request;
}

TEST(HelperProtocol, RequestsGoThereAndBack) {
  EXPECT_THAT(FormatRequest(kProbe), ElementsAre("1", "probe", "D805", "Q4Diff"));
  for (const Request& request : {kProbe, kRemove}) {
    const auto parsed = Parse(FormatRequest(request));
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->command, request.command);
    EXPECT_EQ(parsed->kinds, request.kinds);
  }
  // Every kind of the table has a name the helper reads back.
  std::vector<std::string> all{"1", "remove"};
  for (const auto& entry : engine::InstrumentTable()) all.push_back(KindName(entry.kind));
  ASSERT_TRUE(Parse(all));
  EXPECT_EQ(Parse(all)->kinds.size(), engine::InstrumentTable().size());
}

TEST(HelperProtocol, BadRequestsSayWhy) {
  struct Case {
    std::vector<std::string> arguments;
    const char* why;
  };
  const Case cases[] = {
      {{}, "expected"},
      {{"1", "probe"}, "expected"},
      {{"one", "probe", "D805"}, "no protocol version"},
      {{"", "probe", "D805"}, "no protocol version"},
      {{"1", "delete", "D805"}, "unknown command"},
      {{"1", "PROBE", "D805"}, "unknown command"},
      {{"1", "probe", "d805"}, "unknown instrument kind"},
      {{"1", "probe", "cbD805"}, "unknown instrument kind"},
      {{"1", "probe", "D805 "}, "unknown instrument kind"},
      {{"1", "remove", "Q3", "D805", "Q3"}, "given twice"},
      {{"1", "remove", std::string("Q3\0", 3)}, "unknown instrument kind"},
  };
  for (const Case& c : cases) {
    std::string error;
    bool other_version = true;
    EXPECT_FALSE(Parse(c.arguments, &error, &other_version));
    EXPECT_THAT(error, HasSubstr(c.why));
    EXPECT_FALSE(other_version) << error;
  }
}

TEST(HelperProtocol, AnotherVersionIsToldApart) {
  for (const char* version : {"2", "0", "01", "999999999"}) {
    std::string error;
    bool other_version = false;
    EXPECT_FALSE(Parse({version, "probe", "D805"}, &error, &other_version));
    EXPECT_TRUE(other_version) << version;
  }
}

TEST(HelperProtocol, ResultsGoThereAndBack) {
  const Result probe{Command::Probe,
                     {{InstrumentKind::D805, KindState::Present},
                      {InstrumentKind::Q4Diff, KindState::Absent}},
                     false};
  EXPECT_EQ(FormatResult(probe), "varnel-removal 1 probe\r\nD805 present\r\nQ4Diff absent\r\nend\r\n");
  const Result remove{Command::Remove, {{InstrumentKind::Q3, KindState::Removed}}, true};
  EXPECT_EQ(FormatResult(remove), "varnel-removal 1 remove\r\nQ3 removed\r\nrestart yes\r\nend\r\n");

  std::string error;
  const auto parsed_probe = ParseResult(FormatResult(probe), kProbe, error);
  ASSERT_TRUE(parsed_probe) << error;
  ASSERT_EQ(parsed_probe->kinds.size(), 2u);
  EXPECT_EQ(parsed_probe->kinds[0].state, KindState::Present);
  EXPECT_EQ(parsed_probe->kinds[1].state, KindState::Absent);
  EXPECT_EQ(parsed_probe->kinds[1].kind, InstrumentKind::Q4Diff);

  for (bool restart : {true, false}) {
    Result answer = remove;
    answer.restart = restart;
    const auto parsed = ParseResult(FormatResult(answer), kRemove, error);
    ASSERT_TRUE(parsed) << error;
    EXPECT_EQ(parsed->restart, restart);
  }
  // Lines that end with LF alone read the same.
  EXPECT_TRUE(ParseResult("varnel-removal 1 remove\nQ3 removed\nrestart no\nend\n", kRemove, error))
      << error;
}

TEST(HelperProtocol, EveryCutOfAResultIsRefused) {
  const std::string whole = "varnel-removal 1 probe\r\nD805 present\r\nQ4Diff absent\r\nend\r\n";
  std::string error;
  for (size_t length = 0; length < whole.size(); ++length) {
    EXPECT_FALSE(ParseResult(whole.substr(0, length), kProbe, error)) << length;
    EXPECT_FALSE(error.empty());
  }
  EXPECT_TRUE(ParseResult(whole, kProbe, error)) << error;
}

TEST(HelperProtocol, ResultsThatDoNotAnswerTheRequestAreRefused) {
  struct Case {
    std::string text;
    const Request* request;
    const char* why;
  };
  const char with_zero[] = "varnel-removal 1 remove\r\nQ3 removed\0\r\nrestart yes\r\nend\r\n";
  const Case cases[] = {
      {"varnel-removal 2 remove\r\nQ3 removed\r\nrestart yes\r\nend\r\n", &kRemove, "first line"},
      {"varnel-removal 1 probe\r\nQ3 present\r\nend\r\n", &kRemove, "first line"},
      {"error: unknown instrument kind: Q3\r\n", &kRemove, "first line"},
      // A probe answer where a removal was asked for, and the other way.
      {"varnel-removal 1 remove\r\nQ3 present\r\nrestart yes\r\nend\r\n", &kRemove, "state of Q3"},
      {"varnel-removal 1 probe\r\nD805 removed\r\nQ4Diff absent\r\nend\r\n", &kProbe, "D805"},
      // Kinds missing, swapped, repeated or unasked for.
      {"varnel-removal 1 probe\r\nD805 present\r\nend\r\n", &kProbe, "state of Q4Diff"},
      {"varnel-removal 1 probe\r\nQ4Diff absent\r\nD805 present\r\nend\r\n", &kProbe, "D805"},
      {"varnel-removal 1 probe\r\nD805 present\r\nD805 present\r\nend\r\n", &kProbe, "Q4Diff"},
      {"varnel-removal 1 probe\r\nD805 present\r\nQ4Diff absent\r\nQ3 absent\r\nend\r\n", &kProbe,
       "at the end"},
      {"varnel-removal 1 remove\r\nQ3 removed\r\nend\r\n", &kRemove, "restart"},
      {"varnel-removal 1 remove\r\nQ3 removed\r\nrestart maybe\r\nend\r\n", &kRemove, "restart"},
      {"varnel-removal 1 remove\r\nQ3 removed\r\nrestart yes\r\nend\r\nend\r\n", &kRemove,
       "at the end"},
      {"varnel-removal 1 remove\r\nQ3 removed\r\nrestart yes\r\nfinished\r\n", &kRemove, "end"},
      // Spaces and control characters are not tolerated.
      {"varnel-removal 1 remove\r\nQ3  removed\r\nrestart yes\r\nend\r\n", &kRemove, "state of Q3"},
      {"varnel-removal 1 remove\r\nQ3 removed\r\r\nrestart yes\r\nend\r\n", &kRemove, "control"},
      {std::string(with_zero, sizeof(with_zero) - 1), &kRemove, "control"},
  };
  for (const Case& c : cases) {
    std::string error;
    EXPECT_FALSE(ParseResult(c.text, *c.request, error)) << c.text;
    EXPECT_THAT(error, HasSubstr(c.why)) << c.text;
  }
}

}  // namespace
}  // namespace helper
