// The few file operations the upload queue makes on its folder: std::
// filesystem on the host, the system's ANSI calls on Windows (which the 9x
// family has too).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace qor {

struct FolderFile {
  std::string name;
  uint64_t size = 0;
};

// `name` inside `folder`.
std::string PathInFolder(const std::string& folder, const std::string& name);

// The plain files directly in `folder`; empty when there is no such folder.
std::vector<FolderFile> ListFolderFiles(const std::string& folder);

// Makes `folder` and its missing parents; true when it exists afterwards.
bool MakeFolder(const std::string& folder);

// The whole file; nullopt when it cannot be read or is larger than
// `max_size` bytes.
std::optional<std::string> ReadWholeFile(const std::string& path, uint64_t max_size);

// Writes `bytes` to `path` + ".tmp" and then renames it to `path`,
// replacing any file there, so that `path` never holds part of the bytes.
// False (and no ".tmp" file left) on failure.
bool WriteFileAtomically(const std::string& path, const std::string& bytes);

bool RemoveFile(const std::string& path);

}  // namespace qor
