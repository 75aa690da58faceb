// What a stack trace needs from the process it walks: one reader for every
// byte of code and stack, and the few facts about loaded modules and the
// system that are not memory. The Windows caller passes the live reader
// over its read snapshot and facts from the loader; host tests pass
// synthetic memory and a fake.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "crash/debuginfo/map_file.h"
#include "crash/disasm/function_info.h"
#include "crash/modules/memory_reader.h"

namespace qor {

class ProcessFacts {
 public:
  virtual ~ProcessFacts() = default;

  // Full file name of the module loaded at `base`; false when there is no
  // module there or its name cannot be obtained.
  virtual bool ModuleFileName(uint32_t base, std::string& name) const = 0;
  // Base of the program's own executable.
  virtual uint32_t MainModuleBase() const = 0;
  // True on the 9x family of the system.
  virtual bool Is9x() const = 0;
  // Address of user32's DispatchMessageA; 0 when unknown.
  virtual uint32_t DispatchMessageAddress() const = 0;
  // Debug information of the module that holds `address` (from the
  // process-wide cache on Windows); null or invalid when it has none.
  virtual std::shared_ptr<const TMapFile> DebugInfoAt(uint32_t address) const = 0;
};

struct StackTraceContext {
  // Neither is owned; both must outlive the trace.
  const MemoryReader& memory;
  const ProcessFacts& facts;
  // Never-returning and exception routines for functions of the program's
  // own module and of modules without debug information.
  SpecialRoutines default_routines;
  // Address of the exception being handled, asked inside a failed phase's
  // guard so the internal-error text can say where it failed; null, or a
  // result of 0, when unknown.
  uint32_t (*exception_address)() = nullptr;
};

}  // namespace qor
