#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <ctime>

#include "crash/delivery/mail_platform.h"

namespace qor {
namespace {

// Seconds between 1601-01-01 and 1970-01-01.
constexpr uint64_t kUnixEpochInFileTimeSeconds = 11644473600ull;

}  // namespace

std::string ComputerName() {
  char name[260] = {};
  if (gethostname(name, sizeof name - 1) != 0) return {};
  return name;
}

std::string ProgramPath() {
  char path[PATH_MAX];
  const ssize_t length = readlink("/proc/self/exe", path, sizeof path);
  return length <= 0 || length >= static_cast<ssize_t>(sizeof path) ? std::string()
                                                                     : std::string(path, length);
}

MailTime CurrentMailTime() {
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  tm utc{};
  gmtime_r(&now.tv_sec, &utc);
  MailTime time;
  time.year = static_cast<uint16_t>(utc.tm_year + 1900);
  time.month = static_cast<uint16_t>(utc.tm_mon + 1);
  time.day = static_cast<uint16_t>(utc.tm_mday);
  time.hour = static_cast<uint16_t>(utc.tm_hour);
  time.minute = static_cast<uint16_t>(utc.tm_min);
  time.second = static_cast<uint16_t>(utc.tm_sec);
  time.file_time = (static_cast<uint64_t>(now.tv_sec) + kUnixEpochInFileTimeSeconds) * 10000000 +
                   static_cast<uint64_t>(now.tv_nsec) / 100;
  return time;
}

bool FileExists(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0;
}

}  // namespace qor
