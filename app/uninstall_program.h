// The program's life: the application object, the main window and its
// message loop, and the release of the engine's text at the end.
#pragma once

#include "app/instrument_removal.h"
#include "engine/device_platform.h"

namespace app {

// Runs the main window until the application terminates; the exit code.
int RunUninstall(engine::DevicePlatform& platform, InstrumentRemoval& removal);

}  // namespace app
