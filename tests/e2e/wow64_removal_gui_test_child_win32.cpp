// Uninstall.exe as it would be without its 64-bit helper: the probe and the
// removal run in this 32-bit process on 64-bit Windows too. Built for
// wow64_removal_gui_test only, to show what the helper is for; never shipped.
#include <windows.h>

#include "app/instrument_removal.h"
#include "app/uninstall_program.h"
#include "engine/win32_device_platform.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  engine::Win32DevicePlatform platform;
  app::InstrumentRemoval removal(platform);
  return app::RunUninstall(platform, removal);
}
