#include <windows.h>

#include "crash/delivery/mail_platform.h"

namespace qor {

std::string ComputerName() {
  char name[260];
  DWORD size = sizeof name;
  if (!GetComputerNameA(name, &size)) return {};
  return std::string(name, size);
}

std::string ProgramPath() {
  char path[MAX_PATH];
  const DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
  return length == 0 || length >= sizeof path ? std::string() : std::string(path, length);
}

MailTime CurrentMailTime() {
  SYSTEMTIME now;
  GetSystemTime(&now);
  FILETIME file_time{};
  SystemTimeToFileTime(&now, &file_time);
  MailTime time;
  time.year = now.wYear;
  time.month = now.wMonth;
  time.day = now.wDay;
  time.hour = now.wHour;
  time.minute = now.wMinute;
  time.second = now.wSecond;
  time.file_time = uint64_t{file_time.dwHighDateTime} << 32 | file_time.dwLowDateTime;
  return time;
}

bool FileExists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

}  // namespace qor
