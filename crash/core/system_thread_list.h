// The thread ids of one process in the system's process list, as the NT
// family returns it for the system-process information class (5): process
// records, each beginning with the offset of the next one (0 for the
// last), each followed by its threads' records. Offsets are those of the
// 32-bit layout.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace qor {

inline constexpr uint32_t kProcessNextOffset = 0;
inline constexpr uint32_t kProcessThreadCount = 4;
inline constexpr uint32_t kProcessId = 68;
// Where the thread records begin in a process record.
inline constexpr uint32_t kThreadRecordsNt4 = 136;  // Windows NT 4.0 and older
inline constexpr uint32_t kThreadRecords = 184;     // later releases
inline constexpr uint32_t kThreadRecordSize = 64;
inline constexpr uint32_t kThreadRecordId = 36;

// The thread ids of process `process_id`, in the order listed; empty when
// the list does not hold it. Records that would reach past the end of
// `list`, and offsets that do not move forward, end the walk.
std::vector<uint32_t> ThreadsOfProcess(std::span<const uint8_t> list, uint32_t process_id,
                                       uint32_t thread_records);

}  // namespace qor
