// Changing the thread registry's entry list in the local heap (Windows
// only). Every function here runs with the list mutex held. Entries come
// from every module that carries the core, so each one is checked to be a
// block of the process heap before it is read, written or freed; the list
// itself is walked through FindEntry, which ends at anything unreadable
// and after a bounded number of entries.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <string_view>

#include "crash/core/thread_entry.h"

namespace qor {

// Holds the list mutex of `block` for its lifetime when it could be had
// within `timeout` milliseconds.
class ListLock {
 public:
  ListLock(const ThreadNameBlock& block, DWORD timeout);
  ListLock(const ListLock&) = delete;
  ListLock& operator=(const ListLock&) = delete;
  ~ListLock();
  bool held() const { return held_; }

 private:
  HANDLE mutex_;
  bool held_ = false;
};

// Reads entries of the live list.
class LiveEntryReader : public EntryReader {
 public:
  bool ReadEntry(uint32_t address, ThreadInfoEntry& entry, uint32_t& size) const override;
};

// What an entry held, its texts read.
struct EntryContents {
  bool found = false;
  std::string name;
  std::string class_name;
  bool has_creator = false;
  uint32_t creator_address = 0;
  uint32_t creator_thread = 0;
  HANDLE handle = nullptr;  // owned by whoever took the entry
};

// The entry of thread `id`, read but left in the list.
EntryContents PeekEntry(const ThreadNameBlock& block, uint32_t id);

// Unlinks the entry of thread `id`, frees it and its texts and returns what
// it held; the handle is then the caller's to close.
EntryContents TakeEntry(ThreadNameBlock& block, uint32_t id);

// Pushes a new 28-byte entry at the head, with copies of the texts. Takes
// ownership of `handle`, which is closed when the entry cannot be made.
void PushEntry(ThreadNameBlock& block, uint32_t id, std::string_view name,
               std::string_view class_name, uint32_t creator_address, uint32_t creator_thread,
               HANDLE handle);

// Removes the first entry (from the head) whose thread handle is signalled:
// its thread has ended without unregistering.
void RemoveOneEnded(ThreadNameBlock& block);

// Frees every entry and closes their handles.
void RemoveAllEntries(ThreadNameBlock& block);

// The id of the oldest entry (the last in the list), or 0.
uint32_t OldestEntryThread(const ThreadNameBlock& block);

// True when `handle` is a thread handle whose thread has ended.
bool ThreadEnded(HANDLE handle);

}  // namespace qor
