// The recipients, files and flags of a Simple MAPI message for a report.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "crash/delivery/mail_address.h"

namespace qor {

inline constexpr uint32_t kMapiLogonUi = 0x1;
inline constexpr uint32_t kMapiDialog = 0x8;

struct MapiRequest {
  std::vector<MailName> recipients;  // in order, from the normalised list
  std::vector<std::string> files;    // the tidied "|" list; not checked
  uint32_t flags = 0;
};

// Flags 0 (no dialog) only when sending silently to someone; otherwise the
// user gets the mail program's composition window.
MapiRequest PrepareMapiRequest(std::string_view recipients, std::string_view attachments,
                               bool silent);

}  // namespace qor
