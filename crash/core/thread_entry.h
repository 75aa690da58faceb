// The thread registry's memory: the shared block and the thread entries.
// Every module of the process that carries the core reads and writes them,
// including modules built from older releases, so the 32-bit layouts stay
// byte-exact. Walking the entries never trusts a link: another module may
// have left the list looping or pointing into memory that is gone.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "crash/modules/memory_reader.h"

namespace qor {

// The named mapping "qorExceptThreadNameBuf" + process id.
struct ThreadNameBlock {
  uint32_t WatchdogMutex;  // owned by the freeze watchdog while it probes
  uint32_t ListMutex;      // guards the entry list
  uint32_t ListHead;       // newest entry, or 0
  uint32_t UserCount;      // modules that joined; changed with interlocked operations
  uint32_t Mapping;        // the mapping's handle, closed by the last user
};
static_assert(sizeof(ThreadNameBlock) == 20);
static_assert(offsetof(ThreadNameBlock, ListHead) == 8);
static_assert(offsetof(ThreadNameBlock, UserCount) == 12);
static_assert(offsetof(ThreadNameBlock, Mapping) == 16);

// One thread, in the process's local heap. The block's allocated size says
// which fields exist: 12 bytes hold the first three, more than 12 the next
// three, more than 24 the handle. Texts are NUL-terminated local-heap
// copies; 0 stands for an empty text.
struct ThreadInfoEntry {
  uint32_t ThreadId;
  uint32_t Name;
  uint32_t Next;            // the next older entry, or 0
  uint32_t ClassName;       // class of the thread object
  uint32_t CreatorAddress;  // code address that created the thread, or 0
  uint32_t CreatorThread;   // id of the thread that created it, or 0
  uint32_t Handle;          // SYNCHRONIZE | THREAD_QUERY_INFORMATION, or 0
};
static_assert(sizeof(ThreadInfoEntry) == 28);
static_assert(offsetof(ThreadInfoEntry, Next) == 8);
static_assert(offsetof(ThreadInfoEntry, ClassName) == 12);
static_assert(offsetof(ThreadInfoEntry, CreatorThread) == 20);
static_assert(offsetof(ThreadInfoEntry, Handle) == 24);

inline constexpr uint32_t kShortEntrySize = 12;
inline constexpr uint32_t kCreatorEntrySize = 24;
inline constexpr uint32_t kEntrySize = 28;

inline bool EntryHasCreator(uint32_t size) { return size > kShortEntrySize; }
inline bool EntryHasHandle(uint32_t size) { return size > kCreatorEntrySize; }

// The name that hides a thread from reports (the core's own threads).
inline constexpr char kHiddenThreadName[] = "-";

// Entries a walk visits at most: more than a 32-bit process can have
// threads, and the end of a walk through a list that loops.
inline constexpr uint32_t kMaxListWalk = 16384;

// Texts of entries are read up to this many characters.
inline constexpr uint32_t kMaxEntryText = 256;

// How a walk reaches the entries.
class EntryReader {
 public:
  virtual ~EntryReader() = default;
  // Reads the entry at `address` and its allocated size (at least 12);
  // fields beyond the size read as 0. False when `address` is no entry the
  // walk may use (unreadable, or not a block of the local heap).
  virtual bool ReadEntry(uint32_t address, ThreadInfoEntry& entry, uint32_t& size) const = 0;
};

// Where an entry was found: its address, the address of the link that
// points at it (the block's head field or the previous entry's Next), its
// contents and size.
struct EntryPlace {
  uint32_t address = 0;
  uint32_t link = 0;
  ThreadInfoEntry entry{};
  uint32_t size = 0;
};

// Walks the list that starts at the link field `head_link` holding `head`
// and stops at the first entry for which `wanted` is true, filling
// `place`. False when the list ends first: at a 0 link, an entry that
// cannot be read, or after kMaxListWalk entries.
template <typename Wanted>
bool FindEntry(const EntryReader& reader, uint32_t head_link, uint32_t head, Wanted wanted,
               EntryPlace& place) {
  uint32_t link = head_link, address = head;
  for (uint32_t i = 0; i < kMaxListWalk && address != 0; ++i) {
    ThreadInfoEntry entry{};
    uint32_t size = 0;
    if (!reader.ReadEntry(address, entry, size)) return false;
    if (wanted(entry, size)) {
      place = EntryPlace{address, link, entry, size};
      return true;
    }
    link = address + offsetof(ThreadInfoEntry, Next);
    address = entry.Next;
  }
  return false;
}

// The NUL-terminated text at `address`, at most `limit` characters; empty
// for address 0 or unreadable memory.
std::string ReadEntryText(const MemoryReader& memory, uint32_t address,
                          uint32_t limit = kMaxEntryText);

// The caption of thread `id` for reports: its name and id in hex; "thread"
// and the id, with the class name when there is one, for a thread without a
// name or one that is not `found`; empty for a hidden thread ("-") unless
// `force`.
std::string ComposeThreadCaption(uint32_t id, bool found, const std::string& name,
                                 const std::string& class_name, bool force);

}  // namespace qor
