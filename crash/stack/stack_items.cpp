#include "crash/stack/stack_items.h"

#include "crash/stack/stack_tables.h"

namespace qor {
namespace {

// Removes entry `index` of `list`, keeping Best on the same entry.
void EraseEntry(TStackLinkList& list, int32_t index) {
  list.Entries.erase(list.Entries.begin() + index);
  if (list.Best == index) {
    list.Best = -1;
  } else if (list.Best > index) {
    --list.Best;
  }
}

}  // namespace

void AddLink(StackWalk& walk, int32_t item, int list, const TStackLink& link) {
  walk.items[item].Links[list].Entries.push_back(link);
}

void DiscardItem(StackWalk& walk, int32_t item) {
  if (item < 0 || walk.items[item].Sure) return;
  TStackItem& gone = walk.items[item];
  gone.Invalid = true;
  for (int list = 0; list < 2; ++list) {
    for (const TStackLink& link : gone.Links[list].Entries) {
      if (link.Other < 0) continue;
      TStackLinkList& opposite = walk.items[link.Other].Links[1 - list];
      for (auto i = static_cast<int32_t>(opposite.Entries.size()) - 1; i >= 0; --i) {
        const TStackLink& back = opposite.Entries[i];
        if (back.Other == item && back.Function == link.Function) EraseEntry(opposite, i);
      }
    }
  }
  for (TStackLinkList& list : gone.Links) list = TStackLinkList{};
}

void RejectFunction(StackWalk& walk, int32_t function) {
  Tables().Functions[function].Rejected = true;
  for (TStackItem& item : walk.items) {
    for (TStackLinkList& list : item.Links) {
      for (auto i = static_cast<int32_t>(list.Entries.size()) - 1; i >= 0; --i) {
        if (list.Entries[i].Function == function) EraseEntry(list, i);
      }
    }
  }
}

}  // namespace qor
