#include "app/uninstall_program.h"

#include "app/form1.h"
#include "engine/device_walk.h"
#include "gui/application.h"

namespace app {

int RunUninstall(engine::DevicePlatform& platform, InstrumentRemoval& removal) {
  gui::Application& application = gui::Application::Instance();
  application.Initialize();
  {
    TForm1 form(platform, removal);
    application.Run(form);
  }
  engine::CurrentManufacturer().clear();
  return 0;
}

}  // namespace app
