#include "helper/helper_service.h"

#include "engine/device_walk.h"
#include "helper/helper_protocol.h"

namespace helper {

Answer Serve(engine::DevicePlatform& platform, std::span<const std::string> arguments) {
  std::string error;
  bool other_version = false;
  const std::optional<Request> request = ParseRequest(arguments, error, other_version);
  if (!request) {
    return {other_version ? kExitOtherVersion : kExitBadRequest, "error: " + error + "\r\n"};
  }
  Result result{request->command, {}, false};
  if (request->command == Command::Probe) {
    for (engine::InstrumentKind kind : request->kinds) {
      const bool present = engine::ProbeInstrument(platform, kind);
      result.kinds.push_back({kind, present ? KindState::Present : KindState::Absent});
    }
  } else {
    // One removal for all kinds, so that what only they use goes and what
    // another kind still uses stays, as in the window's own removal.
    engine::RemoveInstruments(platform, request->kinds);
    for (engine::InstrumentKind kind : request->kinds) {
      result.kinds.push_back({kind, KindState::Removed});
    }
    result.restart = platform.IsNtFamily();
  }
  return {kExitDone, FormatResult(result)};
}

}  // namespace helper
