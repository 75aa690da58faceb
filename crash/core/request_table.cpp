#include "crash/core/request_table.h"

namespace qor {

size_t RequestTable::Add(uintptr_t server_support, const void* copy, uint32_t connection,
                         const void* server) {
  if (count_ == entries_.size()) {
    entries_.resize(entries_.empty() ? kFirstCapacity : entries_.size() * 2);
  }
  entries_[count_] = {server_support, false, copy, connection, server};
  return count_++;
}

TWebRequest* RequestTable::FindConnection(uint32_t connection) {
  for (size_t i = 0; i < count_; ++i) {
    if (entries_[i].Connection == connection) return &entries_[i];
  }
  return nullptr;
}

TWebRequest* RequestTable::FindCopy(const void* copy, size_t hint) {
  if (hint < count_ && entries_[hint].Copy == copy) return &entries_[hint];
  for (size_t i = 0; i < count_; ++i) {
    if (entries_[i].Copy == copy) return &entries_[i];
  }
  return nullptr;
}

bool RequestTable::Remove(const void* copy, size_t hint) {
  TWebRequest* entry = FindCopy(copy, hint);
  if (entry == nullptr) return false;
  const bool header_sent = entry->HeaderSent;
  *entry = entries_[count_ - 1];
  entries_[--count_] = {};
  return header_sent;
}

}  // namespace qor
