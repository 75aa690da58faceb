// The SMTP password of the settings is stored enciphered in two layers of
// counter mode: the inner one keyed with the SMTP user name, the outer one
// with the SMTP server name, each with its own fixed initial counter.
#pragma once

#include <string>
#include <string_view>

namespace qor {

// The plain password, or an empty text when `stored` is empty or when the
// user or server name is empty (an empty name cannot key the cipher, and a
// password deciphered without its key would only be garbage).
std::string DecryptSmtpPassword(std::string_view stored, std::string_view user,
                                std::string_view server);

// Writes the stored form of `password` to `stored`. Each layer is padded on
// its own, so that deciphering the outer layer never mistakes the last byte
// of the inner ciphertext for padding. False, with `stored` untouched, when
// the user or server name is empty.
bool EncryptSmtpPassword(std::string_view password, std::string_view user,
                         std::string_view server, std::string& stored);

}  // namespace qor
