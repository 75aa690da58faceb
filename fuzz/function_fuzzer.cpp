// ParseFunction and the listing over arbitrary bytes: the first bytes pick
// the never-returning routine and the mark; the rest is the code at a fixed
// address. Any outcome is fine as long as nothing faults or loops.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "crash/disasm/function_listing.h"
#include "crash/modules/testing/mapped_memory.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  constexpr uint32_t kCode = 0x401000;
  if (size < 4) return 0;
  uint16_t noreturn_offset, mark_offset;
  std::memcpy(&noreturn_offset, data, 2);
  std::memcpy(&mark_offset, data + 2, 2);
  qor::MappedMemory memory;
  memory.Map(kCode, std::vector<uint8_t>(data + 4, data + size));
  qor::SpecialRoutines routines;
  routines.never_return = {kCode + noreturn_offset};
  qor::TFunctionInfo info;
  std::string text;
  qor::FunctionListing(memory, routines, kCode, text, info, {kCode + mark_offset, true, 20});
  return 0;
}
