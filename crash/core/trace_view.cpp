#include "crash/core/trace_view.h"

#include <algorithm>
#include <cstring>

namespace qor {

size_t CopyTraceToView(std::string_view report, int32_t max_length, uint8_t* view,
                       size_t view_size) {
  if (max_length < 1 || view == nullptr) return 0;
  const size_t room = std::min(static_cast<size_t>(max_length), view_size);
  if (room == 0) return 0;
  const size_t length = std::min(report.size(), room - 1);
  std::memcpy(view, report.data(), length);
  view[length] = 0;
  return length + 1;
}

}  // namespace qor
