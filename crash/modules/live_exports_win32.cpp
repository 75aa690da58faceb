#include "crash/modules/live_exports.h"

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "crash/modules/cached_memory.h"
#include "crash/modules/module_tools.h"
#include "crash/modules/os_version.h"
#include "crash/modules/safe_read.h"

namespace qor {
namespace {

HMODULE Module(uint32_t base) { return reinterpret_cast<HMODULE>(uintptr_t{base}); }

uint32_t Address(FARPROC proc) { return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(proc)); }

// A file mapped read-only, released on every path.
class MappedFile {
 public:
  MappedFile() = default;
  MappedFile(const MappedFile&) = delete;
  MappedFile& operator=(const MappedFile&) = delete;
  ~MappedFile() {
    if (view_) UnmapViewOfFile(view_);
    if (mapping_) CloseHandle(mapping_);
    if (file_ != INVALID_HANDLE_VALUE) CloseHandle(file_);
  }

  // Maps the file of the module at `base`; false when it cannot be opened.
  bool Open(uint32_t base) {
    file_ = OpenModuleFile(base);
    if (file_ == INVALID_HANDLE_VALUE) return false;
    size_ = GetFileSize(file_, nullptr);
    if (size_ == INVALID_FILE_SIZE || size_ == 0) return false;
    mapping_ = CreateFileMappingA(file_, nullptr, PAGE_READONLY, 0, 0, nullptr);
    if (!mapping_) return false;
    view_ = MapViewOfFile(mapping_, FILE_MAP_READ, 0, 0, 0);
    return view_ != nullptr;
  }

  const uint8_t* bytes() const { return static_cast<const uint8_t*>(view_); }
  uint32_t size() const { return size_; }

 private:
  static HANDLE OpenModuleFile(uint32_t base) {
    if (CurrentOs().Is9x) {
      std::string name = ModuleFileName(base);
      return CreateFileA(name.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                         nullptr);
    }
    wchar_t name[MAX_PATH + 1];
    DWORD length = GetModuleFileNameW(Module(base), name, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return INVALID_HANDLE_VALUE;
    name[length] = 0;
    return CreateFileW(name, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  }

  HANDLE file_ = INVALID_HANDLE_VALUE;
  HANDLE mapping_ = nullptr;
  void* view_ = nullptr;
  uint32_t size_ = 0;
};

// The bytes of a mapped file, placed at address 0.
class FileMemory : public MemoryReader {
 public:
  explicit FileMemory(const MappedFile& file) : file_(file) {}
  uint32_t Read(uint32_t address, void* buffer, uint32_t size) const override {
    if (address >= file_.size()) return 0;
    uint32_t take = std::min(size, file_.size() - address);
    std::memcpy(buffer, file_.bytes() + address, take);
    return take;
  }
  bool QueryRegion(uint32_t, MemoryRegion&) const override { return false; }

 private:
  const MappedFile& file_;
};

bool RvaFromModuleFile(uint32_t module, uint32_t index, uint32_t& rva) {
  MappedFile file;
  return file.Open(module) && ExportRvaFromFile(FileMemory(file), index, rva);
}

ExportHooks MakeLiveHooks() {
  ExportHooks hooks;
  hooks.find_module = [](std::string_view name) {
    std::string text(name);
    return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(GetModuleHandleA(text.c_str())));
  };
  hooks.file_rva = RvaFromModuleFile;
  hooks.system_by_name = [](uint32_t module, std::string_view name) {
    std::string text(name);
    return Address(GetProcAddress(Module(module), text.c_str()));
  };
  hooks.system_by_ordinal = [](uint32_t module, uint32_t ordinal) {
    if (ordinal > 0xffff) return 0u;
    return Address(GetProcAddress(Module(module), MAKEINTRESOURCEA(ordinal)));
  };
  return hooks;
}

}  // namespace

ExportHooks& LiveExportHooks() {
  static ExportHooks hooks = MakeLiveHooks();
  return hooks;
}

// Each lookup gets its own cache: the tables do not change while it runs,
// and a fresh one never serves bytes from before a module was unloaded.
uint32_t LiveExportAddressByName(uint32_t module, std::string_view name, bool check_file) {
  const LiveMemory live;
  return ExportAddressByName(CachedMemory(live), module, name, check_file, LiveExportHooks());
}

uint32_t LiveExportAddressByOrdinal(uint32_t module, uint32_t ordinal) {
  const LiveMemory live;
  return ExportAddressByOrdinal(CachedMemory(live), module, ordinal, LiveExportHooks());
}

std::string LiveExportNameOfAddress(uint32_t module, uint32_t address, bool unmangle) {
  const LiveMemory live;
  return ExportNameOfAddress(CachedMemory(live), module, address, unmangle);
}

}  // namespace qor
