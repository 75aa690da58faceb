#include "crash/core/thread_naming_win32.h"

#include <windows.h>

#include "crash/core/thread_registry.h"
#include "crash/modules/safe_read.h"

namespace qor {
namespace {

constexpr uint32_t kNamingType = 0x1000;
constexpr uint32_t kCurrentThread = 0xFFFFFFFF;
constexpr uint32_t kNamingParameters = 4;

using AddHandler = void*(WINAPI*)(ULONG, PVECTORED_EXCEPTION_HANDLER);
using RemoveHandler = ULONG(WINAPI*)(void*);

void* naming_handler = nullptr;

template <typename F>
F Kernel32(const char* name) {
  return reinterpret_cast<F>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), name)));
}

LONG CALLBACK TakeNamingException(EXCEPTION_POINTERS* pointers) {
  const EXCEPTION_RECORD& record = *pointers->ExceptionRecord;
  if (record.ExceptionCode != kThreadNamingException || record.ExceptionFlags != 0) {
    return EXCEPTION_CONTINUE_SEARCH;
  }
  uint32_t parameters[kNamingParameters] = {};
  const uint32_t count = record.NumberParameters < kNamingParameters ? record.NumberParameters
                                                                     : kNamingParameters;
  for (uint32_t i = 0; i < count; ++i) {
    parameters[i] = static_cast<uint32_t>(record.ExceptionInformation[i]);
  }
  return TakeThreadNamingRequest(parameters, count) ? EXCEPTION_CONTINUE_EXECUTION
                                                    : EXCEPTION_CONTINUE_SEARCH;
}

}  // namespace

void InstallNamingHandler() {
  static const auto add = Kernel32<AddHandler>("AddVectoredExceptionHandler");
  if (add && naming_handler == nullptr) naming_handler = add(0, TakeNamingException);
}

void RemoveNamingHandler() {
  static const auto remove = Kernel32<RemoveHandler>("RemoveVectoredExceptionHandler");
  if (remove && naming_handler) remove(naming_handler);
  naming_handler = nullptr;
}

bool NamingHandlerInstalled() { return naming_handler != nullptr; }

bool TakeThreadNamingRequest(const uint32_t* parameters, uint32_t count) {
  if (count < kNamingParameters || parameters[0] != kNamingType || parameters[3] != 0) {
    return false;
  }
  const uint32_t thread = parameters[2] == kCurrentThread ? GetCurrentThreadId() : parameters[2];
  char first = 0;
  // Someone else's pointer: read only through the safe reader.
  if (!SafeRead(parameters[1], &first, 1)) return true;
  RegisterThreadInfo(thread, nullptr, ReadEntryText(LiveMemory(), parameters[1]));
  return true;
}

void SetThreadDisplayName(uint32_t id, std::string_view name) {
  RegisterThreadInfo(id, nullptr, name);
  if (name.empty() || !IsDebuggerPresent() || !NamingHandlerInstalled()) return;
  const std::string text(name);
  const ULONG_PTR parameters[kNamingParameters] = {
      kNamingType, reinterpret_cast<ULONG_PTR>(text.c_str()), id, 0};
  RaiseException(kThreadNamingException, 0, kNamingParameters, parameters);
}

}  // namespace qor
