#include "crash/delivery/upload_queue.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "crash/delivery/upload_folder.h"

namespace qor {
namespace {

namespace fs = std::filesystem;

// A fresh folder for each test, removed afterwards.
class UploadQueueTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = fs::temp_directory_path() /
              ("qor_upload_queue_" + std::string(::testing::UnitTest::GetInstance()
                                                     ->current_test_info()->name()));
    fs::remove_all(folder_);
  }
  void TearDown() override { fs::remove_all(folder_); }

  UploadQueue Queue(uint32_t reports, uint64_t bytes) const {
    return UploadQueue(folder_.string(), reports, bytes);
  }
  static UploadEntry Entry(const std::string& tag, size_t size = 10) {
    return UploadEntry{{{"guid", "", "", tag}, {"f", "d.dmp", "", std::string(size, 'x')}}};
  }
  std::string Tag(const UploadQueue& queue, const std::string& name) const {
    const auto entry = queue.Read(name);
    return entry ? entry->parts[0].bytes : "(unreadable)";
  }
  uint64_t FolderBytes() const {
    uint64_t bytes = 0;
    for (const FolderFile& file : ListFolderFiles(folder_.string())) bytes += file.size;
    return bytes;
  }

  fs::path folder_;
};

TEST_F(UploadQueueTest, EntriesComeBackOldestFirstAndWhole) {
  const UploadQueue queue = Queue(10, 1 << 20);
  EXPECT_TRUE(queue.Waiting().empty());  // no folder yet
  for (const char* tag : {"one", "two", "three"}) ASSERT_TRUE(queue.Add(Entry(tag)));
  const auto names = queue.Waiting();
  ASSERT_EQ(names.size(), 3u);
  EXPECT_EQ(Tag(queue, names[0]), "one");
  EXPECT_EQ(Tag(queue, names[2]), "three");
  const auto again = queue.Read(names[1]);
  ASSERT_TRUE(again);
  EXPECT_EQ(EncodeUploadEntry(*again), EncodeUploadEntry(Entry("two")));
  queue.Remove(names[0]);
  ASSERT_TRUE(queue.Add(Entry("four")));
  EXPECT_EQ(Tag(queue, queue.Waiting().back()), "four");
}

TEST_F(UploadQueueTest, CountAndByteCapsDropTheOldest) {
  const size_t entry_size = EncodeUploadEntry(Entry("a", 100)).size();
  const UploadQueue by_count = Queue(3, 1 << 20);
  for (int i = 0; i < 7; ++i) {
    ASSERT_TRUE(by_count.Add(Entry("c" + std::to_string(i), 100)));
    EXPECT_LE(ListFolderFiles(folder_.string()).size(), 3u);
  }
  auto names = by_count.Waiting();
  ASSERT_EQ(names.size(), 3u);
  EXPECT_EQ(Tag(by_count, names[0]), "c4");

  // Lowered caps apply to what is already there.
  const UploadQueue by_bytes = Queue(10, entry_size * 2 + 5);
  names = by_bytes.Waiting();
  ASSERT_EQ(names.size(), 2u);
  EXPECT_EQ(Tag(by_bytes, names[0]), "c5");
  ASSERT_TRUE(by_bytes.Add(Entry("c7", 100)));
  EXPECT_LE(FolderBytes(), entry_size * 2 + 5);
  // An entry larger than the byte cap is refused and drops nothing.
  EXPECT_FALSE(by_bytes.Add(Entry("huge", 1000)));
  names = by_bytes.Waiting();
  ASSERT_EQ(names.size(), 2u);
  EXPECT_EQ(Tag(by_bytes, names[1]), "c7");
  EXPECT_FALSE(Queue(0, 1 << 20).Add(Entry("none")));
}

TEST_F(UploadQueueTest, DamagedAndCutEntriesDoNotReadAndLeftoversGo) {
  const UploadQueue queue = Queue(10, 1 << 20);
  ASSERT_TRUE(queue.Add(Entry("good", 300)));
  const std::string bytes = EncodeUploadEntry(Entry("bad", 300));
  // Every shortening, and one flipped bit at each position, is refused.
  for (size_t size = 0; size < bytes.size(); ++size) {
    EXPECT_FALSE(DecodeUploadEntry(std::string_view(bytes).substr(0, size))) << size;
  }
  for (size_t at = 0; at < bytes.size(); at += 7) {
    std::string flipped = bytes;
    flipped[at] ^= 0x10;
    EXPECT_FALSE(DecodeUploadEntry(flipped)) << at;
  }
  EXPECT_FALSE(DecodeUploadEntry(bytes + "x"));
  std::ofstream(folder_ / "0000000000000002.upload", std::ios::binary)
      << bytes.substr(0, bytes.size() / 2);
  std::ofstream(folder_ / "0000000000000003.upload.tmp", std::ios::binary) << bytes;
  std::ofstream(folder_ / "notes.txt") << "not ours";
  const auto names = queue.Waiting();
  ASSERT_EQ(names.size(), 2u);
  EXPECT_EQ(Tag(queue, names[0]), "good");
  EXPECT_FALSE(queue.Read(names[1]));
  EXPECT_FALSE(fs::exists(folder_ / "0000000000000003.upload.tmp"));
  EXPECT_TRUE(fs::exists(folder_ / "notes.txt"));
}

TEST_F(UploadQueueTest, StateSurvivesAndDamageReadsAsNone) {
  const UploadQueue queue = Queue(10, 1 << 20);
  EXPECT_EQ(queue.LoadState().not_before, 0);
  ASSERT_TRUE(queue.SaveState({1700000000, 1700000120}));
  EXPECT_EQ(Queue(1, 1).LoadState().last_attempt, 1700000000);
  EXPECT_EQ(Queue(1, 1).LoadState().not_before, 1700000120);
  for (const char* text : {"QORUPST1 1700000000 17000", "QORUPST1 -1 5\n", "garbage\n", ""}) {
    std::ofstream(folder_ / "upload.state", std::ios::binary | std::ios::trunc) << text;
    EXPECT_EQ(queue.LoadState().not_before, 0) << text;
    EXPECT_EQ(queue.LoadState().last_attempt, 0) << text;
  }
}

TEST(UploadQueueWithoutFolder, StoresNothing) {
  const UploadQueue queue("", 10, 1 << 20);
  EXPECT_FALSE(queue.Add(UploadEntry{}));
  EXPECT_FALSE(queue.SaveState({1, 2}));
  EXPECT_FALSE(fs::exists("upload.state"));
  EXPECT_TRUE(queue.Waiting().empty());
}

}  // namespace
}  // namespace qor
