// Puts text on the system clipboard (Windows only).
#pragma once

#include <string_view>

namespace qor {

// Replaces the clipboard's contents with `text` as CF_TEXT. False when the
// clipboard stays as it was (another program holds it open, or no memory).
bool CopyTextToClipboard(std::string_view text);

}  // namespace qor
