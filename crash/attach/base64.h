// Base64 (RFC 4648 alphabet, "=" padding, no line breaks) for mail bodies
// and attachments.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace qor {

// 4 * ceil(size / 3) characters; empty for no input.
std::string Base64Encode(const uint8_t* data, size_t size);

// The same for the bytes of a text.
std::string Base64EncodeText(std::string_view text);

}  // namespace qor
