#include "crash/attach/smtp_password.h"

#include <cstdint>
#include <utility>

#include "crash/attach/blowfish_modes.h"

namespace qor {
namespace {

struct Counter {
  uint32_t high;
  uint32_t low;
};

// Fixed initial counters of the two layers; the settings tool and the
// library must agree on them.
constexpr Counter kServerLayer = {0x6A09E667u, 0xBB67AE85u};
constexpr Counter kUserLayer = {0x3C6EF372u, 0xA54FF53Au};

}  // namespace

std::string DecryptSmtpPassword(std::string_view stored, std::string_view user,
                                std::string_view server) {
  if (stored.empty() || user.empty() || server.empty()) return {};
  std::string text(stored);
  if (!DecryptText(text, server, kServerLayer.high, kServerLayer.low) ||
      !DecryptText(text, user, kUserLayer.high, kUserLayer.low)) {
    return {};
  }
  return text;
}

bool EncryptSmtpPassword(std::string_view password, std::string_view user,
                         std::string_view server, std::string& stored) {
  if (user.empty() || server.empty()) return false;
  std::string text(password);
  if (!EncryptText(text, user, kUserLayer.high, kUserLayer.low) ||
      !EncryptText(text, server, kServerLayer.high, kServerLayer.low)) {
    return false;
  }
  stored = std::move(text);
  return true;
}

}  // namespace qor
