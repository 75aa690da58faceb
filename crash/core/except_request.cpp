#include "crash/core/except_request.h"

#include <algorithm>

namespace qor {

TExceptTimes ExceptTimes = {};

void ShiftExceptTimes(TExceptTimes& times, uint64_t now) {
  std::shift_right(times.begin(), times.end(), 1);
  times[0] = now;
}

}  // namespace qor
