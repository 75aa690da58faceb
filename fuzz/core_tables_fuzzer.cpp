// The binary layouts the core reads from its own process, taken from
// arbitrary bytes: a module's import tables (placed as a loaded module),
// the system's process list, and a call searched in the bytes as code.
// ASan and UBSan watch the readers' buffers and arithmetic.
#include <cstdint>
#include <vector>

#include "crash/core/find_call.h"
#include "crash/core/import_table.h"
#include "crash/core/system_thread_list.h"
#include "crash/modules/testing/mapped_memory.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  constexpr uint32_t kBase = 0x400000;
  qor::MappedMemory memory;
  memory.Map(kBase, std::vector<uint8_t>(data, data + size));

  std::vector<uint32_t> slots;
  const uint32_t value = size >= 4 ? data[0] | data[1] << 8 | data[2] << 16 | uint32_t{data[3]} << 24
                                   : 0;
  qor::FindImportSlots(memory, kBase, value, slots);

  const std::span<const uint8_t> list(data, size);
  for (uint32_t process : {0u, value}) {
    qor::ThreadsOfProcess(list, process, qor::kThreadRecords);
    qor::ThreadsOfProcess(list, process, qor::kThreadRecordsNt4);
  }

  qor::FindCall(memory, kBase, 0, 2);
  qor::FindCall(memory, kBase, value, 1, kBase + static_cast<uint32_t>(size / 2));
  return 0;
}
