#include "app/instrument_removal.h"

#include <optional>
#include <string>
#include <vector>

#include "app/helper_process.h"
#include "engine/device_walk.h"
#include "helper/helper_protocol.h"

namespace app {
namespace {

constexpr char kHelperName[] = "removal64.exe";
const std::string kHelperSubject = "The 64-bit part ";
// A removal walks every device once per id; on a large system that takes
// minutes, but never this long.
constexpr uint32_t kHelperTimeoutMs = 20 * 60 * 1000;

// Runs the helper for `request`; its result, or nullopt with `failure` set.
std::optional<helper::Result> AskHelper(std::span<const uint8_t> image,
                                        const helper::Request& request, std::string& failure) {
  const HelperRun run =
      RunCarriedProgram(image, kHelperName, helper::FormatRequest(request), kHelperTimeoutMs);
  std::string error;
  std::optional<helper::Result> result;
  if (!run.finished) {
    failure = kHelperSubject + run.failure + ".";
  } else if (run.exit_code != static_cast<uint32_t>(helper::kExitDone)) {
    failure = kHelperSubject + "ended with exit code " + std::to_string(run.exit_code) + ".";
  } else if (!(result = helper::ParseResult(run.output, request, error))) {
    failure = kHelperSubject + "gave an answer that could not be read.";
  }
  return result;
}

}  // namespace

InstrumentRemoval::InstrumentRemoval(engine::DevicePlatform& platform)
    : platform_(platform), through_helper_(false) {}

InstrumentRemoval::InstrumentRemoval(engine::DevicePlatform& platform,
                                     std::span<const uint8_t> helper)
    : platform_(platform), through_helper_(true), helper_(helper) {}

std::string InstrumentRemoval::Probe(
    std::span<const engine::InstrumentKind> kinds,
    const std::function<void(engine::InstrumentKind, bool)>& found) {
  if (!through_helper_) {
    for (engine::InstrumentKind kind : kinds) found(kind, engine::ProbeInstrument(platform_, kind));
    return {};
  }
  if (kinds.empty()) return {};
  std::string failure;
  const helper::Request request{helper::Command::Probe, {kinds.begin(), kinds.end()}};
  const std::optional<helper::Result> result = AskHelper(helper_, request, failure);
  if (!result) return failure;
  for (const helper::KindResult& kind : result->kinds) {
    found(kind.kind, kind.state == helper::KindState::Present);
  }
  return {};
}

InstrumentRemoval::Outcome InstrumentRemoval::Remove(
    std::span<const engine::InstrumentKind> kinds) {
  if (!through_helper_) {
    engine::RemoveInstruments(platform_, kinds);
    return {"", platform_.IsNtFamily()};
  }
  if (kinds.empty()) return {"", platform_.IsNtFamily()};
  Outcome outcome;
  const helper::Request request{helper::Command::Remove, {kinds.begin(), kinds.end()}};
  const std::optional<helper::Result> result = AskHelper(helper_, request, outcome.failure);
  if (result) outcome.restart = result->restart;
  return outcome;
}

}  // namespace app
