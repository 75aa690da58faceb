#include "tools/qor_convert/file_bytes.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace qor::convert {

bool LoadFile(const std::string& path, std::vector<uint8_t>& bytes) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return !in.bad();
}

bool SaveFile(const std::string& path, const std::vector<uint8_t>& bytes) {
  const std::string temporary = path + ".tmp";
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out.flush()) return false;
  }
  std::error_code error;
  // A rewritten program keeps the permissions it had (its execute bits).
  const auto status = std::filesystem::status(path, error);
  if (!error && std::filesystem::exists(status)) {
    std::filesystem::permissions(temporary, status.permissions(), error);
  }
  error.clear();
  std::filesystem::rename(temporary, path, error);
  return !error;
}

}  // namespace qor::convert
