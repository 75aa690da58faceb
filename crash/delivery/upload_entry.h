// One report waiting in the upload queue: the form parts it is sent with,
// stored in a file that shows when it was cut short or damaged.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "crash/delivery/multipart_form.h"

namespace qor {

struct UploadEntry {
  std::vector<FormPart> parts;
};

// The file's bytes: a magic, the part count, each part's four texts with
// their lengths, and a CRC-32 of all that.
std::string EncodeUploadEntry(const UploadEntry& entry);

// Nullopt when `bytes` is not exactly one whole, undamaged entry.
std::optional<UploadEntry> DecodeUploadEntry(std::string_view bytes);

}  // namespace qor
