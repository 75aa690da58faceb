#include "crash/core/thread_entries_win32.h"

#include <algorithm>
#include <cstring>

#include "crash/core/win_handle.h"
#include "crash/modules/read_probe.h"
#include "crash/modules/safe_read.h"

namespace qor {
namespace {

// A heap block's header lies right before it; both must be readable before
// the heap is asked about the block.
constexpr uint32_t kHeapHeader = 8;

void* Pointer(uint32_t address) { return reinterpret_cast<void*>(uintptr_t{address}); }
uint32_t Address(const void* pointer) {
  return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(pointer));
}

bool Readable(uint32_t address) {
  MemoryRegion region;
  return LiveMemory().QueryRegion(address, region) && IsReadableRegion(region);
}

// True when `address` is the start of a live block of the process heap (the
// local heap): only such blocks are read directly, written or freed.
bool IsHeapBlock(uint32_t address) {
  return address > kHeapHeader && Readable(address - kHeapHeader) && Readable(address) &&
         HeapValidate(GetProcessHeap(), 0, Pointer(address));
}

void FreeText(uint32_t text) {
  if (text != 0 && IsHeapBlock(text)) LocalFree(Pointer(text));
}

// A local-heap copy of `text`; 0 for an empty text or when memory is short.
uint32_t CopyText(std::string_view text) {
  if (text.empty()) return 0;
  void* copy = LocalAlloc(LMEM_FIXED, text.size() + 1);
  if (copy == nullptr) return 0;
  std::memcpy(copy, text.data(), text.size());
  static_cast<char*>(copy)[text.size()] = '\0';
  return Address(copy);
}

uint32_t& Link(uint32_t link) { return *static_cast<uint32_t*>(Pointer(link)); }

EntryContents Contents(const EntryPlace& place) {
  EntryContents contents;
  contents.found = true;
  const LiveMemory memory;
  contents.name = ReadEntryText(memory, place.entry.Name);
  if (EntryHasCreator(place.size)) {
    contents.has_creator = true;
    contents.class_name = ReadEntryText(memory, place.entry.ClassName);
    contents.creator_address = place.entry.CreatorAddress;
    contents.creator_thread = place.entry.CreatorThread;
  }
  if (EntryHasHandle(place.size)) contents.handle = Pointer(place.entry.Handle);
  return contents;
}

// Unlinks the entry at `place` and frees it with its texts.
EntryContents Take(const EntryPlace& place) {
  EntryContents contents = Contents(place);
  Link(place.link) = place.entry.Next;
  FreeText(place.entry.Name);
  if (EntryHasCreator(place.size)) FreeText(place.entry.ClassName);
  LocalFree(Pointer(place.address));
  return contents;
}

uint32_t HeadLink(const ThreadNameBlock& block) {
  return Address(&block) + offsetof(ThreadNameBlock, ListHead);
}

template <typename Wanted>
bool Find(const ThreadNameBlock& block, Wanted wanted, EntryPlace& place) {
  return FindEntry(LiveEntryReader(), HeadLink(block), block.ListHead, wanted, place);
}

auto OfThread(uint32_t id) {
  return [id](const ThreadInfoEntry& entry, uint32_t) { return entry.ThreadId == id; };
}

}  // namespace

ListLock::ListLock(const ThreadNameBlock& block, DWORD timeout)
    : mutex_(Pointer(block.ListMutex)) {
  const DWORD result = WaitForSingleObject(mutex_, timeout);
  held_ = result == WAIT_OBJECT_0 || result == WAIT_ABANDONED;
}

ListLock::~ListLock() {
  if (held_) ReleaseMutex(mutex_);
}

bool LiveEntryReader::ReadEntry(uint32_t address, ThreadInfoEntry& entry, uint32_t& size) const {
  if (!IsHeapBlock(address)) return false;
  const SIZE_T allocated = LocalSize(Pointer(address));
  if (allocated < kShortEntrySize) return false;
  entry = ThreadInfoEntry{};
  std::memcpy(&entry, Pointer(address), std::min<SIZE_T>(allocated, sizeof entry));
  size = static_cast<uint32_t>(allocated);
  return true;
}

EntryContents PeekEntry(const ThreadNameBlock& block, uint32_t id) {
  EntryPlace place;
  if (!Find(block, OfThread(id), place)) return {};
  EntryContents contents = Contents(place);
  contents.handle = nullptr;  // stays with the entry
  return contents;
}

EntryContents TakeEntry(ThreadNameBlock& block, uint32_t id) {
  EntryPlace place;
  return Find(block, OfThread(id), place) ? Take(place) : EntryContents{};
}

void PushEntry(ThreadNameBlock& block, uint32_t id, std::string_view name,
               std::string_view class_name, uint32_t creator_address, uint32_t creator_thread,
               HANDLE handle) {
  OwnedHandle owned(handle);
  OwnedLocal memory(LocalAlloc(LPTR, kEntrySize));
  OwnedLocal name_copy(Pointer(CopyText(name)));
  OwnedLocal class_copy(Pointer(CopyText(class_name)));
  if (!memory.get() || (!name.empty() && !name_copy.get()) ||
      (!class_name.empty() && !class_copy.get())) {
    return;
  }
  auto* entry = static_cast<ThreadInfoEntry*>(memory.get());
  *entry = ThreadInfoEntry{id,
                           Address(name_copy.release()),
                           block.ListHead,
                           Address(class_copy.release()),
                           creator_address,
                           creator_thread,
                           Address(owned.release())};
  block.ListHead = Address(memory.release());
}

void RemoveOneEnded(ThreadNameBlock& block) {
  EntryPlace place;
  const auto ended = [](const ThreadInfoEntry& entry, uint32_t size) {
    return EntryHasHandle(size) && entry.Handle != 0 && ThreadEnded(Pointer(entry.Handle));
  };
  if (Find(block, ended, place)) CloseHandle(Take(place).handle);
}

void RemoveAllEntries(ThreadNameBlock& block) {
  EntryPlace place;
  const auto any = [](const ThreadInfoEntry&, uint32_t) { return true; };
  for (uint32_t i = 0; i < kMaxListWalk && Find(block, any, place); ++i) {
    const OwnedHandle handle(Take(place).handle);
  }
}

uint32_t OldestEntryThread(const ThreadNameBlock& block) {
  uint32_t oldest = 0;
  EntryPlace place;
  // Visits every entry and keeps the last one seen.
  Find(block,
       [&oldest](const ThreadInfoEntry& entry, uint32_t) {
         oldest = entry.ThreadId;
         return false;
       },
       place);
  return oldest;
}

bool ThreadEnded(HANDLE handle) { return WaitForSingleObject(handle, 0) == WAIT_OBJECT_0; }

}  // namespace qor
