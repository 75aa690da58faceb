#include "crash/debuginfo/file_day.h"

#include <chrono>
#include <filesystem>
#include <system_error>

namespace qor {

bool FileDay(const std::string& path, int64_t& day) {
  using namespace std::chrono;
  std::error_code error;
  const auto written = std::filesystem::last_write_time(path, error);
  if (error) return false;
  day = floor<days>(file_clock::to_sys(written)).time_since_epoch().count();
  return true;
}

}  // namespace qor
