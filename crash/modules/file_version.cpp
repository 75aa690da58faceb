#include "crash/modules/file_version.h"

namespace qor {

std::string VersionText(uint64_t version) {
  std::string text;
  for (int shift = 48; shift >= 0; shift -= 16) {
    text += std::to_string((version >> shift) & 0xffff);
    if (shift > 0) text += '.';
  }
  return text;
}

}  // namespace qor
