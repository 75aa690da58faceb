#include "helper/helper_protocol.h"

#include <algorithm>
#include <cstring>

namespace helper {
namespace {

using engine::InstrumentKind;

constexpr char kHeader[] = "varnel-removal";
constexpr char kEnd[] = "end";
constexpr char kLineEnd[] = "\r\n";
constexpr size_t kCheckBoxPrefix = 2;  // "cb"

const char* CommandName(Command command) {
  return command == Command::Probe ? "probe" : "remove";
}

const char* StateName(KindState state) {
  switch (state) {
    case KindState::Present: return "present";
    case KindState::Absent: return "absent";
    case KindState::Removed: return "removed";
  }
  return "";  // not reached: every state is listed above
}

std::optional<Command> CommandOfName(const std::string& name) {
  if (name == CommandName(Command::Probe)) return Command::Probe;
  if (name == CommandName(Command::Remove)) return Command::Remove;
  return std::nullopt;
}

std::optional<InstrumentKind> KindOfName(const std::string& name) {
  for (const engine::InstrumentEntry& entry : engine::InstrumentTable()) {
    if (name == KindName(entry.kind)) return entry.kind;
  }
  return std::nullopt;
}

// The states a command may answer with.
bool Answers(Command command, KindState state) {
  return command == Command::Probe ? state != KindState::Removed : state == KindState::Removed;
}

std::string Header(Command command) {
  return std::string(kHeader) + " " + std::to_string(kProtocolVersion) + " " +
         CommandName(command);
}

// The lines of `text`, each ended by LF or CR LF. False when the text does
// not end with a line end (it was cut short) or holds a character that no
// result line has (a zero, a CR inside a line, other control characters).
bool SplitLines(const std::string& text, std::vector<std::string>& lines) {
  std::string line;
  for (size_t i = 0; i < text.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (c == '\n' || (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n')) {
      if (c == '\r') ++i;
      lines.push_back(std::move(line));
      line.clear();
    } else if (c < 0x20 || c == 0x7F) {
      return false;
    } else {
      line.push_back(static_cast<char>(c));
    }
  }
  return line.empty() && !text.empty();
}

}  // namespace

std::string KindName(InstrumentKind kind) {
  return engine::InstrumentEntryFor(kind).check_box_name + kCheckBoxPrefix;
}

std::vector<std::string> FormatRequest(const Request& request) {
  std::vector<std::string> arguments{std::to_string(kProtocolVersion),
                                     CommandName(request.command)};
  for (InstrumentKind kind : request.kinds) arguments.push_back(KindName(kind));
  return arguments;
}

std::optional<Request> ParseRequest(std::span<const std::string> arguments, std::string& error,
                                    bool& other_version) {
  other_version = false;
  if (arguments.size() < 3) {
    error = "expected: <version> probe|remove <kind>...";
    return std::nullopt;
  }
  const std::string& version = arguments[0];
  const bool digits = !version.empty() && version.size() <= 9 &&
                      std::all_of(version.begin(), version.end(),
                                  [](char c) { return c >= '0' && c <= '9'; });
  if (!digits) {
    error = "no protocol version: " + version;
    return std::nullopt;
  }
  if (version != std::to_string(kProtocolVersion)) {
    other_version = true;
    error = "protocol version " + version + " is not " + std::to_string(kProtocolVersion);
    return std::nullopt;
  }
  const std::optional<Command> command = CommandOfName(arguments[1]);
  if (!command) {
    error = "unknown command: " + arguments[1];
    return std::nullopt;
  }
  Request request{*command, {}};
  for (const std::string& name : arguments.subspan(2)) {
    const std::optional<InstrumentKind> kind = KindOfName(name);
    if (!kind) {
      error = "unknown instrument kind: " + name;
      return std::nullopt;
    }
    if (std::find(request.kinds.begin(), request.kinds.end(), *kind) != request.kinds.end()) {
      error = "instrument kind given twice: " + name;
      return std::nullopt;
    }
    request.kinds.push_back(*kind);
  }
  return request;
}

std::string FormatResult(const Result& result) {
  std::string text = Header(result.command) + kLineEnd;
  for (const KindResult& kind : result.kinds) {
    text += KindName(kind.kind) + " " + StateName(kind.state) + kLineEnd;
  }
  if (result.command == Command::Remove) {
    text += std::string("restart ") + (result.restart ? "yes" : "no") + kLineEnd;
  }
  return text + kEnd + kLineEnd;
}

std::optional<Result> ParseResult(const std::string& text, const Request& request,
                                  std::string& error) {
  std::vector<std::string> lines;
  if (!SplitLines(text, lines)) {
    error = text.empty() ? "no result" : "the result is cut short or holds control characters";
    return std::nullopt;
  }
  const bool remove = request.command == Command::Remove;
  const size_t expected = 1 + request.kinds.size() + (remove ? 1 : 0) + 1;
  if (lines[0] != Header(request.command)) {
    error = "unexpected first line: " + lines[0];
    return std::nullopt;
  }
  Result result{request.command, {}, false};
  size_t at = 1;
  for (InstrumentKind kind : request.kinds) {
    if (at >= lines.size()) break;
    const std::string& line = lines[at++];
    const std::string name = KindName(kind) + " ";
    std::optional<KindState> state;
    for (KindState candidate : {KindState::Present, KindState::Absent, KindState::Removed}) {
      if (line == name + StateName(candidate) && Answers(request.command, candidate)) {
        state = candidate;
      }
    }
    if (!state) {
      error = "expected the state of " + KindName(kind) + ", got: " + line;
      return std::nullopt;
    }
    result.kinds.push_back({kind, *state});
  }
  if (remove && at < lines.size()) {
    const std::string& line = lines[at++];
    if (line != "restart yes" && line != "restart no") {
      error = "expected the restart answer, got: " + line;
      return std::nullopt;
    }
    result.restart = line == "restart yes";
  }
  if (lines.size() != expected || lines[expected - 1] != kEnd) {
    error = lines.size() < expected ? "the result lacks lines" : "unexpected lines at the end";
    return std::nullopt;
  }
  return result;
}

}  // namespace helper
