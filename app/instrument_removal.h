// How the main window probes and removes the instrument kinds: through the
// engine in this process, or, on 64-bit Windows, through the 64-bit helper
// that this program carries (see helper/helper_protocol.h), which does the
// same with the same engine from the 64-bit side.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>

#include "engine/device_platform.h"
#include "engine/instrument_table.h"

namespace app {

class InstrumentRemoval {
 public:
  // Through the engine in this process. `platform` must outlive this.
  explicit InstrumentRemoval(engine::DevicePlatform& platform);
  // Through the helper program whose bytes are `helper` (empty when this
  // program carries none; every probe then fails). Both must outlive this.
  InstrumentRemoval(engine::DevicePlatform& platform, std::span<const uint8_t> helper);

  // Calls `found(kind, present)` for each of `kinds` in order. Returns why
  // no kind could be probed (and then calls `found` for none), or "". The
  // reasons are sentences for the user: "The 64-bit part of the removal
  // could not be started (error 2)."
  std::string Probe(std::span<const engine::InstrumentKind> kinds,
                    const std::function<void(engine::InstrumentKind, bool)>& found);

  struct Outcome {
    std::string failure;   // why the removal did not finish; "" when it did
    bool restart = false;  // the restart question is to be asked
  };
  // Removes the kinds in one removal.
  Outcome Remove(std::span<const engine::InstrumentKind> kinds);

 private:
  engine::DevicePlatform& platform_;
  bool through_helper_;
  std::span<const uint8_t> helper_;
};

}  // namespace app
