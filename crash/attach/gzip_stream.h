// Whole gzip streams (RFC 1952) over zlib, for HTTP bodies sent with
// "Content-Encoding: gzip".
#pragma once

#include <string>
#include <string_view>

namespace qor {

// The gzip stream of `data` at zlib's default level; empty when zlib fails.
std::string GzipCompress(std::string_view data);

}  // namespace qor
