#include "tools/qor_convert/pe_image_view.h"

#include <algorithm>
#include <cstring>

namespace qor::convert {

uint32_t PeImageView::Read(uint32_t address, void* buffer, uint32_t size) const {
  auto* out = static_cast<uint8_t*>(buffer);
  const std::vector<uint8_t>& file = pe_.bytes();
  const uint32_t headers = Get32(file, pe_.optional_offset() + 60);  // SizeOfHeaders
  uint32_t done = 0;
  while (done < size) {
    const uint32_t at = address + done;
    uint32_t take = 0;
    if (at < headers && at < file.size()) {
      take = std::min<uint32_t>({size - done, headers - at, static_cast<uint32_t>(file.size()) - at});
      std::memcpy(out + done, file.data() + at, take);
    } else {
      const auto section = std::find_if(pe_.sections().begin(), pe_.sections().end(), [&](const PeSection& s) {
        return at >= s.virtual_address && at - s.virtual_address < std::max(s.virtual_size, s.raw_size);
      });
      if (section == pe_.sections().end()) break;
      const uint32_t offset = at - section->virtual_address;
      take = std::min(size - done, std::max(section->virtual_size, section->raw_size) - offset);
      const std::span<const uint8_t> contents = pe_.Contents(*section);
      for (uint32_t i = 0; i < take; ++i) {
        out[done + i] = offset + i < contents.size() ? contents[offset + i] : 0;
      }
    }
    done += take;
  }
  return done;
}

}  // namespace qor::convert
