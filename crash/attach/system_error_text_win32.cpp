#include <windows.h>

#include "crash/attach/number_text.h"
#include "crash/attach/scrambled_text.h"
#include "crash/attach/system_error_text.h"

namespace qor {
namespace {

constexpr ScrambledText kNtModule("ntdll.dll");
constexpr ScrambledText kStatusToErrorName("RtlNtStatusToDosError");
constexpr ScrambledText kNetMessageModule("netmsg.dll");
constexpr ScrambledText kUnknownErrorPhrase("Unknown error");

constexpr DWORD kUserDefaultLanguage = 1024;

// A module loaded as a data file; freed on every path.
class DataModule {
 public:
  explicit DataModule(const std::string& name)
      : module_(LoadLibraryExA(name.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE)) {}
  DataModule(const DataModule&) = delete;
  DataModule& operator=(const DataModule&) = delete;
  ~DataModule() {
    if (module_ != nullptr) FreeLibrary(module_);
  }
  HMODULE get() const { return module_; }

 private:
  HMODULE module_;
};

// A buffer that FormatMessageA allocated; freed with LocalFree.
class LocalText {
 public:
  LocalText() = default;
  LocalText(const LocalText&) = delete;
  LocalText& operator=(const LocalText&) = delete;
  ~LocalText() {
    if (text_ != nullptr) LocalFree(text_);
  }
  char** receiver() { return &text_; }
  const char* get() const { return text_; }

 private:
  char* text_ = nullptr;
};

// Status values become Win32 error codes when the system offers the
// conversion; otherwise the code is looked up as it is.
DWORD ToWin32Error(uint32_t code) {
  if ((code & 0xC0000000u) == 0) return code;
  const HMODULE ntdll = GetModuleHandleA(kNtModule.Plain().c_str());
  if (ntdll == nullptr) return code;
  using StatusToError = ULONG(WINAPI*)(LONG);
  const auto convert = reinterpret_cast<StatusToError>(reinterpret_cast<void (*)()>(
      GetProcAddress(ntdll, kStatusToErrorName.Plain().c_str())));
  return convert != nullptr ? convert(static_cast<LONG>(code)) : code;
}

// Appends the message to `out`, one line; false when the system has none.
bool AppendMessage(DWORD error, HMODULE extra_source, std::string& out) {
  DWORD flags = FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS |
                FORMAT_MESSAGE_FROM_SYSTEM;
  if (extra_source != nullptr) flags |= FORMAT_MESSAGE_FROM_HMODULE;
  LocalText text;
  const DWORD length = FormatMessageA(flags, extra_source, error, kUserDefaultLanguage,
                                      reinterpret_cast<LPSTR>(text.receiver()), 0, nullptr);
  if (length == 0 || text.get() == nullptr) return false;
  for (DWORD i = 0; i < length; ++i) {
    const char c = text.get()[i];
    if (c == '\r') {
      out.push_back(' ');
    } else if (c != '\n') {
      out.push_back(c);
    }
  }
  return true;
}

}  // namespace

std::string SystemErrorText(uint32_t code) {
  const DWORD error = ToWin32Error(code);
  std::string text;
  bool found;
  if (error >= 2100 && error <= 2999) {
    const DataModule net_messages(kNetMessageModule.Plain());
    found = AppendMessage(error, net_messages.get(), text);
  } else {
    found = AppendMessage(error, nullptr, text);
  }
  if (found) return text;
  return kUnknownErrorPhrase.Plain() + " " + FormatHex(code, 1, '0');
}

}  // namespace qor
