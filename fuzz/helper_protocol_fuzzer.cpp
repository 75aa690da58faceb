// The helper's protocol, both ways: byte 0 picks the request (command and
// kinds) that a result must answer, the rest is read as the helper's output;
// the same bytes, split at zeros, are read as its command line. Whatever
// parses must format back to what was read.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "helper/helper_protocol.h"

namespace {

helper::Request RequestOf(uint8_t selector) {
  helper::Request request;
  request.command = (selector & 0x80) ? helper::Command::Remove : helper::Command::Probe;
  for (const auto& entry : engine::InstrumentTable()) {
    if (selector & (1u << (static_cast<unsigned>(entry.kind) % 7))) {
      bool seen = false;
      for (auto kind : request.kinds) seen = seen || kind == entry.kind;
      if (!seen) request.kinds.push_back(entry.kind);
    }
  }
  if (request.kinds.empty()) request.kinds.push_back(engine::InstrumentKind::D805);
  return request;
}

void CheckResult(const std::string& text, const helper::Request& request) {
  std::string error;
  const auto result = helper::ParseResult(text, request, error);
  if (result.has_value() != error.empty()) std::abort();
  if (!result) return;
  if (result->kinds.size() != request.kinds.size()) std::abort();
  // A result with LF line ends reads the same as one with CR LF.
  std::string again = helper::FormatResult(*result);
  std::string plain;
  for (char c : again)
    if (c != '\r') plain.push_back(c);
  std::string plain_text;
  for (char c : text)
    if (c != '\r') plain_text.push_back(c);
  if (plain != plain_text) std::abort();
}

void CheckRequest(const std::string& bytes) {
  std::vector<std::string> arguments(1);
  for (char c : bytes) {
    if (c == '\0') {
      arguments.emplace_back();
    } else {
      arguments.back().push_back(c);
    }
  }
  std::string error;
  bool other_version = false;
  const auto request = helper::ParseRequest(arguments, error, other_version);
  if (request.has_value() != error.empty()) std::abort();
  if (request && helper::FormatRequest(*request) != arguments) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const std::string rest(reinterpret_cast<const char*>(data) + 1, size - 1);
  CheckResult(rest, RequestOf(data[0]));
  CheckRequest(rest);
  return 0;
}
