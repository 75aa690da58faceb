#include <filesystem>
#include <fstream>
#include <system_error>

#include "crash/delivery/upload_folder.h"

namespace qor {

namespace fs = std::filesystem;

std::string PathInFolder(const std::string& folder, const std::string& name) {
  return (fs::path(folder) / name).string();
}

std::vector<FolderFile> ListFolderFiles(const std::string& folder) {
  std::vector<FolderFile> files;
  std::error_code error;
  for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
    std::error_code size_error;
    if (!it->is_regular_file(size_error)) continue;
    const uintmax_t size = it->file_size(size_error);
    if (!size_error) files.push_back({it->path().filename().string(), size});
  }
  return files;
}

bool MakeFolder(const std::string& folder) {
  std::error_code error;
  fs::create_directories(folder, error);
  return fs::is_directory(folder, error);
}

std::optional<std::string> ReadWholeFile(const std::string& path, uint64_t max_size) {
  std::error_code error;
  const uintmax_t size = fs::file_size(path, error);
  if (error || size > max_size) return std::nullopt;
  std::ifstream in(path, std::ios::binary);
  std::string bytes(size, '\0');
  if (!in.read(bytes.data(), static_cast<std::streamsize>(size))) return std::nullopt;
  return bytes;
}

bool WriteFileAtomically(const std::string& path, const std::string& bytes) {
  const std::string temporary = path + ".tmp";
  std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  out.close();
  std::error_code error;
  if (!out.fail()) {
    fs::rename(temporary, path, error);
    if (!error) return true;
  }
  fs::remove(temporary, error);
  return false;
}

bool RemoveFile(const std::string& path) {
  std::error_code error;
  return fs::remove(path, error);
}

}  // namespace qor
