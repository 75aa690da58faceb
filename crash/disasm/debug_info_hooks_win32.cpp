#include "crash/disasm/debug_info_hooks.h"

#include "crash/debuginfo/debug_info_live.h"
#include "crash/disasm/disasm_text.h"

namespace qor {

void InstallDebugInfoHooks() {
  procedure_name_hook = LiveProcedureName;
  line_hook = LiveLineAt;
}

void RemoveDebugInfoHooks() {
  procedure_name_hook = nullptr;
  line_hook = nullptr;
  ClearDebugInfoCache();
}

}  // namespace qor
