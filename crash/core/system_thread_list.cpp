#include "crash/core/system_thread_list.h"

#include <cstring>

namespace qor {
namespace {

uint32_t U32(std::span<const uint8_t> list, uint64_t offset) {
  uint32_t value = 0;
  std::memcpy(&value, list.data() + offset, 4);
  return value;
}

}  // namespace

std::vector<uint32_t> ThreadsOfProcess(std::span<const uint8_t> list, uint32_t process_id,
                                       uint32_t thread_records) {
  std::vector<uint32_t> threads;
  uint64_t record = 0;
  while (record + kProcessId + 4 <= list.size()) {
    const uint32_t next = U32(list, record + kProcessNextOffset);
    if (U32(list, record + kProcessId) == process_id) {
      const uint32_t count = U32(list, record + kProcessThreadCount);
      const uint64_t first = record + thread_records;
      for (uint64_t i = 0; i < count; ++i) {
        const uint64_t id_at = first + i * kThreadRecordSize + kThreadRecordId;
        if (id_at + 4 > list.size()) break;
        threads.push_back(U32(list, id_at));
      }
      return threads;
    }
    if (next == 0) break;
    record += next;
  }
  return threads;
}

}  // namespace qor
