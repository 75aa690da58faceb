// A folder of its own for a test's files, removed with everything in it
// when the test ends. Its name carries the process id, so test programs of
// several build trees can run side by side.
#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#ifdef _WIN32
#include <process.h>
#define QOR_TEST_PID _getpid()
#else
#include <unistd.h>
#define QOR_TEST_PID getpid()
#endif

namespace qor::test {

class TempDir {
 public:
  explicit TempDir(std::string_view name) {
    static int serial = 0;
    path_ =
        std::filesystem::temp_directory_path() /
        (std::string(name) + "_" + std::to_string(QOR_TEST_PID) + "_" + std::to_string(++serial));
    std::filesystem::create_directories(path_);
  }
  ~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  // Full name of `file` in the folder.
  std::string operator/(std::string_view file) const { return (path_ / file).string(); }

 private:
  std::filesystem::path path_;
};

inline void WriteFile(const std::string& path, std::string_view bytes) {
  std::ofstream(path, std::ios::binary)
      .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

inline void WriteFile(const std::string& path, const std::vector<uint8_t>& bytes) {
  WriteFile(path, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

}  // namespace qor::test
