#include "crash/debuginfo/file_stamp.h"

#include <chrono>
#include <filesystem>
#include <system_error>

namespace qor {

bool FileStamp(const std::string& path, uint32_t& stamp) {
  using namespace std::chrono;
  std::error_code error;
  const auto written = std::filesystem::last_write_time(path, error);
  if (error) return false;
  const auto utc = file_clock::to_sys(written);
  const auto day = floor<days>(utc);
  const year_month_day date{day};
  const hh_mm_ss<seconds> time{floor<seconds>(utc - day)};
  const int year = static_cast<int>(date.year());
  if (year < 1980 || year > 2107) return false;
  const uint32_t dos_date = static_cast<uint32_t>(year - 1980) << 9 |
                            static_cast<unsigned>(date.month()) << 5 |
                            static_cast<unsigned>(date.day());
  const uint32_t dos_time = static_cast<uint32_t>(time.hours().count()) << 11 |
                            static_cast<uint32_t>(time.minutes().count()) << 5 |
                            static_cast<uint32_t>(time.seconds().count()) / 2;
  stamp = dos_date | dos_time << 16;
  return true;
}

}  // namespace qor
