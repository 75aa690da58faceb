// Uninstall.exe: removes the USB drivers of the Varnel instruments.
#include "app/form1.h"
#include "engine/device_walk.h"
#include "engine/win32_device_platform.h"
#include "gui/application.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  gui::Application& application = gui::Application::Instance();
  application.Initialize();
  {
    engine::Win32DevicePlatform platform;
    app::TForm1 form(platform);
    application.Run(form);
  }
  engine::CurrentManufacturer().clear();
  return 0;
}
