#include "crash/core/thread_entry.h"

#include <gtest/gtest.h>

#include <map>

#include "crash/modules/testing/mapped_memory.h"

namespace qor {
namespace {

constexpr uint32_t kHeadLink = 0x00500008;  // the block's head field

// Entries at chosen addresses, with their allocated sizes; any other
// address is not an entry.
class FakeEntries : public EntryReader {
 public:
  void Put(uint32_t address, uint32_t id, uint32_t next, uint32_t size = kEntrySize) {
    entries_[address] = {ThreadInfoEntry{id, 0, next, 0, 0, 0, 0}, size};
  }
  bool ReadEntry(uint32_t address, ThreadInfoEntry& entry, uint32_t& size) const override {
    ++reads;
    const auto it = entries_.find(address);
    if (it == entries_.end()) return false;
    entry = it->second.first;
    size = it->second.second;
    return true;
  }
  mutable uint32_t reads = 0;

 private:
  std::map<uint32_t, std::pair<ThreadInfoEntry, uint32_t>> entries_;
};

auto OfThread(uint32_t id) {
  return [id](const ThreadInfoEntry& entry, uint32_t) { return entry.ThreadId == id; };
}

TEST(FindEntry, FindsAnEntryAndTheLinkThatLeadsToIt) {
  FakeEntries list;
  list.Put(0x1000, 11, 0x2000);
  list.Put(0x2000, 22, 0x3000, kShortEntrySize);
  list.Put(0x3000, 33, 0);
  EntryPlace place;
  ASSERT_TRUE(FindEntry(list, kHeadLink, 0x1000, OfThread(11), place));
  EXPECT_EQ(place.address, 0x1000u);
  EXPECT_EQ(place.link, kHeadLink);
  ASSERT_TRUE(FindEntry(list, kHeadLink, 0x1000, OfThread(33), place));
  EXPECT_EQ(place.address, 0x3000u);
  EXPECT_EQ(place.link, 0x2000u + 8) << "the Next field of the entry before";
  ASSERT_TRUE(FindEntry(list, kHeadLink, 0x1000, OfThread(22), place));
  EXPECT_EQ(place.size, kShortEntrySize);
  EXPECT_FALSE(EntryHasCreator(place.size));
  EXPECT_FALSE(FindEntry(list, kHeadLink, 0x1000, OfThread(44), place));
  EXPECT_FALSE(FindEntry(list, kHeadLink, 0, OfThread(11), place)) << "an empty list";
}

TEST(FindEntry, ALoopInTheLinksEndsAfterTheBound) {
  FakeEntries list;
  list.Put(0x1000, 11, 0x2000);
  list.Put(0x2000, 22, 0x1000);
  EntryPlace place;
  EXPECT_FALSE(FindEntry(list, kHeadLink, 0x1000, OfThread(99), place));
  EXPECT_EQ(list.reads, kMaxListWalk);
  // Entries before the loop are still found.
  EXPECT_TRUE(FindEntry(list, kHeadLink, 0x1000, OfThread(22), place));
}

TEST(FindEntry, ALinkToWhatIsNoEntryEndsTheList) {
  FakeEntries list;
  list.Put(0x1000, 11, 0xDEAD0000);
  EntryPlace place;
  EXPECT_FALSE(FindEntry(list, kHeadLink, 0x1000, OfThread(99), place));
  EXPECT_EQ(list.reads, 2u);
}

TEST(ReadEntryText, BoundedAndSafe) {
  MappedMemory memory;
  const std::string text = "worker thread";
  memory.Map(0x1000, std::vector<uint8_t>(text.begin(), text.end() + 1));
  EXPECT_EQ(ReadEntryText(memory, 0x1000), text);
  EXPECT_EQ(ReadEntryText(memory, 0x1000, 6), "worker");
  EXPECT_EQ(ReadEntryText(memory, 0), "");
  EXPECT_EQ(ReadEntryText(memory, 0x9000), "") << "unreadable";
  // No terminator before the memory ends: what is there, and no more.
  memory.Map(0x2000, std::vector<uint8_t>(37, 'x'));
  EXPECT_EQ(ReadEntryText(memory, 0x2000), std::string(37, 'x'));
  memory.Map(0x3000, std::vector<uint8_t>(4000, 'y'));
  EXPECT_EQ(ReadEntryText(memory, 0x3000).size(), kMaxEntryText);
}

TEST(ComposeThreadCaption, NamedUnnamedHiddenAndClassNamed) {
  EXPECT_EQ(ComposeThreadCaption(0x1A8, true, "main thread", "", false), "main thread ($1a8)");
  EXPECT_EQ(ComposeThreadCaption(0x1A8, true, "main thread", "TWorker", false),
            "main thread ($1a8)");
  EXPECT_EQ(ComposeThreadCaption(0x2F0, false, "", "", false), "thread $2f0");
  EXPECT_EQ(ComposeThreadCaption(0x2F0, true, "", "", false), "thread $2f0");
  EXPECT_EQ(ComposeThreadCaption(0x2F0, true, "-", "", false), "") << "hidden";
  EXPECT_EQ(ComposeThreadCaption(0x2F0, true, "-", "", true), "thread $2f0") << "forced";
  EXPECT_EQ(ComposeThreadCaption(0x314, true, "", "app.TScanner", false),
            "thread $314 (app.TScanner)");
  EXPECT_EQ(ComposeThreadCaption(0x314, true, "-", "app.TScanner", true),
            "thread $314 (app.TScanner)");
}

}  // namespace
}  // namespace qor
