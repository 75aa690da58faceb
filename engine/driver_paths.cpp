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
constexpr char kDriversFolder[] = "\\System32\\drivers\\";
constexpr char kInfFolder[] = "\\INF";
constexpr char kVendorCopyFolder[] = "\\INF\\other";

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

bool EndsWithAscii(const std::string& text, const std::string& suffix) {
  return text.size() >= suffix.size() &&
         SameAsciiText(text.substr(text.size() - suffix.size()), suffix);
}

bool HasDrive(const std::string& path) {
  return path.size() >= 2 && path[1] == ':' && std::isalpha(static_cast<unsigned char>(path[0]));
}

// The Windows directory with backslashes and without a trailing one.
std::string WindowsFolder(const std::string& windows_directory) {
  return WithoutTrailingBackslash(WithBackslashes(windows_directory));
}

// Splits `path` at its last separator into folder and name; false when it
// has none.
bool SplitFolder(const std::string& path, std::string& folder, std::string& name) {
  const std::string text = WithBackslashes(path);
  const size_t separator = text.find_last_of('\\');
  if (separator == std::string::npos) return false;
  folder = text.substr(0, separator);
  name = text.substr(separator + 1);
  return true;
}

}  // namespace

bool SameAsciiText(const std::string& a, const std::string& b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}

std::string JoinPath(const std::string& directory, const std::string& name) {
  if (!directory.empty() && directory.back() == '\\') return directory + name;
  return directory + "\\" + name;
}

std::string DriverFileOfImagePath(const std::string& windows_directory,
                                  const std::string& image_path) {
  const std::string image = WithBackslashes(image_path);
  if (image.empty()) return {};
  for (const char* prefix : {kObjectManagerPrefix, kWin32LongPrefix}) {
    if (StartsWithAscii(image, prefix)) return image.substr(std::string(prefix).size());
  }
  if (HasDrive(image) || StartsWithAscii(image, "\\\\")) return image;
  if (windows_directory.empty()) return {};
  if (StartsWithAscii(image, kSystemRootPrefix)) {
    return JoinPath(windows_directory, image.substr(sizeof(kSystemRootPrefix) - 1));
  }
  // Rooted without a drive: the drive of the Windows directory.
  if (image.front() == '\\') {
    return HasDrive(windows_directory) ? windows_directory.substr(0, 2) + image : "";
  }
  return JoinPath(windows_directory, image);
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

bool IsOemInfName(const std::string& name) {
  return name.size() > 7 && StartsWithAscii(name, "oem") && EndsWithAscii(name, ".inf");
}

bool IsOemInfFile(const std::string& windows_directory, const std::string& inf_path) {
  std::string folder, name;
  if (windows_directory.empty() || !SplitFolder(inf_path, folder, name)) return false;
  return SameAsciiText(folder, WindowsFolder(windows_directory) + kInfFolder) &&
         IsOemInfName(name);
}

bool IsVendorInf9x(const std::string& windows_directory, const std::string& inf_path) {
  std::string folder, name;
  if (windows_directory.empty() || !SplitFolder(inf_path, folder, name)) return false;
  if (IsOemInfFile(windows_directory, inf_path)) return true;
  return SameAsciiText(folder, WindowsFolder(windows_directory) + kVendorCopyFolder) &&
         IsSingleFileName(name) && name.size() > 4 && EndsWithAscii(name, ".inf");
}

bool IsSingleFileName(const std::string& text) {
  return !text.empty() && text.find_first_of("\\/:") == std::string::npos &&
         text.find("..") == std::string::npos;
}

bool IsDeletableDriverFile(const std::string& windows_directory, const std::string& path) {
  if (windows_directory.empty()) return false;
  const std::string file = WithBackslashes(path);
  // A drive letter and a backslash: no UNC share, no device namespace
  // ("\\?\", "\\.\", "\??\"), nothing relative to a current folder.
  if (!HasDrive(file) || file.size() < 3 || file[2] != '\\') return false;
  const std::string folder = WindowsFolder(windows_directory) + kDriversFolder;
  if (!StartsWithAscii(file, folder)) return false;
  const std::string name = file.substr(folder.size());
  return IsSingleFileName(name) && name.size() > 4 && EndsWithAscii(name, ".sys");
}

}  // namespace engine
