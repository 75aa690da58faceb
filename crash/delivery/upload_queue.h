// The folder of reports waiting for upload, one file each, and the upload's
// own state (when it last asked the server, and when it may ask again).
// The folder holds at most a given number of reports and bytes; to make
// room the oldest go. Files are written whole or not at all; a damaged or
// cut entry is dropped when read.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "crash/delivery/upload_entry.h"

namespace qor {

struct UploadQueueState {
  // Seconds since 1970 of the last request (0: none yet).
  int64_t last_attempt = 0;
  // No request before this time (the server's "Retry-After").
  int64_t not_before = 0;
};

class UploadQueue {
 public:
  // Without a folder nothing is stored: the queue stays empty, Add fails
  // and the state is always the default.
  UploadQueue(std::string folder, uint32_t max_reports, uint64_t max_bytes);

  // The waiting entries' names, oldest first, after removing what an
  // interrupted write left and the oldest entries beyond the caps.
  std::vector<std::string> Waiting() const;

  // Stores `entry` as the newest, dropping the oldest as needed, and gives
  // its name. Nullopt when the entry alone is larger than the caps allow
  // or cannot be written; the queue is then as it was.
  std::optional<std::string> Add(const UploadEntry& entry) const;

  // Nullopt when the entry is gone, damaged or larger than the byte cap.
  std::optional<UploadEntry> Read(const std::string& name) const;
  void Remove(const std::string& name) const;

  // A missing or damaged state reads as the default (no restriction).
  UploadQueueState LoadState() const;
  bool SaveState(const UploadQueueState& state) const;

 private:
  struct Stored {
    uint64_t number;
    std::string name;
    uint64_t size;
  };
  // The entries oldest first; removes temporary files on the way.
  std::vector<Stored> List() const;
  // Drops the oldest of `entries` until `room_count` more entries and
  // `room_bytes` more bytes fit within the caps.
  void MakeRoom(std::vector<Stored>& entries, uint32_t room_count, uint64_t room_bytes) const;

  std::string folder_;
  uint32_t max_reports_;
  uint64_t max_bytes_;
};

}  // namespace qor
