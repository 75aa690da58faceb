#include "crash/core/settings_win32.h"

#include <windows.h>

#include "crash/core/core_module.h"
#include "crash/modules/module_tools.h"

namespace qor {

std::string AppNameFor(AppNameUse use) {
  const bool program = use == AppNameUse::kDialogTitle || use == AppNameUse::kMailSender;
  const uint32_t module =
      program ? static_cast<uint32_t>(reinterpret_cast<uintptr_t>(GetModuleHandleA(nullptr)))
              : CoreModule();
  const bool with_extension = use == AppNameUse::kDialogTitle || use == AppNameUse::kMailSubject;
  return AppNameOf(ModuleFileName(module), with_extension);
}

}  // namespace qor
