#include "engine/driver_paths.h"

#include <algorithm>
#include <cctype>

namespace engine {
namespace {

constexpr char kPnfExtension[] = ".PNF";
constexpr char kOtherFolder[] = "other\\";
constexpr char kSystemRootPrefix[] = "\\SystemRoot\\";
constexpr char kObjectManagerPrefix[] = "\\??\\";
constexpr char kWin32LongPrefix[] = "\\\\?\\";

bool SameAsciiText(const std::string& a, const std::string& b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}

bool StartsWithAscii(const std::string& text, const std::string& prefix) {
  return text.size() >= prefix.size() && SameAsciiText(text.substr(0, prefix.size()), prefix);
}

std::string WithoutTrailingBackslash(std::string path) {
  if (!path.empty() && path.back() == '\\') path.pop_back();
  return path;
}

// Windows takes "/" as a path separator too, and the system hands out paths
// that mix both (Wine's driver search reports "C:/windows/inf\\oem1.inf").
std::string WithBackslashes(std::string path) {
  std::replace(path.begin(), path.end(), '/', '\\');
  return path;
}

bool HasDrive(const std::string& path) {
  return path.size() >= 2 && path[1] == ':' && std::isalpha(static_cast<unsigned char>(path[0]));
}

}  // namespace

std::string JoinPath(const std::string& directory, const std::string& name) {
  if (!directory.empty() && directory.back() == '\\') return directory + name;
  return directory + "\\" + name;
}

std::string DriverFileOfImagePath(const std::string& windows_directory,
                                  const std::string& image_path) {
  if (image_path.empty()) return {};
  for (const char* prefix : {kObjectManagerPrefix, kWin32LongPrefix}) {
    if (StartsWithAscii(image_path, prefix)) return image_path.substr(std::string(prefix).size());
  }
  if (HasDrive(image_path) || StartsWithAscii(image_path, "\\\\")) return image_path;
  if (windows_directory.empty()) return {};
  if (StartsWithAscii(image_path, kSystemRootPrefix)) {
    return JoinPath(windows_directory, image_path.substr(sizeof(kSystemRootPrefix) - 1));
  }
  // Rooted without a drive: the drive of the Windows directory.
  if (image_path.front() == '\\') {
    return HasDrive(windows_directory) ? windows_directory.substr(0, 2) + image_path : "";
  }
  return JoinPath(windows_directory, image_path);
}

std::string PnfTwinOf(const std::string& inf_path) {
  const size_t separator = inf_path.find_last_of('\\');
  const size_t dot = inf_path.find_last_of('.');
  if (dot == std::string::npos || (separator != std::string::npos && dot < separator)) {
    return inf_path + kPnfExtension;
  }
  return inf_path.substr(0, dot) + kPnfExtension;
}

std::string OtherCopyOf(const std::string& inf_path, const std::string& manufacturer) {
  if (inf_path.size() < 2) return {};
  const size_t separator = inf_path.find_last_of('\\', inf_path.size() - 2);
  if (separator == std::string::npos) return {};
  return inf_path.substr(0, separator + 1) + kOtherFolder + manufacturer +
         inf_path.substr(separator + 1);
}

std::string FileNameOf(const std::string& path) {
  const size_t separator = path.find_last_of("\\/");
  return separator == std::string::npos ? path : path.substr(separator + 1);
}

bool IsOemInfFile(const std::string& windows_directory, const std::string& inf_path) {
  if (windows_directory.empty()) return false;
  const std::string path = WithBackslashes(inf_path);
  const size_t separator = path.find_last_of('\\');
  if (separator == std::string::npos) return false;
  const std::string folder = path.substr(0, separator);
  const std::string name = path.substr(separator + 1);
  const std::string inf_folder =
      WithoutTrailingBackslash(WithBackslashes(windows_directory)) + "\\INF";
  return SameAsciiText(folder, inf_folder) && name.size() > 7 && StartsWithAscii(name, "oem") &&
         SameAsciiText(name.substr(name.size() - 4), ".inf");
}

}  // namespace engine
