#include "crash/core/system_thread_list.h"

#include <gtest/gtest.h>

#include "crash/modules/testing/pe_test_image.h"

namespace qor {
namespace {

using test::Put32;

// Appends a process record with `threads` at `records` and returns its
// offset; the previous record's next offset is set to reach it.
class ProcessList {
 public:
  explicit ProcessList(uint32_t records) : records_(records) {}

  void Add(uint32_t process, const std::vector<uint32_t>& threads) {
    const uint32_t at = static_cast<uint32_t>(bytes_.size());
    if (last_ != kNone) Put32(bytes_, last_, at - last_);
    const uint32_t size = records_ + kThreadRecordSize * static_cast<uint32_t>(threads.size());
    bytes_.resize(at + size + 16, 0xCC);  // records are followed by names and padding
    Put32(bytes_, at, 0);
    Put32(bytes_, at + kProcessThreadCount, static_cast<uint32_t>(threads.size()));
    Put32(bytes_, at + kProcessId, process);
    for (size_t i = 0; i < threads.size(); ++i) {
      Put32(bytes_, at + records_ + kThreadRecordSize * i + kThreadRecordId, threads[i]);
      Put32(bytes_, at + records_ + kThreadRecordSize * i + kThreadRecordId - 4, process);
    }
    last_ = at;
  }
  std::vector<uint8_t>& bytes() { return bytes_; }

 private:
  static constexpr uint32_t kNone = 0xFFFFFFFF;
  uint32_t records_;
  uint32_t last_ = kNone;
  std::vector<uint8_t> bytes_;
};

TEST(ThreadsOfProcess, TheThreadsOfOneProcessInOrder) {
  for (uint32_t records : {kThreadRecords, kThreadRecordsNt4}) {
    ProcessList list(records);
    list.Add(0, {0});
    list.Add(0x1A4, {0x1A8, 0x2F0});
    list.Add(0x2C0, {0x2C4, 0x300, 0x314});
    EXPECT_EQ(ThreadsOfProcess(list.bytes(), 0x2C0, records),
              (std::vector<uint32_t>{0x2C4, 0x300, 0x314}));
    EXPECT_EQ(ThreadsOfProcess(list.bytes(), 0x1A4, records),
              (std::vector<uint32_t>{0x1A8, 0x2F0}));
    EXPECT_TRUE(ThreadsOfProcess(list.bytes(), 0x999, records).empty());
  }
}

TEST(ThreadsOfProcess, ATruncatedListGivesWhatItHolds) {
  ProcessList list(kThreadRecords);
  list.Add(0x10, {0x14, 0x18, 0x1C});
  std::vector<uint8_t>& bytes = list.bytes();
  // Cut inside the third thread record.
  const size_t third = kThreadRecords + 2 * kThreadRecordSize + kThreadRecordId;
  bytes.resize(third + 2);
  EXPECT_EQ(ThreadsOfProcess(bytes, 0x10, kThreadRecords), (std::vector<uint32_t>{0x14, 0x18}));
  // A thread count far beyond the buffer.
  Put32(bytes, kProcessThreadCount, 0xFFFFFFFF);
  EXPECT_EQ(ThreadsOfProcess(bytes, 0x10, kThreadRecords).size(), 2u);
}

TEST(ThreadsOfProcess, NextOffsetsLeavingTheBufferEndTheWalk) {
  ProcessList list(kThreadRecords);
  list.Add(0x10, {0x14});
  Put32(list.bytes(), kProcessNextOffset, 0x7FFFFFF0);
  EXPECT_TRUE(ThreadsOfProcess(list.bytes(), 0x20, kThreadRecords).empty());
  EXPECT_TRUE(ThreadsOfProcess({}, 0x20, kThreadRecords).empty());
  const std::vector<uint8_t> short_record(kProcessId + 3, 0);
  EXPECT_TRUE(ThreadsOfProcess(short_record, 0, kThreadRecords).empty());
}

}  // namespace
}  // namespace qor
