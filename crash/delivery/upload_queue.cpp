#include "crash/delivery/upload_queue.h"

#include <algorithm>
#include <cstdio>

#include "crash/delivery/upload_folder.h"

namespace qor {
namespace {

constexpr char kEntrySuffix[] = ".upload";
constexpr char kStateFile[] = "upload.state";
constexpr char kTemporarySuffix[] = ".tmp";
constexpr size_t kNumberDigits = 16;

bool EndsWith(const std::string& text, std::string_view end) {
  return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// "0000000000000007.upload" gives 7; nullopt for names not made here.
std::optional<uint64_t> EntryNumber(const std::string& name) {
  if (name.size() != kNumberDigits + sizeof kEntrySuffix - 1 || !EndsWith(name, kEntrySuffix)) {
    return std::nullopt;
  }
  uint64_t number = 0;
  for (size_t i = 0; i < kNumberDigits; ++i) {
    const char c = name[i];
    const int digit = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
    if (digit < 0) return std::nullopt;
    number = number << 4 | static_cast<uint64_t>(digit);
  }
  return number;
}

std::string EntryName(uint64_t number) {
  char digits[kNumberDigits + 1];
  std::snprintf(digits, sizeof digits, "%016llx", static_cast<unsigned long long>(number));
  return digits + std::string(kEntrySuffix);
}

}  // namespace

UploadQueue::UploadQueue(std::string folder, uint32_t max_reports, uint64_t max_bytes)
    : folder_(std::move(folder)), max_reports_(max_reports), max_bytes_(max_bytes) {}

std::vector<UploadQueue::Stored> UploadQueue::List() const {
  std::vector<Stored> entries;
  if (folder_.empty()) return entries;
  for (const FolderFile& file : ListFolderFiles(folder_)) {
    if (EndsWith(file.name, kTemporarySuffix)) {
      RemoveFile(PathInFolder(folder_, file.name));
    } else if (const auto number = EntryNumber(file.name)) {
      entries.push_back({*number, file.name, file.size});
    }
  }
  std::sort(entries.begin(), entries.end(),
            [](const Stored& a, const Stored& b) { return a.number < b.number; });
  return entries;
}

void UploadQueue::MakeRoom(std::vector<Stored>& entries, uint32_t room_count,
                           uint64_t room_bytes) const {
  uint64_t bytes = room_bytes;
  for (const Stored& entry : entries) bytes += entry.size;
  size_t drop = 0;
  while (drop < entries.size() &&
         (entries.size() - drop + room_count > max_reports_ || bytes > max_bytes_)) {
    RemoveFile(PathInFolder(folder_, entries[drop].name));
    bytes -= entries[drop].size;
    ++drop;
  }
  entries.erase(entries.begin(), entries.begin() + static_cast<ptrdiff_t>(drop));
}

std::vector<std::string> UploadQueue::Waiting() const {
  std::vector<Stored> entries = List();
  MakeRoom(entries, 0, 0);
  std::vector<std::string> names;
  for (const Stored& entry : entries) names.push_back(entry.name);
  return names;
}

std::optional<std::string> UploadQueue::Add(const UploadEntry& entry) const {
  const std::string bytes = EncodeUploadEntry(entry);
  if (folder_.empty() || max_reports_ == 0 || bytes.size() > max_bytes_ || !MakeFolder(folder_)) {
    return std::nullopt;
  }
  std::vector<Stored> entries = List();
  const uint64_t number = entries.empty() ? 1 : entries.back().number + 1;
  // Write first and make room after, so that a failed write loses nothing.
  const std::string name = EntryName(number);
  if (!WriteFileAtomically(PathInFolder(folder_, name), bytes)) return std::nullopt;
  MakeRoom(entries, 1, bytes.size());
  return name;
}

std::optional<UploadEntry> UploadQueue::Read(const std::string& name) const {
  if (folder_.empty()) return std::nullopt;
  const std::optional<std::string> bytes = ReadWholeFile(PathInFolder(folder_, name), max_bytes_);
  if (!bytes) return std::nullopt;
  return DecodeUploadEntry(*bytes);
}

void UploadQueue::Remove(const std::string& name) const {
  RemoveFile(PathInFolder(folder_, name));
}

UploadQueueState UploadQueue::LoadState() const {
  UploadQueueState state;
  if (folder_.empty()) return state;
  const std::optional<std::string> text = ReadWholeFile(PathInFolder(folder_, kStateFile), 100);
  long long last = 0;
  long long not_before = 0;
  char end = 0;
  if (text && std::sscanf(text->c_str(), "QORUPST1 %lld %lld%c", &last, &not_before, &end) == 3 &&
      end == '\n' && last >= 0 && not_before >= 0) {
    state.last_attempt = last;
    state.not_before = not_before;
  }
  return state;
}

bool UploadQueue::SaveState(const UploadQueueState& state) const {
  char text[64];
  std::snprintf(text, sizeof text, "QORUPST1 %lld %lld\n",
                static_cast<long long>(state.last_attempt),
                static_cast<long long>(state.not_before));
  return !folder_.empty() && MakeFolder(folder_) && WriteFileAtomically(PathInFolder(folder_, kStateFile), text);
}

}  // namespace qor
