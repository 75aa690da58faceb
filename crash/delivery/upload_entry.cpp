#include "crash/delivery/upload_entry.h"

#include <cstdint>

#include "crash/attach/crc32.h"

namespace qor {
namespace {

constexpr std::string_view kMagic = "QORUPLD1";
// More parts than any report has; a larger count is damage.
constexpr uint32_t kMaxParts = 64;

void PutNumber(std::string& out, uint32_t value) {
  for (int shift = 0; shift < 32; shift += 8) out += static_cast<char>((value >> shift) & 0xff);
}

void PutText(std::string& out, const std::string& text) {
  PutNumber(out, static_cast<uint32_t>(text.size()));
  out += text;
}

uint32_t Checksum(std::string_view bytes) {
  return Crc32(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
}

// Reads from the front of `bytes`, failing for good once anything is short.
class Reader {
 public:
  explicit Reader(std::string_view bytes) : bytes_(bytes) {}

  bool Number(uint32_t& value) {
    if (bytes_.size() < 4) return false;
    value = 0;
    for (int i = 3; i >= 0; --i) value = value << 8 | static_cast<unsigned char>(bytes_[i]);
    bytes_.remove_prefix(4);
    return true;
  }

  bool Text(std::string& text) {
    uint32_t size = 0;
    if (!Number(size) || bytes_.size() < size) return false;
    text.assign(bytes_.substr(0, size));
    bytes_.remove_prefix(size);
    return true;
  }

  bool empty() const { return bytes_.empty(); }

 private:
  std::string_view bytes_;
};

}  // namespace

std::string EncodeUploadEntry(const UploadEntry& entry) {
  std::string out(kMagic);
  PutNumber(out, static_cast<uint32_t>(entry.parts.size()));
  for (const FormPart& part : entry.parts) {
    PutText(out, part.name);
    PutText(out, part.file_name);
    PutText(out, part.content_type);
    PutText(out, part.bytes);
  }
  PutNumber(out, Checksum(out));
  return out;
}

std::optional<UploadEntry> DecodeUploadEntry(std::string_view bytes) {
  if (bytes.size() < kMagic.size() + 8 || bytes.substr(0, kMagic.size()) != kMagic) {
    return std::nullopt;
  }
  const std::string_view body = bytes.substr(0, bytes.size() - 4);
  uint32_t stored = 0;
  if (!Reader(bytes.substr(body.size())).Number(stored) || stored != Checksum(body)) {
    return std::nullopt;
  }
  Reader reader(body.substr(kMagic.size()));
  uint32_t count = 0;
  if (!reader.Number(count) || count > kMaxParts) return std::nullopt;
  UploadEntry entry;
  entry.parts.resize(count);
  for (FormPart& part : entry.parts) {
    if (!reader.Text(part.name) || !reader.Text(part.file_name) ||
        !reader.Text(part.content_type) || !reader.Text(part.bytes)) {
      return std::nullopt;
    }
  }
  if (!reader.empty()) return std::nullopt;
  return entry;
}

}  // namespace qor
