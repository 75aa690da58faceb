// Uninstall.exe: removes the USB drivers of the Varnel instruments.
#include <windows.h>

#include "app/form1_ids.h"
#include "app/helper_process.h"
#include "app/instrument_removal.h"
#include "app/uninstall_program.h"
#include "app/wow64.h"
#include "engine/win32_device_platform.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  engine::Win32DevicePlatform platform;
  // On 64-bit Windows the probe and the removal run in the 64-bit helper
  // that this program carries; elsewhere in this process.
  app::InstrumentRemoval removal =
      app::RunsUnderWow64()
          ? app::InstrumentRemoval(platform, app::CarriedProgram(app::kRemoval64Id))
          : app::InstrumentRemoval(platform);
  return app::RunUninstall(platform, removal);
}
