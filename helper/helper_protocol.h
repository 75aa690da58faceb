// The protocol between Uninstall.exe and its 64-bit removal helper. The
// request travels on the helper's command line, the result comes back as
// text on its standard output, and the exit code says which of the two to
// trust:
//
//   removal64.exe 1 probe D805 Q3      removal64.exe 1 remove D805 Q3
//   varnel-removal 1 probe             varnel-removal 1 remove
//   D805 present                       D805 removed
//   Q3 absent                          Q3 removed
//   end                                restart yes
//                                      end
//
// The first argument and the header carry the protocol version; kinds are
// named as in the instrument table without the check box prefix ("Q4Diff").
// Lines end with CR LF (a lone LF is read as well). A result counts only
// when it answers exactly the request: same version and command, the same
// kinds in the same order, nothing missing, "end" last and nothing after.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <vector>

#include "engine/instrument_table.h"

namespace helper {

inline constexpr int kProtocolVersion = 1;

// Exit codes of the helper.
inline constexpr int kExitDone = 0;          // the result is on standard output
inline constexpr int kExitBadRequest = 2;    // nothing was done
inline constexpr int kExitOtherVersion = 3;  // nothing was done

enum class Command { Probe, Remove };

struct Request {
  Command command = Command::Probe;
  std::vector<engine::InstrumentKind> kinds;  // at least one, each at most once
};

// What became of one kind: probe answers Present or Absent; remove answers
// Removed once its removal walks have run.
enum class KindState { Present, Absent, Removed };

struct KindResult {
  engine::InstrumentKind kind;
  KindState state;
};

struct Result {
  Command command = Command::Probe;
  std::vector<KindResult> kinds;
  bool restart = false;  // remove only: the restart question is to be asked
};

// The helper's arguments (without the program name) for `request`.
std::vector<std::string> FormatRequest(const Request& request);

// The request the arguments make, or nullopt with `error` saying why.
// `other_version` is set when only the version is not this one.
std::optional<Request> ParseRequest(std::span<const std::string> arguments, std::string& error,
                                    bool& other_version);

// The helper's standard output for `result`.
std::string FormatResult(const Result& result);

// The result in `text` if it answers `request` exactly; otherwise nullopt
// with `error` saying what is wrong.
std::optional<Result> ParseResult(const std::string& text, const Request& request,
                                  std::string& error);

// "D805" for InstrumentKind::D805.
std::string KindName(engine::InstrumentKind kind);

}  // namespace helper
