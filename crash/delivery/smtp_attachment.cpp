#include <fstream>

#include "crash/attach/base64.h"
#include "crash/delivery/mail_message.h"
#include "crash/delivery/smtp_delivery.h"

namespace qor {
namespace {

// 57 bytes give one base64 line of 76 characters.
constexpr size_t kBytesPerLine = 57;
// Lines are collected into sends of about 1 KB rather than one send each.
constexpr size_t kBatchBytes = 1024 - 78;

}  // namespace

bool SmtpSendAttachment(NetSocket& socket, const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  if (!file) return false;
  file.seekg(0, std::ios::end);
  const std::streamoff size = file.tellg();
  file.seekg(0, std::ios::beg);
  if (size < 0 || !file) return false;
  if (size == 0) return true;

  std::string batch = AttachmentPartHead(path);
  size_t lines = 0;
  uint8_t piece[kBytesPerLine];
  for (std::streamoff left = size; left > 0;) {
    const size_t want = left < static_cast<std::streamoff>(kBytesPerLine)
                            ? static_cast<size_t>(left)
                            : kBytesPerLine;
    file.read(reinterpret_cast<char*>(piece), static_cast<std::streamsize>(want));
    if (static_cast<size_t>(file.gcount()) != want) {
      // The file shrank or failed: end the open line so that the next part
      // still begins on a line of its own.
      if (lines > 0) SmtpSendText(socket, batch + "\r\n");
      return false;
    }
    batch += Base64Encode(piece, want) + "\r\n";
    ++lines;
    left -= static_cast<std::streamoff>(want);
    if (batch.size() >= kBatchBytes || left == 0) {
      if (!SmtpSendText(socket, batch)) return false;
      batch.clear();
    }
  }
  return true;
}

}  // namespace qor
