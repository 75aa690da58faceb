#include "crash/core/thread_entry.h"

#include <algorithm>

#include "crash/attach/number_text.h"

namespace qor {

std::string ReadEntryText(const MemoryReader& memory, uint32_t address, uint32_t limit) {
  std::string text;
  // Small steps, so that a text ending just before unreadable memory is
  // still read whole.
  constexpr uint32_t kStep = 16;
  char chunk[kStep];
  while (address != 0 && text.size() < limit) {
    const uint32_t want = std::min<uint32_t>(kStep, limit - static_cast<uint32_t>(text.size()));
    const uint32_t got = memory.Read(address, chunk, want);
    const char* end = std::find(chunk, chunk + got, '\0');
    text.append(chunk, static_cast<size_t>(end - chunk));
    if (end != chunk + got || got < want) break;
    address += got;
  }
  return text;
}

std::string ComposeThreadCaption(uint32_t id, bool found, const std::string& name,
                                 const std::string& class_name, bool force) {
  if (found && !force && name == kHiddenThreadName) return {};
  if (found && !name.empty() && name != kHiddenThreadName) {
    return name + " (" + FormatHex(id) + ")";
  }
  std::string caption = "thread " + FormatHex(id);
  if (found && !class_name.empty()) caption += " (" + class_name + ")";
  return caption;
}

}  // namespace qor
